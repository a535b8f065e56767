#include "ancc/BlockedRowSweep.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "ancc/CorrelationCost.h"
#include "ancc/WindowGeometry.h"
#include "platform/HugePages.h"

namespace orbelt {

namespace {

using kernels::kColumnSums;
using kernels::kLanes;
using kernels::kSignals;

struct KernelSet {
  const char* name;
  void (*tileStatistics)(const kernels::TileStatisticsArgs&);
  void (*dots[4])(const kernels::DotArgs&);  // 1x1, 2x1, 1x2, 2x2 planes
  int (*blockColumns)(int);
  int (*vectorWidth)();
};

const KernelSet kGeneric{
    "generic",
    kernels::generic::tileStatistics,
    {kernels::generic::dots11, kernels::generic::dots21, kernels::generic::dots12, kernels::generic::dots22},
    kernels::generic::blockColumns,
    kernels::generic::vectorWidth};
const KernelSet kAvx2{"avx2",
                      kernels::avx2::tileStatistics,
                      {kernels::avx2::dots11, kernels::avx2::dots21, kernels::avx2::dots12, kernels::avx2::dots22},
                      kernels::avx2::blockColumns,
                      kernels::avx2::vectorWidth};
const KernelSet kAvx512{
    "avx512",
    kernels::avx512::tileStatistics,
    {kernels::avx512::dots11, kernels::avx512::dots21, kernels::avx512::dots12, kernels::avx512::dots22},
    kernels::avx512::blockColumns,
    kernels::avx512::vectorWidth};

bool supported(const KernelSet& set) {
  __builtin_cpu_init();
  if (&set == &kAvx512) return __builtin_cpu_supports("avx512f");
  if (&set == &kAvx2) return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return true;
}

std::atomic<const KernelSet*>& chosenKernels() {
  static std::atomic<const KernelSet*> chosen{supported(kAvx512) ? &kAvx512 : supported(kAvx2) ? &kAvx2 : &kGeneric};
  return chosen;
}

const KernelSet& kernelSet() { return *chosenKernels().load(); }

// Largest squared distance of two 8-bit Lab values, plus one.
constexpr int kLabDistances = 3 * 255 * 255 + 1;

// How the sums of a pair are formed, by which windows the left and right
// borders cut (the row clipping is the same for both windows and already in
// every tile's statistics).
enum PairForm : unsigned char {
  kNoPair = 0,      // target outside the image, or the label out of range
  kWhole = 1,       // both windows whole in the row: products against products
  kTargetPart = 2,  // the common part is the target's inside part
  kRefPart = 3,     // the common part is the reference's inside part
  kGeneral = 4,     // cut on opposite sides: weighted values on both sides
};
constexpr int kForms = 5;
// Dot products per signal of each form, and the kernel computing them.
constexpr int kProducts[kForms] = {0, 1, 2, 2, 4};
constexpr int kKernel[kForms] = {0, 0, 1, 2, 3};
// Doubles of pair sums per pair: the most any form produces.
constexpr int kPairSums = 4 * kSignals;

PairForm pairForm(int x, int xt, int r, int width) {
  int refLo, refHi, targetLo, targetHi;
  insideOffsets(x - r, x + r, 2 * r, width, refLo, refHi);
  insideOffsets(xt - r, xt + r, 2 * r, width, targetLo, targetHi);
  if (refLo == 0 && refHi == 2 * r && targetLo == 0 && targetHi == 2 * r) return kWhole;
  if (refLo <= targetLo && refHi >= targetHi) return kTargetPart;
  if (targetLo <= refLo && targetHi >= refHi) return kRefPart;
  return kGeneral;
}

long long tileCount(int width) { return (static_cast<long long>(width) + kLanes - 1) / kLanes; }

// Target columns reference tile `k` pairs with: [lo, hi], empty when lo > hi.
void targetRange(const SweepSetup& s, long long k, long long& lo, long long& hi) {
  const long long x0 = k * kLanes, x1 = std::min<long long>(x0 + kLanes, s.width) - 1;
  lo = std::max<long long>(0, x0 - s.baseDisparity - (s.disparityRange - 1));
  hi = std::min<long long>(s.width - 1, x1 - s.baseDisparity);
}

long long ringSize(const SweepSetup& s) {
  // A reference tile pairs with at most disparityRange + 7 target columns,
  // which touch at most that many / 8 + 2 target tiles.
  return std::min<long long>(tileCount(s.width), (static_cast<long long>(s.disparityRange) + 7) / kLanes + 2);
}

long long spanSize(const SweepSetup& s) {
  return std::min<long long>(s.width, static_cast<long long>(s.disparityRange) + kLanes - 1);
}

PaddedImage padImage(const ImageSignals& image, int r) {
  const int w = image.color.width(), h = image.color.height();
  PaddedImage p;
  p.pad = r + kLanes;
  p.stride = w + 2LL * p.pad;
  p.planeSize = p.stride * h;
  zeroFilledOnHugePages(p.values, static_cast<size_t>(p.planeSize) * kernels::kImagePlanes);
  const ChannelGrid* grids[3] = {&image.guide, &image.color, &image.logChrom};
  for (int g = 0; g < 3; ++g)
    for (int c = 0; c < 3; ++c)
      for (int y = 0; y < h; ++y)
        std::memcpy(p.values.data() + (g * 3 + c) * p.planeSize + y * p.stride + p.pad, grids[g]->row(c, y),
                    sizeof(double) * w);
  return p;
}

// A window's mean and guarded-energy root per signal over the column offsets
// jLo..jHi, from its per-column sums: with weights W and weighted values
// U = W (value - centre value), the mean is sum U / sum W and the energy
// sum W^2 (value - centre - mean)^2 = sum U^2 - 2 mean sum W U + mean^2 sum W^2.
// Since the centre lies in the part and has the largest weight, these
// terms are at most a few thousand times the energy, so the expansion loses
// no accuracy that matters; a constant channel gives exactly 0 throughout.
struct PartStatistics {
  double mean[kSignals];
  double root[kSignals];
};

// The common part of a cut pair spans column offsets jLo..jHi and reaches
// one end of the window whenever one of the two windows is whole or both
// are cut on the same side; the sums then come from running sums kept from
// that end, which add only columns of the part (no differences, so exact
// zeros stay exact).
PartStatistics partStatistics(const std::vector<double>& columnSums, const std::vector<double>& leftSums,
                              const std::vector<double>& rightSums, int lane, int jLo, int jHi, int r) {
  double q[kColumnSums] = {};
  auto add = [&](const std::vector<double>& sums, int j) {
    const double* c = sums.data() + static_cast<long long>(j) * kColumnSums * kLanes + lane;
    for (int k = 0; k < kColumnSums; ++k) q[k] += c[k * kLanes];
  };
  if (jLo == 0) {
    add(leftSums, jHi);
  } else if (jHi == 2 * r) {
    add(rightSums, jLo);
  } else {
    for (int j = jLo; j <= jHi; ++j) add(columnSums, j);
  }
  PartStatistics p;
  for (int s = 0; s < kSignals; ++s) {
    p.mean[s] = q[2 + s] / q[0];
    const double e = q[2 + kSignals + s] - 2.0 * p.mean[s] * q[2 + 2 * kSignals + s] + p.mean[s] * p.mean[s] * q[1];
    p.root[s] = guardedRoot(e > 0.0 ? e : 0.0);
  }
  return p;
}

}  // namespace

BlockedSweepTables::BlockedSweepTables(const SweepSetup& s)
    : spatialWeight(static_cast<size_t>(2 * s.halfWinSize + 1) * (2 * s.halfWinSize + 1)),
      ref(padImage(*s.ref, s.halfWinSize)),
      target(padImage(*s.target, s.halfWinSize)),
      refWeighted(tileCount(s.width), 0),
      targetWeighted(tileCount(s.width), 0) {
  const BilateralWeight weight(s);
  const int r = s.halfWinSize, n = 2 * r + 1;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) spatialWeight[i * n + j] = weight((j - r) * (j - r) + (i - r) * (i - r), 0.0);
  // Up to the first distance whose weight is exactly 0 (about 745 * 2
  // sigma_c^2: 21500 entries at sigma 3.8), so the table stays in the
  // processor's cache; the kernels clamp larger distances to that 0.
  for (int k = 0; k < kLabDistances; ++k) {
    colorWeight.push_back(weight(0, double(k)));
    if (colorWeight.back() == 0.0) break;
  }
  span = spanSize(s);
  const long long tiles = tileCount(s.width);
  pairForms.assign(tiles * kLanes * span, kNoPair);
  formColumns.assign(tiles * kForms * span, 0);
  formUsed.assign(tiles * kForms, 0);
  for (long long k = 0; k < tiles; ++k) {
    long long tLo, tHi;
    targetRange(s, k, tLo, tHi);
    for (int l = 0; l < kLanes && k * kLanes + l < s.width; ++l) {
      const int x = static_cast<int>(k * kLanes + l);
      // Only the labels whose target lies in the tile's range.
      const long long dFirst = std::max<long long>(0, x - s.baseDisparity - tHi);
      const long long dLast = std::min<long long>(s.disparityRange - 1, x - s.baseDisparity - tLo);
      for (long long d = dFirst; d <= dLast; ++d) {
        const long long xt = x - s.baseDisparity - d, col = xt - tLo;
        const PairForm f = pairForm(x, static_cast<int>(xt), r, s.width);
        pairForms[(k * kLanes + l) * span + col] = f;
        formColumns[(k * kForms + f) * span + col] = 1;
        formUsed[k * kForms + f] = 1;
        if (f == kTargetPart || f == kGeneral) refWeighted[k] = 1;
        if (f == kRefPart || f == kGeneral) targetWeighted[xt / kLanes] = 1;
      }
    }
  }
}

