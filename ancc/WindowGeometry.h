#pragma once
// Where a correlation window lies and which of its offsets both windows of a
// pair have inside the image.
//
// r = half size. The window of pixel (x, y) covers columns x-r..x+r and rows
// y-r..y+r; offset (j, i), each 0..2r, is pixel (x-r+j, y-r+i); the centre
// is (r, r).

namespace orbelt {

struct WindowBounds {
  int firstColumn = 0;  // x - r
  int lastColumn = 0;   // x + r
  int firstRow = 0;     // y - r
  int lastRow = 0;      // y + r
};

inline WindowBounds windowBounds(int x, int y, int r) { return {x - r, x + r, y - r, y + r}; }

// Offsets jLo..jHi (columns) x iLo..iHi (rows), inclusive, at which both
// windows lie inside the image.
struct OverlapRange {
  int jLo = 0;
  int jHi = 0;
  int iLo = 0;
  int iHi = 0;
  bool operator==(const OverlapRange&) const = default;
};

// Inside offsets lo..hi of one window along one axis with `n` pixels; a
// window sticking out on both sides is clipped on both.
inline void insideOffsets(int first, int last, int twoR, int n, int& lo, int& hi) {
  lo = first < 0 ? -first : 0;
  hi = last > n - 1 ? twoR - (last - (n - 1)) : twoR;
}

// The common inside part of a reference and a target window of the same row.
// Both centres must be inside the image; then the centre offset r lies in
// both ranges.
inline OverlapRange overlapRange(const WindowBounds& ref, const WindowBounds& target, int twoR, int width, int height) {
  int refLo, refHi, tLo, tHi;
  insideOffsets(ref.firstColumn, ref.lastColumn, twoR, width, refLo, refHi);
  insideOffsets(target.firstColumn, target.lastColumn, twoR, width, tLo, tHi);
  OverlapRange range;
  range.jLo = refLo > tLo ? refLo : tLo;
  range.jHi = refHi < tHi ? refHi : tHi;
  insideOffsets(ref.firstRow, ref.lastRow, twoR, height, range.iLo, range.iHi);
  return range;
}

}  // namespace orbelt
