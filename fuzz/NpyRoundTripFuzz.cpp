// Cost arrays of any shape and content through writeNpyFloat32, read back by
// a strict reader of the NumPy format written here from the format's rules:
// magic and version 1.0, a little-endian 16-bit header length, a header
// dictionary naming '<f4', C order and the exact shape, padded with spaces to
// a newline so the data starts at a multiple of 64, then exactly the floats.
//
// Input: one byte for the dimension count (0..4), one per dimension (a zero
// dimension lets the others grow huge: the array is still empty), then the
// float data, repeated as needed.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "io/NpyFile.h"
#include "fuzz/ByteReader.h"
#include "fuzz/ScratchFile.h"

using orbelt::fuzz::ByteReader;
using orbelt::fuzz::failInvariant;

namespace {

std::string readAll(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) failInvariant("the written file is not there");
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  std::fclose(file);
  return bytes;
}

std::string shapeText(const std::vector<std::size_t>& shape) {
  std::string text = "(";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(shape[i]);
  }
  if (shape.size() == 1) text += ",";
  return text + ")";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = orbelt::fuzz::scratchPath("costs.npy");
  ByteReader in(data, size);
  const int dims = in.pick(0, 4);
  std::vector<std::size_t> shape;
  bool hasZero = false;
  for (int i = 0; i < dims; ++i) {
    const std::uint8_t b = in.u8();
    shape.push_back(b % 9);
    hasZero = hasZero || b % 9 == 0;
  }
  if (hasZero) {
    // An empty array may still declare huge dimensions: the header must
    // spell them out and the data must stay empty.
    for (std::size_t& extent : shape) {
      if (extent != 0) extent = static_cast<std::size_t>(in.u32()) << (in.u8() % 32);
    }
  }
  std::size_t count = 1;
  for (std::size_t extent : shape) count *= extent;
  if (hasZero) count = 0;
  const auto payload = in.rest();
  std::vector<float> values(count);
  for (std::size_t i = 0; i < count && !payload.empty(); ++i) {
    std::uint32_t bits = 0;
    for (std::size_t k = 0; k < 4; ++k) bits |= std::uint32_t{payload[(4 * i + k) % payload.size()]} << (8 * k);
    std::memcpy(&values[i], &bits, sizeof bits);
  }

  if (!orbelt::writeNpyFloat32(path, values.data(), shape)) {
    failInvariant("writing a small array failed");
  }
  const std::string file = readAll(path);
  if (file.size() < 10 || std::memcmp(file.data(), "\x93NUMPY\x01\x00", 8) != 0) failInvariant("bad magic or version");
  const std::size_t headerLength =
      static_cast<std::uint8_t>(file[8]) | (static_cast<std::size_t>(static_cast<std::uint8_t>(file[9])) << 8);
  const std::size_t dataStart = 10 + headerLength;
  if (dataStart % 64 != 0) failInvariant("the data does not start at a multiple of 64");
  if (file.size() != dataStart + count * sizeof(float)) failInvariant("the file does not hold exactly the floats");
  const std::string header = file.substr(10, headerLength);
  if (header.back() != '\n') failInvariant("the header does not end in a newline");
  const std::string dict = "{'descr': '<f4', 'fortran_order': False, 'shape': " + shapeText(shape) + ", }";
  if (header.compare(0, dict.size(), dict) != 0) failInvariant("the header dictionary is not the array's");
  if (header.find_first_not_of(' ', dict.size()) != header.size() - 1) failInvariant("the padding is not spaces");
  if (count > 0 && std::memcmp(file.data() + dataStart, values.data(), count * sizeof(float)) != 0) {
    failInvariant("the floats changed on the way through the file");
  }
  return 0;
}