double BlockedRowSweep::sharedBytes(const SweepSetup& s) {
  const double n = 2.0 * s.halfWinSize + 1;
  const double padded =
      2.0 * kernels::kImagePlanes * s.height * (double(s.width) + 2.0 * (double(s.halfWinSize) + kLanes));
  const double tiles = double(tileCount(s.width));
  return (n * n + kLabDistances + padded) * 8 + tiles * (2 + kForms + (kLanes + kForms) * double(spanSize(s)));
}

double BlockedRowSweep::workerBytes(const SweepSetup& s) {
  const double n = 2.0 * s.halfWinSize + 1;
  const double tile = (kernels::kTilePlanes * n * n + 3 * n * kColumnSums) * kLanes * 8 + 2 * kSignals * kLanes * 8;
  const double span = double(spanSize(s));
  return (double(ringSize(s)) + 1) * tile + span * kLanes * kPairSums * 8 + (4 * 8 * kLanes + n * kLanes) * 8;
}

bool BlockedRowSweep::selectKernel(const char* name) {
  for (const KernelSet* set : {&kAvx512, &kAvx2, &kGeneric}) {
    if (std::strcmp(set->name, name) == 0 && supported(*set)) {
      chosenKernels().store(set);
      return true;
    }
  }
  return false;
}

