// Float maps from arbitrary bytes: readPfm must either refuse with a message
// (and an empty map) or return a map it can write and read back bit for bit.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <opencv2/core.hpp>

#include "fuzz/ByteReader.h"
#include "fuzz/ScratchFile.h"
#include "io/PfmFile.h"

using orbelt::fuzz::failInvariant;

namespace {

bool sameBits(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) return false;
  for (int y = 0; y < a.rows; ++y) {
    if (std::memcmp(a.ptr(y), b.ptr(y), a.cols * a.elemSize()) != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string input = orbelt::fuzz::scratchPath("input.pfm");
  static const std::string copy = orbelt::fuzz::scratchPath("copy.pfm");
  std::FILE* file = std::fopen(input.c_str(), "wb");
  if (!file) failInvariant("cannot write the scratch file");
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);

  const orbelt::Expected<cv::Mat> read = orbelt::readPfm(input);
  if (!read) {
    if (read.error().message.find(input) == std::string::npos) failInvariant("a refusal does not name the file");
    return 0;
  }
  const cv::Mat& map = *read;
  if (map.empty() || map.type() != CV_32FC1) failInvariant("an accepted map is not one float channel");
  // The header is text, the data exactly width x height floats: nothing can
  // come from thin air.
  if (map.total() * sizeof(float) > size) failInvariant("more floats read than the file holds");

  if (!orbelt::writePfm(copy, map)) failInvariant("writing a read map failed");
  const orbelt::Expected<cv::Mat> again = orbelt::readPfm(copy);
  if (!again) failInvariant("a written map is refused");
  if (!sameBits(map, *again)) failInvariant("a map changed on its way through a file");
  return 0;
}
