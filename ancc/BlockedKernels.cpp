// Compiled three times, with ORBELT_KERNEL_NS naming the variant,
// ORBELT_VECTOR the doubles per vector register and ORBELT_ACCUMULATORS the
// vector registers the dot products may keep as running sums (see
// ancc/CMakeLists.txt). Only plain loops, GCC vector types and the
// processor's gather instruction live here. The gather comes from
// <immintrin.h>, whose functions are always inlined and never emitted on
// their own, so nothing of the wide variants can leak into the rest of the
// program.
#include "ancc/BlockedKernels.h"

#include <cstring>

#if defined(__AVX512F__) || defined(__AVX2__)
#include <immintrin.h>
#endif

#ifndef ORBELT_KERNEL_NS
#error "ORBELT_KERNEL_NS must name the variant"
#endif

namespace orbelt::kernels::ORBELT_KERNEL_NS {

namespace {

constexpr int V = ORBELT_VECTOR;  // doubles per vector
constexpr int VT = kLanes / V;    // vectors per tile row
constexpr int kAccumulators = ORBELT_ACCUMULATORS;
static_assert(kLanes % V == 0, "a tile is a whole number of vectors");
typedef double vec __attribute__((vector_size(V * sizeof(double))));
typedef int ivec __attribute__((vector_size(V * sizeof(int))));

inline vec load(const double* p) {
  vec v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void store(double* p, vec v) { std::memcpy(p, &v, sizeof v); }

inline vec splat(double x) { return vec{} + x; }

// colorWeight[k] per lane; the indices are already clamped to the table.
inline vec lookup(const double* table, ivec k) {
#if defined(__AVX512F__)
  static_assert(V == 8);
  __m256i index;
  std::memcpy(&index, &k, sizeof index);
  // The masked form with a zero source: the plain one reads an undefined
  // register, which the compiler warns about.
  const __m512d g = _mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xFF, index, table, 8);
  vec v;
  std::memcpy(&v, &g, sizeof v);
  return v;
#elif defined(__AVX2__)
  static_assert(V == 4);
  __m128i index;
  std::memcpy(&index, &k, sizeof index);
  const __m256d g =
      _mm256_mask_i32gather_pd(_mm256_setzero_pd(), table, index, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
  vec v;
  std::memcpy(&v, &g, sizeof v);
  return v;
#else
  // Set whole before the lanes are written: GCC cannot see that the loop
  // writes every lane and, at -O1 with the thread sanitizer, warns that the
  // vector may be read uninitialized. The optimizer drops the dead zeros.
  vec v{};
  for (int l = 0; l < V; ++l) v[l] = table[k[l]];
  return v;
#endif
}

// Where one tile's statistics are read from and written to. Local copies of
// the argument record's pointers: the stores could otherwise alias the
// record, and every pointer would be reloaded on every offset. Only the
// signals whose cost counts: signal[s] is signal firstSignal + s.
template <int NS>
struct TilePlanes {
  const double* __restrict guide[3];    // Lab guide planes of the image
  const double* __restrict signal[NS];  // signal planes of the image
  double* __restrict product[NS];       // out: the tile's product planes
  double* __restrict weighted[NS];      // out: the tile's weighted-value planes
  double* __restrict weight;            // out: the tile's weight plane
  int firstSignal;

  explicit TilePlanes(const TileStatisticsArgs& a) : firstSignal(a.firstSignal) {
    const long long planeSize = static_cast<long long>(2 * a.r + 1) * (2 * a.r + 1) * kLanes;
    for (int c = 0; c < 3; ++c) guide[c] = a.planes[kPlaneGuide + c];
    weight = a.tile + kWeightPlane * planeSize;
    for (int s = 0; s < NS; ++s) {
      signal[s] = a.planes[kPlaneSignal + firstSignal + s];
      product[s] = a.tile + (kProductPlane + firstSignal + s) * planeSize;
      weighted[s] = a.tile + (kWeightedPlane + firstSignal + s) * planeSize;
    }
  }
};

// Per vector of the tile: the centre pixels' values, and the running sums
// of the weights and of the weighted values relative to the centre.
template <int NS>
struct TileSums {
  vec weightSum[VT];
  vec centreGuide[3][VT];
  vec centreSignal[NS][VT];
  vec weightedSum[NS][VT];
};

// Starts the sums at the tile's centre pixels. A lane whose pixel lies past
// the image's last column takes no weight at all; its sum starts at 1 so
// that nothing divides by 0.
template <int NS>
[[gnu::always_inline]] inline void startSums(const TileStatisticsArgs& a, const TilePlanes<NS>& in,
                                             TileSums<NS>& sums) {
  const long long centre = static_cast<long long>(a.y) * a.stride + a.x0;
  for (int t = 0; t < VT; ++t) {
    for (int l = 0; l < V; ++l) sums.weightSum[t][l] = a.x0 + t * V + l < a.width ? 0.0 : 1.0;
    for (int c = 0; c < 3; ++c) sums.centreGuide[c][t] = load(in.guide[c] + centre + t * V);
    for (int s = 0; s < NS; ++s) {
      sums.centreSignal[s][t] = load(in.signal[s] + centre + t * V);
      sums.weightedSum[s][t] = vec{};
    }
  }
}

// 1 where column offset j of a lane's window is inside the image, else 0:
// n x kLanes.
[[gnu::always_inline]] inline void fillColumnMask(const TileStatisticsArgs& a, double* __restrict mask) {
  const int n = 2 * a.r + 1;
  for (int j = 0; j < n; ++j)
    for (int l = 0; l < kLanes; ++l) {
      const int x = a.x0 + l, u = x + j - a.r;
      mask[j * kLanes + l] = x < a.width && u >= 0 && u < a.width ? 1.0 : 0.0;
    }
}

// Pass 1: raw weights into the weight plane, and their sums and the sums of
// the weighted values relative to the centre pixel (a channel constant over
// the window then deviates by exactly 0).
template <bool kInterior, int NS>
[[gnu::always_inline]] inline void sumRawWeights(const TileStatisticsArgs& a, const TilePlanes<NS>& in,
                                                 const double* __restrict columnMask, TileSums<NS>& sums) {
  const int r = a.r, n = 2 * r + 1;
  const double* __restrict const spatialWeight = a.spatialWeight;
  const double* __restrict const colorWeight = a.colorWeight;
  const ivec lastColorWeight = ivec{} + (a.colorWeightCount - 1);
  for (int i = a.iLo; i <= a.iHi; ++i) {
    const long long rowStart = static_cast<long long>(a.y - r + i) * a.stride + a.x0 - r;
    for (int j = 0; j < n; ++j) {
      const int offset = i * n + j;
      const vec spatial = splat(spatialWeight[offset]);
      for (int t = 0; t < VT; ++t) {
        const long long at = rowStart + j + t * V;
        const vec d0 = sums.centreGuide[0][t] - load(in.guide[0] + at);
        const vec d1 = sums.centreGuide[1][t] - load(in.guide[1] + at);
        const vec d2 = sums.centreGuide[2][t] - load(in.guide[2] + at);
        // Lab values are integers 0..255: the squared distance is an exact
        // integer, and the table holds exp(-k / (2 sigma_c^2)) for each.
        ivec distance = __builtin_convertvector(d0 * d0 + d1 * d1 + d2 * d2, ivec);
        distance = distance < lastColorWeight ? distance : lastColorWeight;
        vec weight = spatial * lookup(colorWeight, distance);
        if (!kInterior) weight *= load(columnMask + j * kLanes + t * V);
        store(in.weight + offset * kLanes + t * V, weight);
        sums.weightSum[t] += weight;
        for (int s = 0; s < NS; ++s)
          sums.weightedSum[s][t] += weight * (load(in.signal[s] + at) - sums.centreSignal[s][t]);
      }
    }
  }
}

// The window means relative to the centre, and the reciprocal weight sums
// that normalise the weights. The sum holds the centre's weight 1, so it is
// never 0.
template <int NS>
struct WindowMeans {
  vec inverseWeightSum[VT];
  vec mean[NS][VT];
};

template <int NS>
[[gnu::always_inline]] inline WindowMeans<NS> windowMeans(const TileSums<NS>& sums) {
  WindowMeans<NS> means;
  for (int t = 0; t < VT; ++t) {
    means.inverseWeightSum[t] = 1.0 / sums.weightSum[t];
    for (int s = 0; s < NS; ++s) means.mean[s][t] = sums.weightedSum[s][t] / sums.weightSum[t];
  }
  return means;
}

// Pass 2 of an unweighted tile: normalised weights times deviations from the
// mean into the product planes, and their energies.
template <int NS>
[[gnu::always_inline]] inline void writeProducts(const TileStatisticsArgs& a, const TilePlanes<NS>& io,
                                                 const TileSums<NS>& sums, const WindowMeans<NS>& means,
                                                 vec (&energy)[NS][VT]) {
  const int r = a.r, n = 2 * r + 1;
  for (int i = a.iLo; i <= a.iHi; ++i) {
    const long long rowStart = static_cast<long long>(a.y - r + i) * a.stride + a.x0 - r;
    for (int j = 0; j < n; ++j) {
      const int offset = i * n + j;
      for (int t = 0; t < VT; ++t) {
        const long long at = rowStart + j + t * V;
        const int lane = offset * kLanes + t * V;
        const vec normalised = load(io.weight + lane) * means.inverseWeightSum[t];
        for (int s = 0; s < NS; ++s) {
          const vec p = normalised * ((load(io.signal[s] + at) - sums.centreSignal[s][t]) - means.mean[s][t]);
          store(io.product[s] + lane, p);
          energy[s][t] += p * p;
        }
      }
    }
  }
}

// Pass 2 of a weighted tile: as writeProducts, and also the normalised
// weights, the weighted values and, running down each column offset so that
// they stay in registers, the column sums.
template <int NS>
[[gnu::always_inline]] inline void writeProductsAndColumnSums(const TileStatisticsArgs& a, const TilePlanes<NS>& io,
                                                              const TileSums<NS>& sums, const WindowMeans<NS>& means,
                                                              vec (&energy)[NS][VT]) {
  const int r = a.r, n = 2 * r + 1, first = io.firstSignal;
  double* __restrict const columnSums = a.columnSums;
  for (int j = 0; j < n; ++j) {
    for (int t = 0; t < VT; ++t) {
      vec weightSum = vec{}, squaredWeightSum = vec{}, valueSum[NS], squaredValueSum[NS], weightValueSum[NS];
      for (int s = 0; s < NS; ++s) valueSum[s] = squaredValueSum[s] = weightValueSum[s] = vec{};
      for (int i = a.iLo; i <= a.iHi; ++i) {
        const long long at = static_cast<long long>(a.y - r + i) * a.stride + a.x0 - r + j + t * V;
        const int lane = (i * n + j) * kLanes + t * V;
        const vec normalised = load(io.weight + lane) * means.inverseWeightSum[t];
        store(io.weight + lane, normalised);
        weightSum += normalised;
        squaredWeightSum += normalised * normalised;
        for (int s = 0; s < NS; ++s) {
          const vec value = load(io.signal[s] + at) - sums.centreSignal[s][t];
          const vec p = normalised * (value - means.mean[s][t]);
          store(io.product[s] + lane, p);
          energy[s][t] += p * p;
          const vec u = normalised * value;
          store(io.weighted[s] + lane, u);
          valueSum[s] += u;
          squaredValueSum[s] += u * u;
          weightValueSum[s] += normalised * u;
        }
      }
      double* const q = columnSums + j * kColumnSums * kLanes + t * V;
      for (int k = 0; k < kColumnSums; ++k) store(q + k * kLanes, vec{});
      store(q + 0 * kLanes, weightSum);
      store(q + 1 * kLanes, squaredWeightSum);
      for (int s = 0; s < NS; ++s) {
        store(q + (2 + first + s) * kLanes, valueSum[s]);
        store(q + (2 + kSignals + first + s) * kLanes, squaredValueSum[s]);
        store(q + (2 + 2 * kSignals + first + s) * kLanes, weightValueSum[s]);
      }
    }
  }
}

// Window statistics of one tile. Interior: every lane is a pixel of the
// image and its whole window row lies inside, so no lane needs masking.
// Weighted: also the weighted values, the weights and the column sums.
template <bool kInterior, bool kWeighted, int NS>
void tileStatisticsImpl(const TileStatisticsArgs& a) {
  const TilePlanes<NS> planes(a);
  TileSums<NS> sums;
  startSums(a, planes, sums);
  double* __restrict const columnMask = a.scratch;
  if (!kInterior) fillColumnMask(a, columnMask);
  sumRawWeights<kInterior>(a, planes, columnMask, sums);
  const WindowMeans<NS> means = windowMeans(sums);
  vec energy[NS][VT];
  for (int s = 0; s < NS; ++s)
    for (int t = 0; t < VT; ++t) energy[s][t] = vec{};
  if (kWeighted) {
    writeProductsAndColumnSums(a, planes, sums, means, energy);
  } else {
    writeProducts(a, planes, sums, means, energy);
  }
  for (int s = 0; s < NS; ++s)
    for (int t = 0; t < VT; ++t) store(a.energy + (planes.firstSignal + s) * kLanes + t * V, energy[s][t]);
}

// The running sums of one call stay in registers: NA x NB x B x VT vectors.
template <int NA, int NB, int B>
void dotBlock(const DotArgs& a) {
  vec acc[NA][NB][B][VT];
  for (int x = 0; x < NA; ++x)
    for (int y = 0; y < NB; ++y)
      for (int b = 0; b < B; ++b)
        for (int t = 0; t < VT; ++t) acc[x][y][b][t] = vec{};
  const double* rp[NA];
  const double* tp[NB];
  for (int x = 0; x < NA; ++x) rp[x] = a.ref[x] + static_cast<long long>(a.oLo) * kLanes;
  for (int y = 0; y < NB; ++y) tp[y] = a.target[y] + static_cast<long long>(a.oLo) * kLanes + a.c0;
  for (int o = a.oLo; o < a.oHi; ++o) {
    vec rv[NA][VT];
    for (int x = 0; x < NA; ++x)
      for (int t = 0; t < VT; ++t) rv[x][t] = load(rp[x] + t * V);
    for (int y = 0; y < NB; ++y)
      for (int b = 0; b < B; ++b) {
        const double tv = tp[y][b];
        for (int x = 0; x < NA; ++x)
          for (int t = 0; t < VT; ++t) acc[x][y][b][t] += rv[x][t] * tv;
      }
    for (int x = 0; x < NA; ++x) rp[x] += kLanes;
    for (int y = 0; y < NB; ++y) tp[y] += kLanes;
  }
  for (int x = 0; x < NA; ++x)
    for (int y = 0; y < NB; ++y)
      for (int b = 0; b < B; ++b)
        for (int t = 0; t < VT; ++t) store(a.out + ((x * NB + y) * a.count + b) * kLanes + t * V, acc[x][y][b][t]);
}

constexpr int maxBlock(int products) {
  const int b = kAccumulators / (products * VT);
  return b < 1 ? 1 : b > kLanes ? kLanes : b;
}

template <int NA, int NB, int B = 1>
void dotsDispatch(const DotArgs& a) {
  if constexpr (B <= maxBlock(NA * NB)) {
    if (a.count == B) return dotBlock<NA, NB, B>(a);
    return dotsDispatch<NA, NB, B + 1>(a);
  }
}

}  // namespace

template <int NS>
void tileStatisticsFor(const TileStatisticsArgs& a, bool interior) {
  if (interior) return a.weighted ? tileStatisticsImpl<true, true, NS>(a) : tileStatisticsImpl<true, false, NS>(a);
  return a.weighted ? tileStatisticsImpl<false, true, NS>(a) : tileStatisticsImpl<false, false, NS>(a);
}

void tileStatistics(const TileStatisticsArgs& a) {
  const bool interior = a.x0 - a.r >= 0 && a.x0 + kLanes - 1 + a.r <= a.width - 1;
  if (a.signalCount == 3) return tileStatisticsFor<3>(a, interior);
  return tileStatisticsFor<kSignals>(a, interior);
}

void dots11(const DotArgs& a) { dotsDispatch<1, 1>(a); }
void dots21(const DotArgs& a) { dotsDispatch<2, 1>(a); }
void dots12(const DotArgs& a) { dotsDispatch<1, 2>(a); }
void dots22(const DotArgs& a) { dotsDispatch<2, 2>(a); }

int blockColumns(int products) { return maxBlock(products); }

int vectorWidth() { return V; }

double fmaProbe(long long rounds) {
  // Twelve independent chains hide the FMA latency on every variant.
  constexpr int kChains = 12;
  vec acc[kChains];
  for (int k = 0; k < kChains; ++k) acc[k] = splat(1.0 + k * 1e-3);
  const vec f = splat(0.999999), c = splat(1e-6);
  for (long long i = 0; i < rounds; ++i) {
#pragma GCC unroll 12
    for (int k = 0; k < kChains; ++k) acc[k] = acc[k] * f + c;
  }
  double total = 0;
  for (int k = 0; k < kChains; ++k)
    for (int l = 0; l < V; ++l) total += acc[k][l];
  volatile double sink = total;
  (void)sink;
  return double(rounds) * kChains * V * 2.0;
}

}  // namespace orbelt::kernels::ORBELT_KERNEL_NS