const char* BlockedRowSweep::kernelName() { return kernelSet().name; }
int BlockedRowSweep::kernelVectorWidth() { return kernelSet().vectorWidth(); }

BlockedRowSweep::BlockedRowSweep(const SweepSetup& setup, const BlockedSweepTables& tables)
    : setup_(setup),
      tables_(tables),
      r_(setup.halfWinSize),
      side_(2 * setup.halfWinSize + 1),
      offsets_(side_ * side_),
      ring_(ringSize(setup)),
      pairSums_(spanSize(setup) * kLanes * kPairSums),
      dotOut_(4 * kLanes * kLanes),
      scratch_(static_cast<size_t>(side_) * kLanes) {
  if (setup.logChromWeight == 1.0f) {
    firstSignal_ = 3;
    signalCount_ = 3;
  } else if (setup.logChromWeight == 0.0f) {
    signalCount_ = 3;
  }
  // Zero-filled once: offset rows a row does not reach keep finite values
  // the kernels never read.
  ref_.planes.assign(static_cast<size_t>(kernels::kTilePlanes) * offsets_ * kLanes, 0.0);
  for (Tile& t : ring_) t.planes.assign(ref_.planes.size(), 0.0);
  // Column sums only where a tile may need them.
  const bool anyRef = std::find(tables.refWeighted.begin(), tables.refWeighted.end(), 1) != tables.refWeighted.end();
  const bool anyTarget =
      std::find(tables.targetWeighted.begin(), tables.targetWeighted.end(), 1) != tables.targetWeighted.end();
  auto withSums = [&](Tile& t) {
    for (auto* v : {&t.columnSums, &t.leftSums, &t.rightSums})
      v->assign(static_cast<size_t>(side_) * kColumnSums * kLanes, 0.0);
  };
  if (anyRef) withSums(ref_);
  if (anyTarget)
    for (Tile& t : ring_) withSums(t);
}

