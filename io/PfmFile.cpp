#include "io/PfmFile.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "io/AtomicFile.h"

namespace orbelt {

namespace {

std::uint32_t byteSwap(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

Status writePfm(const std::string& path, const cv::Mat& map) {
  if (map.type() != CV_32FC1) {
    return invalidInput("Cannot write \"" + path + "\": a float map needs one 32-bit float channel");
  }
  static_assert(std::endian::native == std::endian::little, "PFM writing assumes a little-endian machine");
  const std::string header = "Pf\n" + std::to_string(map.cols) + " " + std::to_string(map.rows) + "\n-1\n";
  std::vector<float> rows(map.total());
  // Bottom row first, as the format stores it.
  for (int y = 0; y < map.rows; ++y) {
    const float* in = map.ptr<float>(map.rows - 1 - y);
    std::copy(in, in + map.cols, rows.data() + static_cast<std::size_t>(y) * map.cols);
  }
  return writeFileAtomically(
      path, {ByteRange{header.data(), header.size()}, ByteRange{rows.data(), rows.size() * sizeof(float)}});
}

Expected<cv::Mat> readPfm(const std::string& path) {
  const std::string prefix = "Cannot read the float map \"" + path + "\": ";
  std::ifstream in(path, std::ios::binary);
  if (!in) return ioFailure(prefix + "file missing or unreadable (" + std::strerror(errno) + ")");
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  std::size_t pos = 0;
  auto token = [&]() {
    while (pos < bytes.size() && isSpace(bytes[pos])) ++pos;
    std::string t;
    while (pos < bytes.size() && !isSpace(bytes[pos]) && t.size() < 64) t.push_back(bytes[pos++]);
    return t;
  };
  const std::string magic = token();
  int channels = 0;
  if (magic == "Pf") {
    channels = 1;
  } else if (magic == "PF") {
    channels = 3;
  } else {
    return invalidInput(prefix + "not a PFM file (it must start with Pf or PF)");
  }
  long long width = 0;
  long long height = 0;
  double scale = 0.0;
  try {
    width = std::stoll(token());
    height = std::stoll(token());
    scale = std::stod(token());
  } catch (...) {
    return invalidInput(prefix + "bad header (expected width, height and scale)");
  }
  if (width <= 0 || height <= 0 || width > std::numeric_limits<int>::max() / 4 ||
      height > std::numeric_limits<int>::max() / 4) {
    return invalidInput(prefix + "bad size " + std::to_string(width) + " x " + std::to_string(height));
  }
  if (scale == 0.0) return invalidInput(prefix + "bad header (the scale must not be 0)");
  // Exactly one whitespace byte separates the header from the data.
  if (pos >= bytes.size() || !isSpace(bytes[pos])) return invalidInput(prefix + "bad header (no data follows)");
  ++pos;

  const std::size_t values = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * channels;
  if (bytes.size() - pos < values * sizeof(float)) {
    return invalidInput(prefix + "truncated: " + std::to_string(bytes.size() - pos) + " bytes of data for " +
                        std::to_string(width) + " x " + std::to_string(height) + " x " + std::to_string(channels) +
                        " floats");
  }
  const bool swap = (scale < 0) != (std::endian::native == std::endian::little);
  cv::Mat map(static_cast<int>(height), static_cast<int>(width), CV_32FC1);
  for (long long row = 0; row < height; ++row) {
    float* out = map.ptr<float>(static_cast<int>(height - 1 - row));
    for (long long x = 0; x < width; ++x) {
      std::uint32_t raw = 0;
      std::memcpy(&raw, bytes.data() + pos + ((row * width + x) * channels) * sizeof(float), sizeof raw);
      if (swap) raw = byteSwap(raw);
      std::memcpy(&out[x], &raw, sizeof raw);
    }
  }
  return map;
}

}  // namespace orbelt
