#pragma once
// The fast sweep. Same costs as CachedRowSweep within floating-point error;
// organised so the inner loops stream contiguous memory, vectorise and stay
// in the processor's caches:
//  - a row is processed in tiles of 8 neighbouring reference pixels. The
//    window statistics of a tile are built one window offset at a time for
//    all 8 pixels at once and stored offset-major as weight x deviation
//    ("products"), so the numerator of a pair whose windows are both whole is
//    a plain dot product;
//  - the target tiles a reference tile pairs with are built once and kept in
//    a small ring while the reference tiles move right, so a row's
//    statistics are consumed while still in cache instead of making a round
//    trip through main memory;
//  - numerators are register-tiled dot products: 8 reference pixels against
//    up to 8 target pixels per pass over the offsets. Rows near the top and
//    bottom take the same path over the offset rows inside the image, since
//    both windows are cut identically there;
//  - a pair with a window cut at the left or right border needs its sums over
//    the common part of the two windows. When that part is all of one
//    window's inside part (the usual case: one window is cut at least as
//    much as the other), that window's products serve as they are; the other
//    window contributes its weighted values and weights (dot products
//    against the first's products) and its mean and energy over the common
//    part (from per-column sums). Windows cut on opposite sides use weighted
//    values and weights on both sides. Every such sum runs over values
//    relative to the window's centre pixel, so a channel constant over the
//    common part still has a numerator and an energy of exactly 0.
// The kernels come in generic, AVX2 and AVX-512 builds; the widest the
// processor supports is chosen at run time.
#include <cstdint>
#include <vector>

#include "ancc/BlockedKernels.h"
#include "ancc/RowSweep.h"

namespace orbelt {

// The nine per-pixel planes of one image (Lab guide 0..2, colour 0..2,
// log-chromaticity 0..2), each row padded on both sides with zeros so a
// tile's window rows can be read as whole vectors without leaving the
// storage; what the padding holds is masked out.
struct PaddedImage {
  std::vector<double> values;  // kImagePlanes planes of height rows of `stride` doubles
  long long stride = 0;        // doubles per padded row
  long long planeSize = 0;     // doubles per plane
  int pad = 0;                 // zero columns on each side, >= r + kLanes

  // Pixel (u, v) of plane p is plane(p)[v * stride + u].
  const double* plane(int p) const { return values.data() + p * planeSize + pad; }
};

// The shared, read-only part of a blocked sweep: weight tables, padded image
// planes and which tiles take part in pairs with a window cut at the left or
// right border. Built once per computeCostVolume call.
struct BlockedSweepTables {
  std::vector<double> spatialWeight;          // (2r+1)^2 spatial weights, o = i * n + j
  std::vector<double> colorWeight;            // weight of each integer squared Lab distance
  PaddedImage ref, target;                    // planes of the two images
  std::vector<unsigned char> refWeighted;     // per reference tile: needs weighted values
  std::vector<unsigned char> targetWeighted;  // per target tile: needs weighted values
  // How each pair is formed depends only on the two columns, so it is
  // worked out once: per reference tile, lane and target column of the
  // tile's range (span columns from its first), the form (kLanes x span);
  // per tile, form and target column, whether some lane pairs with that
  // column in that form (forms x span); per tile and form, whether any pair
  // does.
  long long span = 0;                      // target columns per tile range, at most
  std::vector<unsigned char> pairForms;    // tiles x kLanes x span
  std::vector<unsigned char> formColumns;  // tiles x forms x span
  std::vector<unsigned char> formUsed;     // tiles x forms

  // Throws std::bad_alloc.
  explicit BlockedSweepTables(const SweepSetup& setup);
};

class BlockedRowSweep final : public RowSweep {
 public:
  // Allocates one worker's row storage (throws std::bad_alloc). `setup` and
  // `tables` must outlive the sweep.
  BlockedRowSweep(const SweepSetup& setup, const BlockedSweepTables& tables);
  void computeRow(int y, CostVolume& volume) override;

  // Bytes of one worker's row storage for `setup`, as a double so that
  // absurd sizes cannot wrap (matcherWorkingBytes saturates them).
  static double workerBytes(const SweepSetup& setup);
  // Bytes of the shared tables, likewise.
  static double sharedBytes(const SweepSetup& setup);
  // Name of the kernel variant this processor runs ("avx512", "avx2", "generic").
  static const char* kernelName();
  // Makes every later sweep run the named variant, if this processor runs
  // it (false otherwise, nothing changed). For tests and benchmarks; not to
  // be called while a sweep runs.
  static bool selectKernel(const char* name);
  // Doubles per vector of that variant.
  static int kernelVectorWidth();

