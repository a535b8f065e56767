#include "mrf/RowPlanarCosts.h"

#include <algorithm>
#include <utility>

namespace orbelt {

namespace {

// One row: `in` holds width x labels (pixel-major), `out` gets labels x
// width. In blocks of pixels, so that the lines read and the planes written
// both stay in cache while a block is moved.
void rowToPlanes(const float* in, float* out, std::size_t width, std::size_t labels) {
  constexpr std::size_t kBlock = 16;
  for (std::size_t first = 0; first < width; first += kBlock) {
    const std::size_t last = std::min(first + kBlock, width);
    for (std::size_t l = 0; l < labels; ++l) {
      float* plane = out + l * width;
      for (std::size_t x = first; x < last; ++x) plane[x] = in[x * labels + l];
    }
  }
}

void planesToRow(const float* in, float* out, std::size_t width, std::size_t labels) {
  constexpr std::size_t kBlock = 16;
  for (std::size_t first = 0; first < width; first += kBlock) {
    const std::size_t last = std::min(first + kBlock, width);
    for (std::size_t l = 0; l < labels; ++l) {
      const float* plane = in + l * width;
      for (std::size_t x = first; x < last; ++x) out[x * labels + l] = plane[x];
    }
  }
}

}  // namespace

void RowPlanarCosts::copyFrom(const float* pixelMajor, int width, int height, int labelCount) {
  const std::size_t rowFloats = static_cast<std::size_t>(width) * static_cast<std::size_t>(labelCount);
  costs_.resize(rowFloats * static_cast<std::size_t>(height));
  width_ = width;
  height_ = height;
  labelCount_ = labelCount;
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    rowToPlanes(pixelMajor + y * rowFloats, costs_.data() + y * rowFloats, static_cast<std::size_t>(width),
                static_cast<std::size_t>(labelCount));
  }
}

void RowPlanarCosts::adopt(std::vector<float>&& pixelMajor, int width, int height, int labelCount) {
  const std::size_t rowFloats = static_cast<std::size_t>(width) * static_cast<std::size_t>(labelCount);
  std::vector<float> row(rowFloats);  // the one allocation: nothing is moved before it
  costs_ = std::move(pixelMajor);
  width_ = width;
  height_ = height;
  labelCount_ = labelCount;
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    float* at = costs_.data() + y * rowFloats;
    std::copy(at, at + rowFloats, row.begin());
    rowToPlanes(row.data(), at, static_cast<std::size_t>(width), static_cast<std::size_t>(labelCount));
  }
}

std::vector<float> RowPlanarCosts::release() {
  const std::size_t rowFloats = static_cast<std::size_t>(width_) * static_cast<std::size_t>(labelCount_);
  std::vector<float> row(rowFloats);
  for (std::size_t y = 0; y < static_cast<std::size_t>(height_); ++y) {
    float* at = costs_.data() + y * rowFloats;
    std::copy(at, at + rowFloats, row.begin());
    planesToRow(row.data(), at, static_cast<std::size_t>(width_), static_cast<std::size_t>(labelCount_));
  }
  std::vector<float> costs = std::move(costs_);
  costs_ = {};
  width_ = height_ = labelCount_ = 0;
  return costs;
}

}  // namespace orbelt
