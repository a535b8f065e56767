#pragma once
// The matching cost of every pixel at every disparity label.
//
// Indexed [y][x][d]: y the row (0 = top), x the column (0 = left), d the label.
// Storage is one contiguous block in that order (pixels row-major, label
// innermost), so cell(x, y) is the run of `disparityRange` costs of one pixel
// and the block is already the optimizer's data table (p * range + d, with p
// = y * width + x): a run hands it over with takeCosts() instead of copying.
// Every element starts at 0.0, on huge pages where the system grants them
// (platform/HugePages.h). With disparityRange 0 the volume has pixels but
// no costs. The owner (the pipeline) creates it, the matcher writes it.
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "platform/HugePages.h"

namespace orbelt {

class CostVolume {
 public:
  CostVolume() = default;
  // Allocates width x height x disparityRange zeroed costs. Negative sizes are
  // a caller error and give an empty volume. Throws std::bad_alloc when the
  // memory is not there.
  CostVolume(int width, int height, int disparityRange)
      : width_(width < 0 ? 0 : width),
        height_(height < 0 ? 0 : height),
        range_(disparityRange < 0 ? 0 : disparityRange) {
    zeroFilledOnHugePages(costs_, static_cast<size_t>(width_) * height_ * range_);
  }

  int width() const { return width_; }
  int height() const { return height_; }
  int disparityRange() const { return range_; }

  // The costs of pixel (x, y), `disparityRange` floats, label fastest.
  float* cell(int x, int y) { return costs_.data() + (static_cast<size_t>(y) * width_ + x) * range_; }
  const float* cell(int x, int y) const { return costs_.data() + (static_cast<size_t>(y) * width_ + x) * range_; }
  float& at(int x, int y, int d) { return cell(x, y)[d]; }
  float at(int x, int y, int d) const { return cell(x, y)[d]; }

  // Writes a copy of the costs with pixels row-major and the label fastest,
  // out[(y * width + x) * disparityRange + d]: the order the optimizer
  // indexes its data table in. `out` holds width * height * disparityRange
  // floats.
  void copyRowMajor(float* out) const { std::copy(costs_.begin(), costs_.end(), out); }

  // Hands the costs over without a copy, in copyRowMajor's order, and leaves
  // the volume empty (as release() does).
  std::vector<float> takeCosts() && {
    std::vector<float> costs = std::move(costs_);
    costs_ = {};
    width_ = height_ = range_ = 0;
    return costs;
  }

  // Bytes held by the costs.
  size_t bytes() const { return costs_.size() * sizeof(float); }

  // Frees the costs at once (the pipeline drops the volume as soon as it has
  // been flattened, before the optimizer allocates).
  void release() {
    std::vector<float>().swap(costs_);
    width_ = height_ = range_ = 0;
  }

 private:
  int width_ = 0;
  int height_ = 0;
  int range_ = 0;
  std::vector<float> costs_;
};

}  // namespace orbelt