 private:
  struct Tile {
    std::vector<double> planes;      // kTilePlanes x n*n x kLanes
    std::vector<double> columnSums;  // n x kColumnSums x kLanes, when weighted
    std::vector<double> leftSums;    // the same summed over column offsets 0..j
    std::vector<double> rightSums;   // the same summed over column offsets j..2r
    double energy[kernels::kSignals * kernels::kLanes] = {};
    double root[kernels::kSignals * kernels::kLanes] = {};  // sqrt of the guarded energy
    long long index = -1;                                   // tile of the current row it holds, -1 none
  };
  // The window rows of image row y that lie inside the image: row offsets
  // firstRow..lastRow, so window offsets [firstOffset, endOffset).
  struct RowWindows {
    int y = 0;
    int firstRow = 0, lastRow = 0;
    int firstOffset = 0, endOffset = 0;
  };
  // One reference tile of the row and the target columns its pixels pair with.
  struct TilePairs {
    long long tile = 0;                                 // reference tile index
    int firstColumn = 0;                                // image column of lane 0
    int lanes = 0;                                      // lanes that are pixels of the image
    long long firstTarget = 0, lastTarget = 0;          // target columns paired with, inclusive; none when first > last
    int targetColumns = 0;                              // lastTarget - firstTarget + 1
    long long firstTargetTile = 0, lastTargetTile = 0;  // target tiles holding those columns
    const unsigned char* laneForms = nullptr;           // [lane * span + column - firstTarget]: form of that pair
    const unsigned char* formColumns = nullptr;         // [form * span + column - firstTarget]: some lane pairs so
    const unsigned char* formUsed = nullptr;            // [form]: some pair of the tile has that form
  };

  void buildTile(const RowWindows& rows, const PaddedImage& image, long long index, bool weighted, Tile& tile);
  TilePairs tilePairs(long long tile) const;
  // Builds the target tiles up to the last one `pairs` needs, from the first
  // not built yet in this row (`nextTargetTile`, moved past them).
  void buildTargetTiles(const RowWindows& rows, const TilePairs& pairs, long long& nextTargetTile);
  // Dot products of every pair of the tile in one form, into pairSums_.
  void sumPairsOfForm(const RowWindows& rows, const TilePairs& pairs, int form);
  // One kernel call: the tile's pairs in `form` with `count` target columns
  // from `firstColumn`, for one signal, into pairSums_.
  void sumPairBlock(const RowWindows& rows, const TilePairs& pairs, int form, const Tile& targetTile,
                    long long firstColumn, int count, int signal);
  // The tile's costs at every label, from pairSums_ and the window statistics.
  void writeTileCosts(const RowWindows& rows, const TilePairs& pairs, CostVolume& volume) const;
  float pairCost(const RowWindows& rows, const TilePairs& pairs, int lane, int targetColumn) const;
  // The ring slot of target tile `index`.
  Tile& ringSlot(long long index) { return ring_[index % static_cast<long long>(ring_.size())]; }
  const Tile& ringSlot(long long index) const { return ring_[index % static_cast<long long>(ring_.size())]; }
  const double* plane(const Tile& tile, int p) const {
    return tile.planes.data() + static_cast<long long>(p) * offsets_ * kernels::kLanes;
  }

  const SweepSetup& setup_;
  const BlockedSweepTables& tables_;
  const int r_, side_, offsets_;
  // The signals whose correlations count: all six when the costs are
  // blended, only the colour or only the log-chromaticity ones when
  // logChromWeight is exactly 0 or 1 (the other cost is then multiplied by
  // exactly 0, and skipping it halves the work).
  int firstSignal_ = 0, signalCount_ = kernels::kSignals;
  Tile ref_;
  std::vector<Tile> ring_;        // target tiles, tile m in slot m % size
  std::vector<double> pairSums_;  // per lane and target column: the dot products of the pair
  std::vector<double> dotOut_;    // one kernel call's results
  std::vector<double> scratch_;   // kernel work space
};

}  // namespace orbelt
