#include "io/NpyFile.h"

#include <bit>
#include <functional>
#include <numeric>

#include "io/AtomicFile.h"

namespace orbelt {

std::string npyFloat32Header(const std::vector<std::size_t>& shape) {
  std::string dict = "{'descr': '<f4', 'fortran_order': False, 'shape': (";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    dict += std::to_string(shape[i]);
    // A one-element tuple needs its trailing comma in Python.
    if (i + 1 < shape.size() || shape.size() == 1) dict += shape.size() == 1 ? "," : ", ";
  }
  dict += "), }";
  const std::size_t fixed = 6 + 2 + 2;  // magic, version, header length
  const std::size_t total = (fixed + dict.size() + 1 + 63) / 64 * 64;
  dict.append(total - fixed - dict.size() - 1, ' ');
  dict += '\n';
  const std::size_t length = dict.size();
  std::string header = "\x93NUMPY";
  header += '\x01';
  header += '\x00';
  header += static_cast<char>(length & 0xFF);
  header += static_cast<char>((length >> 8) & 0xFF);
  return header + dict;
}

Status writeNpyFloat32(const std::string& path, const float* data, const std::vector<std::size_t>& shape) {
  static_assert(std::endian::native == std::endian::little, ".npy writing assumes a little-endian machine");
  const std::string header = npyFloat32Header(shape);
  const std::size_t count = std::accumulate(shape.begin(), shape.end(), std::size_t{1}, std::multiplies<std::size_t>());
  return writeFileAtomically(path, {ByteRange{header.data(), header.size()}, ByteRange{data, count * sizeof(float)}});
}

}  // namespace orbelt
