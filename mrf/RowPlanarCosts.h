#pragma once
// RowPlanarCosts: a data table laid out the way the grid moves read it. Per
// image row, one plane per label: the cost of label l at pixel (x, y) is at
// (y * labelCount + l) * width + x.
//
// Why: a move reads one label's cost at every pixel in row order. In the
// pixel-major table (p * labelCount + l) that is one cache line a pixel; in a
// label plane it is one float a pixel. Planes per row, rather than one plane
// per label over the whole grid, can be made from a pixel-major table in
// place, one row at a time, so a caller handing its table over needs no
// second copy of it; copyFrom() makes the same layout from a table that
// stays the caller's.
//
// Owns: the costs and, while reordering, one row of scratch.
// Fails: copyFrom / adopt / release throw std::bad_alloc when their memory
// (the costs, or a row's scratch) is not there; adopt and release then leave
// the costs as they were.
#include <cstddef>
#include <vector>

namespace orbelt {

class RowPlanarCosts {
 public:
  // No costs (empty()).
  RowPlanarCosts() = default;

  // Copies a width x height x labelCount pixel-major table (label l of
  // row-major pixel p at p * labelCount + l), which stays the caller's.
  void copyFrom(const float* pixelMajor, int width, int height, int labelCount);
  // Takes a pixel-major table of width x height x labelCount floats and
  // reorders it in place.
  void adopt(std::vector<float>&& pixelMajor, int width, int height, int labelCount);
  // Gives the costs back pixel-major (reordered in place) and leaves none.
  std::vector<float> release();

  bool empty() const { return costs_.empty(); }
  // The costs of `label` along row y: width floats.
  const float* plane(int y, int label) const {
    return costs_.data() + (static_cast<std::size_t>(y) * labelCount_ + static_cast<std::size_t>(label)) * width_;
  }
  // The cost of `label` at row-major pixel p.
  float at(int p, int label) const { return plane(p / width_, label)[p % width_]; }
  std::size_t bytes() const { return costs_.size() * sizeof(float); }

 private:
  int width_ = 0;
  int height_ = 0;
  int labelCount_ = 0;
  std::vector<float> costs_;
};

}  // namespace orbelt
