#pragma once
// The straightforward cached sweep: the window statistics of every pixel of
// the row are computed once per image and reused by every label whose two
// windows lie wholly inside the image; a pair with a window cut by the
// border is recomputed over the part both windows have inside the image.
//
// Single-threaded per row, scalar, and summing in the order the design
// fixes (row offset outer, column offset inner). The matcher uses the faster
// BlockedRowSweep; this one is kept as the measure it is compared against
// and as a second, plainer rendering of the same cost.
#include "ancc/RowSweep.h"
#include "ancc/RowWindowCache.h"
#include "ancc/WindowGeometry.h"

namespace orbelt {

class CachedRowSweep final : public RowSweep {
 public:
  // Allocates both row caches and the two scratch tables (throws
  // std::bad_alloc). `setup` and what it points to must outlive the sweep.
  explicit CachedRowSweep(const SweepSetup& setup);
  void computeRow(int y, CostVolume& volume) override;

 private:
  void windowStatistics(int x, int y, const ImageSignals& image, RowWindowCache& cache) const;
  // Divides table entries of the range by their sum; gives the weighted
  // means of colour and log-chromaticity over the range, relative to the
  // values of the window's centre pixel (which the range always holds).
  void overlapMeans(int x, int y, double* table, const ImageSignals& image, const OverlapRange& range,
                    double meanColor[3], double meanLogChrom[3]) const;
  float clippedCost(int x, int xt, int y, const OverlapRange& range);
  float wholeWindowCost(int x, int xt) const;

  const SweepSetup& setup_;
  const int r_;
  const int side_;
  const BilateralWeight weight_;
  RowWindowCache refCache_;
  RowWindowCache targetCache_;
  std::vector<double> refOverlapWeights_;
  std::vector<double> targetOverlapWeights_;
};

}  // namespace orbelt