namespace {

// A tile's costs are a row's run of cells the cache has not seen yet;
// asking for its lines one tile ahead lets them arrive while the tile before
// runs.
void prefetchCostCells(const CostVolume& volume, int y, int firstColumn, int width, int labels) {
  for (int x = firstColumn; x < std::min(width, firstColumn + kLanes); ++x) {
    const char* cell = reinterpret_cast<const char*>(volume.cell(x, y));
    for (size_t b = 0; b < sizeof(float) * labels; b += 64) __builtin_prefetch(cell + b, 1);
    __builtin_prefetch(cell + sizeof(float) * labels - 1, 1);
  }
}

// A pair's correlation numerator and the square roots of its two windows'
// guarded energies, per signal.
struct PairTerms {
  double numerator[kSignals];
  double refRoot[kSignals];
  double targetRoot[kSignals];
};

}  // namespace

void BlockedRowSweep::buildTile(const RowWindows& rows, const PaddedImage& image, long long index, bool weighted,
                                Tile& tile) {
  kernels::TileStatisticsArgs a;
  for (int p = 0; p < kernels::kImagePlanes; ++p) a.planes[p] = image.plane(p);
  a.stride = image.stride;
  a.width = setup_.width;
  a.r = r_;
  a.y = rows.y;
  a.iLo = rows.firstRow;
  a.iHi = rows.lastRow;
  a.x0 = static_cast<int>(index * kLanes);
  a.spatialWeight = tables_.spatialWeight.data();
  a.colorWeight = tables_.colorWeight.data();
  a.colorWeightCount = static_cast<int>(tables_.colorWeight.size());
  a.firstSignal = firstSignal_;
  a.signalCount = signalCount_;
  a.weighted = weighted;
  a.tile = tile.planes.data();
  a.energy = tile.energy;
  a.columnSums = tile.columnSums.data();
  a.scratch = scratch_.data();
  kernelSet().tileStatistics(a);
  for (int k = 0; k < kSignals * kLanes; ++k) tile.root[k] = guardedRoot(tile.energy[k]);
  tile.index = index;
  if (weighted) {
    // Running sums of the column sums from each end of the window.
    const int row = kColumnSums * kLanes, n = side_;
    for (int k = 0; k < row; ++k) {
      tile.leftSums[k] = tile.columnSums[k];
      tile.rightSums[(n - 1) * row + k] = tile.columnSums[(n - 1) * row + k];
    }
    for (int j = 1; j < n; ++j)
      for (int k = 0; k < row; ++k) {
        tile.leftSums[j * row + k] = tile.leftSums[(j - 1) * row + k] + tile.columnSums[j * row + k];
        tile.rightSums[(n - 1 - j) * row + k] =
            tile.rightSums[(n - j) * row + k] + tile.columnSums[(n - 1 - j) * row + k];
      }
  }
}

BlockedRowSweep::TilePairs BlockedRowSweep::tilePairs(long long tile) const {
  TilePairs pairs;
  pairs.tile = tile;
  pairs.firstColumn = static_cast<int>(tile * kLanes);
  pairs.lanes = std::min(kLanes, setup_.width - pairs.firstColumn);
  targetRange(setup_, tile, pairs.firstTarget, pairs.lastTarget);
  pairs.targetColumns = static_cast<int>(pairs.lastTarget - pairs.firstTarget + 1);
  pairs.firstTargetTile = pairs.firstTarget / kLanes;
  pairs.lastTargetTile = pairs.lastTarget / kLanes;
  pairs.laneForms = tables_.pairForms.data() + tile * kLanes * tables_.span;
  pairs.formColumns = tables_.formColumns.data() + tile * kForms * tables_.span;
  pairs.formUsed = tables_.formUsed.data() + tile * kForms;
  return pairs;
}

