#include "PfmFile.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

namespace orbelt {

namespace {

std::uint32_t swapBytes(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

}  // namespace

cv::Mat readPfm(const std::string& path, std::string& error) {
  error.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return {};
  }
  std::string magic;
  long long width = 0, height = 0;
  double scale = 0;
  in >> magic;
  if (magic != "Pf") {
    error = path + " is not a single-channel PFM file (header \"" + magic.substr(0, 8) + "\", expected \"Pf\")";
    return {};
  }
  if (!(in >> width >> height >> scale) || width <= 0 || height <= 0 || width > 1000000 || height > 1000000 ||
      !std::isfinite(scale) || scale == 0) {
    error = path + " has a bad PFM header (width, height and a non-zero scale expected)";
    return {};
  }
  in.get();  // the single whitespace byte that ends the header
  const bool littleEndian = scale < 0;
  const bool swap = littleEndian != (std::endian::native == std::endian::little);
  std::vector<std::uint32_t> raw(static_cast<size_t>(width) * height);
  if (!in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size() * 4))) {
    error = path + " is shorter than its " + std::to_string(width) + "x" + std::to_string(height) + " floats";
    return {};
  }
  cv::Mat image(static_cast<int>(height), static_cast<int>(width), CV_32FC1);
  for (int row = 0; row < image.rows; ++row) {
    float* dst = image.ptr<float>(image.rows - 1 - row);  // stored bottom row first
    for (int x = 0; x < image.cols; ++x) {
      std::uint32_t v = raw[static_cast<size_t>(row) * image.cols + x];
      if (swap) v = swapBytes(v);
      std::memcpy(&dst[x], &v, 4);
    }
  }
  return image;
}

std::string writePfm(const std::string& path, const cv::Mat& image) {
  if (image.type() != CV_32FC1 || image.empty()) return "only a non-empty CV_32FC1 image can be written as PFM";
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot write " + temp;
    out << "Pf\n" << image.cols << " " << image.rows << "\n-1.0\n";
    std::vector<std::uint32_t> row(image.cols);
    for (int y = image.rows - 1; y >= 0; --y) {
      std::memcpy(row.data(), image.ptr<float>(y), row.size() * 4);
      if (std::endian::native != std::endian::little)
        for (auto& v : row) v = swapBytes(v);
      out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size() * 4));
    }
    out.flush();
    if (!out) {
      out.close();
      std::remove(temp.c_str());
      return "writing " + temp + " failed";
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return "cannot replace " + path;
  }
  return {};
}

}  // namespace orbelt
