#pragma once
// ChangedTiles: when the labels last changed, per square tile of the grid,
// so that a move can tell which parts of the grid are as its label's last
// move left them.
//
// A node's terms in a move read its own label and its four neighbours'. So
// a label change at pixel p marks p's tile and every tile whose nodes have p
// as a neighbour (the tile across each edge p lies on): a tile not marked
// since time t has nodes whose terms are those they had at t.
//
// Times are the caller's counter (any increasing 64-bit values). Owns two
// 64-bit stamps per tile. Fails: resize() returns false, keeping nothing,
// when memory is short.
#include <cstdint>
#include <vector>

namespace orbelt {

class ChangedTiles {
 public:
  // Tiles of `tileSize` x `tileSize` pixels (the last row and column may be
  // smaller) over a width x height grid, every tile changed at time 0.
  bool resize(int width, int height, int tileSize);
  int tileSize() const { return size_; }
  int tileCount() const { return static_cast<int>(changedAt_.size()); }

  // The label of pixel (x, y) changed at `time`.
  void markPixel(int x, int y, std::int64_t time) {
    const int tx = x / size_;
    const int ty = y / size_;
    const int t = ty * across_ + tx;
    changedAt_[static_cast<std::size_t>(t)] = time;
    const int inX = x - tx * size_;
    const int inY = y - ty * size_;
    if (inX == 0 && tx > 0) changedAt_[static_cast<std::size_t>(t - 1)] = time;
    if (inX == size_ - 1 && tx + 1 < across_) changedAt_[static_cast<std::size_t>(t + 1)] = time;
    if (inY == 0 && ty > 0) changedAt_[static_cast<std::size_t>(t - across_)] = time;
    if (inY == size_ - 1 && ty + 1 < down_) changedAt_[static_cast<std::size_t>(t + across_)] = time;
  }

  // Lists into `out` (cleared first) the tiles changed after `since`, in
  // tile order, and notes them as this listing's: listed() is true for them
  // alone until the next listing.
  void listChangedAfter(std::int64_t since, std::vector<std::int32_t>& out);
  bool listed(int x, int y) const {
    return listedIn_[static_cast<std::size_t>((y / size_) * across_ + x / size_)] == listing_;
  }
  // The pixels of tile t: columns [x0, x1), rows [y0, y1).
  void bounds(std::int32_t t, int& x0, int& y0, int& x1, int& y1) const;

 private:
  int width_ = 0;
  int height_ = 0;
  int size_ = 1;
  int across_ = 0;
  int down_ = 0;
  std::vector<std::int64_t> changedAt_;
  std::vector<std::int64_t> listedIn_;
  std::int64_t listing_ = 0;
};

}  // namespace orbelt
