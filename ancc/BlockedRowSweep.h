#pragma once
// The fast sweep. Same costs as CachedRowSweep within floating-point error;
// organised so the inner loops stream contiguous memory and vectorise:
//  - the window statistics of a row are built for all columns at once, one
//    window offset at a time, and stored offset-major ([signal][offset][x])
//    as weight x deviation, so a pair's numerator is a plain dot product;
//  - the numerators of all pairs whose windows share every column of the
//    image row are one banded matrix product per signal (reference columns
//    x target columns, over the offsets), computed in register tiles;
//    rows near the top and bottom take the same path over the offset rows
//    inside the image, since both windows are cut identically there;
//  - pairs with a window cut at the left or right border are recomputed over
//    their common part by a vectorised two-pass kernel.
// The kernels come in generic, AVX2 and AVX-512 builds; the widest the
// processor supports is chosen at run time.
#include <cstdint>
#include <vector>

#include "ancc/BlockedKernels.h"
#include "ancc/RowSweep.h"

namespace orbelt {

// The shared, read-only part of a blocked sweep: weight tables and which
// columns the clipped pairs need. Built once per computeCostVolume call.
struct BlockedSweepTables {
  std::vector<double> spatialWeight;        // (2r+1)^2 spatial weights
  std::vector<double> colorWeight;          // weight of each integer squared Lab distance
  std::vector<int> refColumns;     // reference columns used by clipped pairs, ascending
  std::vector<int> targetColumns;  // target columns used by clipped pairs, ascending

  // Throws std::bad_alloc.
  explicit BlockedSweepTables(const SweepSetup& setup);
};

class BlockedRowSweep final : public RowSweep {
 public:
  // Allocates one worker's row storage (throws std::bad_alloc). `setup` and
  // `tables` must outlive the sweep.
  BlockedRowSweep(const SweepSetup& setup, const BlockedSweepTables& tables);
  void computeRow(int y, CostVolume& volume) override;

  // Bytes of one worker's row storage for `setup`.
  static std::uint64_t workerBytes(const SweepSetup& setup);
  // Bytes of the shared tables.
  static std::uint64_t sharedBytes(const SweepSetup& setup);
  // Name of the kernel variant this processor runs ("avx512", "avx2", "generic").
  static const char* kernelName();
  // Makes every later sweep run the named variant, if this processor runs
  // it (false otherwise, nothing changed). For tests and benchmarks; not to
  // be called while a sweep runs.
  static bool selectKernel(const char* name);
  // Doubles per vector of that variant.
  static int kernelVectorWidth();

 private:
  struct ImageRow {
    std::vector<double> weights, products, energy, scratch, columnWeights;
  };
  void buildRow(int y, int iLo, int iHi, const ImageSignals& image, const std::vector<int>& columns,
                ImageRow& row);

  const SweepSetup& setup_;
  const BlockedSweepTables& tables_;
  const int r_, side_, offsets_, stride_;
  ImageRow ref_, target_;
  std::vector<double> sums_;  // width x labels x 6 numerators of whole-row pairs
};

}  // namespace orbelt