void BlockedRowSweep::buildTargetTiles(const RowWindows& rows, const TilePairs& pairs, long long& nextTargetTile) {
  for (nextTargetTile = std::max(nextTargetTile, pairs.firstTargetTile); nextTargetTile <= pairs.lastTargetTile;
       ++nextTargetTile)
    buildTile(rows, tables_.target, nextTargetTile, tables_.targetWeighted[nextTargetTile] != 0,
              ringSlot(nextTargetTile));
}

void BlockedRowSweep::sumPairsOfForm(const RowWindows& rows, const TilePairs& pairs, int form) {
  const int block = kernelSet().blockColumns(kProducts[form]);
  const unsigned char* wanted = pairs.formColumns + form * tables_.span;
  for (long long m = pairs.firstTargetTile; m <= pairs.lastTargetTile; ++m) {
    // The tile's columns in the range, trimmed to the first and last that
    // some pair in this form uses.
    long long first = std::max(m * kLanes, pairs.firstTarget);
    long long last = std::min(m * kLanes + kLanes - 1, pairs.lastTarget);
    while (first <= last && !wanted[first - pairs.firstTarget]) ++first;
    while (last >= first && !wanted[last - pairs.firstTarget]) --last;
    for (long long column = first; column <= last; column += block) {
      const int count = static_cast<int>(std::min<long long>(block, last - column + 1));
      for (int s = firstSignal_; s < firstSignal_ + signalCount_; ++s)
        sumPairBlock(rows, pairs, form, ringSlot(m), column, count, s);
    }
  }
}

void BlockedRowSweep::sumPairBlock(const RowWindows& rows, const TilePairs& pairs, int form, const Tile& targetTile,
                                   long long firstColumn, int count, int signal) {
  const bool refWeighted = form == kTargetPart || form == kGeneral;
  const bool targetWeighted = form == kRefPart || form == kGeneral;
  kernels::DotArgs a;
  a.ref[0] = plane(ref_, refWeighted ? kernels::kWeightedPlane + signal : kernels::kProductPlane + signal);
  a.ref[1] = plane(ref_, kernels::kWeightPlane);
  a.target[0] = plane(targetTile, targetWeighted ? kernels::kWeightedPlane + signal : kernels::kProductPlane + signal);
  a.target[1] = plane(targetTile, kernels::kWeightPlane);
  a.oLo = rows.firstOffset;
  a.oHi = rows.endOffset;
  a.c0 = static_cast<int>(firstColumn - targetTile.index * kLanes);
  a.count = count;
  a.out = dotOut_.data();
  kernelSet().dots[kKernel[form]](a);
  // Each lane keeps only the results for the columns it pairs with in this form.
  const int products = (refWeighted ? 2 : 1) * (targetWeighted ? 2 : 1);
  for (int p = 0; p < products; ++p)
    for (int b = 0; b < count; ++b) {
      const long long column = firstColumn + b - pairs.firstTarget;
      const double* out = dotOut_.data() + (p * count + b) * kLanes;
      for (int l = 0; l < pairs.lanes; ++l)
        if (pairs.laneForms[l * tables_.span + column] == form)
          pairSums_[(l * pairs.targetColumns + column) * kPairSums + p * kSignals + signal] = out[l];
    }
}

