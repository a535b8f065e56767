#include "mrf/ChangedTiles.h"

#include <new>

namespace orbelt {

bool ChangedTiles::resize(int width, int height, int tileSize) {
  changedAt_.clear();
  listedIn_.clear();
  width_ = width > 0 ? width : 0;
  height_ = height > 0 ? height : 0;
  size_ = tileSize > 0 ? tileSize : 1;
  across_ = (width_ + size_ - 1) / size_;
  down_ = (height_ + size_ - 1) / size_;
  const std::size_t count = static_cast<std::size_t>(across_) * static_cast<std::size_t>(down_);
  try {
    changedAt_.assign(count, 0);
    listedIn_.assign(count, -1);
  } catch (const std::bad_alloc&) {
    changedAt_.clear();
    listedIn_.clear();
    return false;
  }
  listing_ = 0;
  return true;
}

void ChangedTiles::listChangedAfter(std::int64_t since, std::vector<std::int32_t>& out) {
  out.clear();
  ++listing_;
  for (std::size_t t = 0; t < changedAt_.size(); ++t) {
    if (changedAt_[t] > since) {
      out.push_back(static_cast<std::int32_t>(t));
      listedIn_[t] = listing_;
    }
  }
}

void ChangedTiles::bounds(std::int32_t t, int& x0, int& y0, int& x1, int& y1) const {
  const int tx = t % across_;
  const int ty = t / across_;
  x0 = tx * size_;
  y0 = ty * size_;
  x1 = x0 + size_ < width_ ? x0 + size_ : width_;
  y1 = y0 + size_ < height_ ? y0 + size_ : height_;
}

}  // namespace orbelt
