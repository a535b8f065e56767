#pragma once
// One per-pixel signal of one image: three doubles per pixel (one per channel,
// in the image's channel order), addressed (x, y, c) with x the column
// (0 = left) and y the row (0 = top).
//
// Storage is one contiguous zero-filled block, channel planes first and each
// plane row-major: plane c, row y, column x is element (c * height + y) *
// width + x. The sweeps read a window row of one channel as a contiguous run,
// which is what lets them vectorise over columns; a table of column pointers
// would only add indirections.
#include <cstddef>
#include <vector>

namespace orbelt {

class ChannelGrid {
 public:
  ChannelGrid() = default;
  // width x height cells, all zero. Throws std::bad_alloc when the memory is
  // not there. Negative sizes give an empty grid.
  ChannelGrid(int width, int height)
      : width_(width < 0 ? 0 : width),
        height_(height < 0 ? 0 : height),
        values_(static_cast<size_t>(width_) * height_ * 3 + kPadding, 0.0) {}

  // Zeros after the last plane, so vector loops may read a few values past
  // the end of a row (and mask them out) without leaving the storage.
  static constexpr int kPadding = 8;

  int width() const { return width_; }
  int height() const { return height_; }

  double& at(int x, int y, int c) { return values_[index(x, y, c)]; }
  double at(int x, int y, int c) const { return values_[index(x, y, c)]; }

  // Row y of channel c: `width` doubles, column 0 first.
  double* row(int c, int y) { return values_.data() + index(0, y, c); }
  const double* row(int c, int y) const { return values_.data() + index(0, y, c); }

 private:
  size_t index(int x, int y, int c) const { return (static_cast<size_t>(c) * height_ + y) * width_ + x; }

  int width_ = 0;
  int height_ = 0;
  std::vector<double> values_;
};

}  // namespace orbelt
