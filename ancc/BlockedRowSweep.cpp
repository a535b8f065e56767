#include "ancc/BlockedRowSweep.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cmath>

#include "ancc/CorrelationCost.h"
#include "ancc/WindowGeometry.h"

namespace orbelt {

namespace {

struct KernelSet {
  const char* name;
  void (*rowStatistics)(const kernels::RowStatisticsArgs&);
  void (*bandSums)(const kernels::BandArgs&);
  void (*clippedSums)(const kernels::ClippedArgs&, double*);
  int (*vectorWidth)();
};

const KernelSet kGeneric{"generic", kernels::generic::rowStatistics, kernels::generic::bandSums,
                         kernels::generic::clippedSums, kernels::generic::vectorWidth};
const KernelSet kAvx2{"avx2", kernels::avx2::rowStatistics, kernels::avx2::bandSums, kernels::avx2::clippedSums,
                      kernels::avx2::vectorWidth};
const KernelSet kAvx512{"avx512", kernels::avx512::rowStatistics, kernels::avx512::bandSums,
                        kernels::avx512::clippedSums, kernels::avx512::vectorWidth};

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

// Largest squared distance of two 8-bit Lab values.
constexpr int kLabDistances = 3 * 255 * 255 + 1;

int strideFor(int width) {
  const int tile = kernels::kMaxTile;
  return (width + tile - 1) / tile * tile + tile;
}

bool wholeColumn(long long x, int r, int width) { return x >= r && x <= width - 1 - r; }

}  // namespace

BlockedSweepTables::BlockedSweepTables(const SweepSetup& s)
    : spatialWeight(static_cast<size_t>(2 * s.halfWinSize + 1) * (2 * s.halfWinSize + 1)),
      colorWeight() {
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
  std::vector<unsigned char> refWanted(s.width, 0), targetWanted(s.width, 0);
  for (int x = 0; x < s.width; ++x) {
    for (int d = 0; d < s.disparityRange; ++d) {
      const long long xt = static_cast<long long>(x) - s.baseDisparity - d;
      if (xt < 0 || xt >= s.width) continue;
      if (!wholeColumn(x, r, s.width) || !wholeColumn(xt, r, s.width)) {
        refWanted[x] = 1;
        targetWanted[xt] = 1;
      }
    }
  }
  for (int x = 0; x < s.width; ++x) {
    if (refWanted[x]) refColumns.push_back(x);
    if (targetWanted[x]) targetColumns.push_back(x);
  }
}

std::uint64_t BlockedRowSweep::sharedBytes(const SweepSetup& s) {
  const std::uint64_t n = 2ull * s.halfWinSize + 1;
  return (n * n + kLabDistances) * 8 + 8ull * s.width;
}

std::uint64_t BlockedRowSweep::workerBytes(const SweepSetup& s) {
  const std::uint64_t n = 2ull * s.halfWinSize + 1, offsets = n * n, stride = strideFor(s.width);
  const std::uint64_t perImage =
      (offsets * stride * 7 + 6 * stride + 13 * stride + std::uint64_t(s.width) * offsets + kernels::kMaxTile) * 8;
  const std::uint64_t sums = std::uint64_t(s.width) * std::max(0, s.disparityRange) * 6 * 8;
  return 2 * perImage + sums;
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
      stride_(strideFor(setup.width)),
      sums_(static_cast<size_t>(setup.width) * setup.disparityRange * 6) {
  for (ImageRow* row : {&ref_, &target_}) {
    // Zero-filled once: every value a kernel may read past what a row
    // writes is then finite, and masked or discarded.
    row->weights.assign(static_cast<size_t>(offsets_) * stride_, 0.0);
    row->products.assign(static_cast<size_t>(offsets_) * stride_ * 6, 0.0);
    row->energy.assign(static_cast<size_t>(stride_) * 6, 0.0);
    row->scratch.assign(static_cast<size_t>(stride_) * 13, 0.0);
    row->columnWeights.assign(static_cast<size_t>(setup.width) * offsets_ + kernels::kMaxTile, 0.0);
  }
}

void BlockedRowSweep::buildRow(int y, int iLo, int iHi, const ImageSignals& image,
                               const std::vector<int>& columns, ImageRow& row) {
  kernels::RowStatisticsArgs a;
  a.width = setup_.width;
  a.stride = stride_;
  a.tiles = stride_ / kernels::kMaxTile;
  a.r = r_;
  a.y = y;
  a.iLo = iLo;
  a.iHi = iHi;
  for (int c = 0; c < 3; ++c) {
    a.guide[c] = image.guide.row(c, 0);
    a.signal[c] = image.color.row(c, 0);
    a.signal[3 + c] = image.logChrom.row(c, 0);
  }
  a.spatialWeight = tables_.spatialWeight.data();
  a.colorWeight = tables_.colorWeight.data();
  a.colorWeightCount = static_cast<int>(tables_.colorWeight.size());
  a.weights = row.weights.data();
  a.products = row.products.data();
  a.energy = row.energy.data();
  a.scratch = row.scratch.data();
  a.wantedColumns = columns.data();
  a.wantedCount = static_cast<int>(columns.size());
  a.columnWeights = row.columnWeights.data();
  kernelSet().rowStatistics(a);
}

void BlockedRowSweep::computeRow(int y, CostVolume& volume) {
  const KernelSet& k = kernelSet();
  const int w = setup_.width, labels = setup_.disparityRange;
  int iLo, iHi;
  insideOffsets(y - r_, y + r_, 2 * r_, setup_.height, iLo, iHi);
  buildRow(y, iLo, iHi, *setup_.ref, tables_.refColumns, ref_);
  buildRow(y, iLo, iHi, *setup_.target, tables_.targetColumns, target_);

  kernels::BandArgs band;
  band.refProducts = ref_.products.data();
  band.targetProducts = target_.products.data();
  band.tiles = stride_ / kernels::kMaxTile;
  band.offsets = offsets_;
  band.oLo = iLo * side_;
  band.oHi = (iHi + 1) * side_;
  band.width = w;
  band.r = r_;
  band.base = setup_.baseDisparity;
  band.labels = labels;
  band.sums = sums_.data();
  k.bandSums(band);

  kernels::ClippedArgs clipped;
  for (int c = 0; c < 3; ++c) {
    clipped.refSignal[c] = setup_.ref->color.row(c, 0);
    clipped.refSignal[3 + c] = setup_.ref->logChrom.row(c, 0);
    clipped.targetSignal[c] = setup_.target->color.row(c, 0);
    clipped.targetSignal[3 + c] = setup_.target->logChrom.row(c, 0);
  }
  clipped.width = w;
  clipped.r = r_;
  clipped.y = y;

  for (int x = 0; x < w; ++x) {
    float* costs = volume.cell(x, y);
    for (int d = 0; d < labels; ++d) {
      const long long xtWide = static_cast<long long>(x) - setup_.baseDisparity - d;
      if (xtWide < 0 || xtWide >= w) {
        costs[d] = kOutsideCost;
        continue;
      }
      const int xt = static_cast<int>(xtWide);
      CorrelationSums s;
      if (wholeColumn(x, r_, w) && wholeColumn(xt, r_, w)) {
        const double* n = &sums_[(static_cast<size_t>(x) * labels + d) * 6];
        for (int c = 0; c < 3; ++c) {
          s.colorN[c] = n[c];
          s.logChromN[c] = n[3 + c];
          s.colorRefE[c] = ref_.energy[c * stride_ + x];
          s.colorTargetE[c] = target_.energy[c * stride_ + xt];
          s.logChromRefE[c] = ref_.energy[(3 + c) * stride_ + x];
          s.logChromTargetE[c] = target_.energy[(3 + c) * stride_ + xt];
        }
      } else {
        const OverlapRange range = overlapRange(windowBounds(x, y, r_), windowBounds(xt, y, r_), 2 * r_, w,
                                                setup_.height);
        clipped.refWeights = &ref_.columnWeights[static_cast<size_t>(x) * offsets_];
        clipped.targetWeights = &target_.columnWeights[static_cast<size_t>(xt) * offsets_];
        clipped.x = x;
        clipped.xt = xt;
        clipped.jLo = range.jLo;
        clipped.jHi = range.jHi;
        clipped.iLo = range.iLo;
        clipped.iHi = range.iHi;
        double out[18];
        k.clippedSums(clipped, out);
        for (int c = 0; c < 3; ++c) {
          s.colorN[c] = out[3 * c];
          s.colorRefE[c] = out[3 * c + 1];
          s.colorTargetE[c] = out[3 * c + 2];
          s.logChromN[c] = out[3 * (3 + c)];
          s.logChromRefE[c] = out[3 * (3 + c) + 1];
          s.logChromTargetE[c] = out[3 * (3 + c) + 2];
        }
      }
      costs[d] = correlationCost(s, setup_.logChromWeight);
    }
  }
}

}  // namespace orbelt