// Inlined into the loop over every pixel and label: a call per cost shows.
[[gnu::always_inline]] inline float BlockedRowSweep::pairCost(const RowWindows& rows, const TilePairs& pairs, int lane,
                                                              int targetColumn) const {
  const int column = static_cast<int>(targetColumn - pairs.firstTarget);
  const Tile& targetTile = ringSlot(targetColumn / kLanes);
  const int targetLane = targetColumn % kLanes;
  const double* sums = &pairSums_[(lane * pairs.targetColumns + column) * kPairSums];
  const PairForm form = static_cast<PairForm>(pairs.laneForms[lane * tables_.span + column]);
  PairTerms terms;
  for (int s = 0; s < kSignals; ++s) {
    terms.refRoot[s] = ref_.root[s * kLanes + lane];
    terms.targetRoot[s] = targetTile.root[s * kLanes + targetLane];
  }
  if (form == kWhole) {
    for (int s = 0; s < kSignals; ++s) terms.numerator[s] = sums[s];
  } else {
    // Sums over the common part of two cut windows: the means and energies
    // of a weighted side come from its column sums over that part.
    const int r = r_;
    const OverlapRange range = overlapRange(windowBounds(pairs.firstColumn + lane, rows.y, r),
                                            windowBounds(targetColumn, rows.y, r), 2 * r, setup_.width, setup_.height);
    auto part = [&](const Tile& t, int tileLane) {
      return partStatistics(t.columnSums, t.leftSums, t.rightSums, tileLane, range.jLo, range.jHi, r);
    };
    if (form == kTargetPart) {
      // sum over the part of W_R (v_R - mean_R) P_T.
      const PartStatistics p = part(ref_, lane);
      for (int s = 0; s < kSignals; ++s) {
        terms.numerator[s] = sums[s] - p.mean[s] * sums[kSignals + s];
        terms.refRoot[s] = p.root[s];
      }
    } else if (form == kRefPart) {
      const PartStatistics p = part(targetTile, targetLane);
      for (int s = 0; s < kSignals; ++s) {
        terms.numerator[s] = sums[s] - p.mean[s] * sums[kSignals + s];
        terms.targetRoot[s] = p.root[s];
      }
    } else {
      // sums: U_R U_T, U_R W_T, W_R U_T, W_R W_T.
      const PartStatistics pr = part(ref_, lane);
      const PartStatistics pt = part(targetTile, targetLane);
      for (int s = 0; s < kSignals; ++s) {
        terms.numerator[s] = sums[s] - pt.mean[s] * sums[kSignals + s] - pr.mean[s] * sums[2 * kSignals + s] +
                             pr.mean[s] * pt.mean[s] * sums[3 * kSignals + s];
        terms.refRoot[s] = pr.root[s];
        terms.targetRoot[s] = pt.root[s];
      }
    }
  }
  // A signal whose cost is weighted by exactly 0 correlates 0.
  for (int s = 0; s < kSignals; ++s)
    if (s < firstSignal_ || s >= firstSignal_ + signalCount_) {
      terms.numerator[s] = 0.0;
      terms.refRoot[s] = terms.targetRoot[s] = 1.0;
    }
  return costFromRoots(terms.numerator, terms.refRoot, terms.targetRoot, setup_.logChromWeight);
}

void BlockedRowSweep::writeTileCosts(const RowWindows& rows, const TilePairs& pairs, CostVolume& volume) const {
  const long long base = setup_.baseDisparity;
  for (int l = 0; l < pairs.lanes; ++l) {
    const int x = pairs.firstColumn + l;
    float* costs = volume.cell(x, rows.y);
    for (int d = 0; d < setup_.disparityRange; ++d) {
      const long long targetColumn = x - base - d;
      costs[d] = targetColumn < pairs.firstTarget || targetColumn > pairs.lastTarget
                     ? kOutsideCost
                     : pairCost(rows, pairs, l, static_cast<int>(targetColumn));
    }
  }
}

void BlockedRowSweep::computeRow(int y, CostVolume& volume) {
  RowWindows rows;
  rows.y = y;
  insideOffsets(y - r_, y + r_, 2 * r_, setup_.height, rows.firstRow, rows.lastRow);
  rows.firstOffset = rows.firstRow * side_;
  rows.endOffset = (rows.lastRow + 1) * side_;
  for (Tile& t : ring_) t.index = -1;
  long long nextTargetTile = 0;  // target tiles below it were built or are never needed

  for (long long tile = 0; tile < tileCount(setup_.width); ++tile) {
    const TilePairs pairs = tilePairs(tile);
    prefetchCostCells(volume, y, pairs.firstColumn + kLanes, setup_.width, setup_.disparityRange);
    if (pairs.firstTarget > pairs.lastTarget) {
      for (int l = 0; l < pairs.lanes; ++l)
        std::fill_n(volume.cell(pairs.firstColumn + l, y), setup_.disparityRange, kOutsideCost);
      continue;
    }
    buildTile(rows, tables_.ref, tile, pairs.formUsed[kTargetPart] || pairs.formUsed[kGeneral], ref_);
    buildTargetTiles(rows, pairs, nextTargetTile);
    for (int form = kWhole; form < kForms; ++form)
      if (pairs.formUsed[form]) sumPairsOfForm(rows, pairs, form);
    writeTileCosts(rows, pairs, volume);
  }
}

}  // namespace orbelt
