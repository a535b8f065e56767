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
  vec v;
  for (int l = 0; l < V; ++l) v[l] = table[k[l]];
  return v;
#endif
}

// Window statistics of one tile. Interior: every lane is a pixel of the
// image and its whole window row lies inside, so no lane needs masking.
// Weighted: also the weighted values, the weights and the column sums.
template <bool kInterior, bool kWeighted, int NS>
void tileStatisticsImpl(const TileStatisticsArgs& a) {
  const int r = a.r, n = 2 * r + 1, offsets = n * n, w = a.width, x0 = a.x0;
  const long long st = a.stride;
  const long long centre = static_cast<long long>(a.y) * st + x0;
  // Local copies: the stores below could otherwise alias the argument
  // record, and every pointer would be reloaded on every offset.
  const double* __restrict g0 = a.planes[kPlaneGuide + 0];
  const double* __restrict g1 = a.planes[kPlaneGuide + 1];
  const double* __restrict g2 = a.planes[kPlaneGuide + 2];
  // Only the signals whose cost counts: sig[s] is signal a.firstSignal + s.
  const int first = a.firstSignal;
  const double* __restrict sig[NS];
  double* __restrict prod[NS];
  double* __restrict weighted[NS];
  for (int s = 0; s < NS; ++s) {
    sig[s] = a.planes[kPlaneSignal + first + s];
    prod[s] = a.tile + static_cast<long long>(kProductPlane + first + s) * offsets * kLanes;
    weighted[s] = a.tile + static_cast<long long>(kWeightedPlane + first + s) * offsets * kLanes;
  }
  double* __restrict const W = a.tile + static_cast<long long>(kWeightPlane) * offsets * kLanes;
  const double* __restrict const spatialWeight = a.spatialWeight;
  const double* __restrict const colorWeight = a.colorWeight;
  const ivec lutLast = ivec{} + (a.colorWeightCount - 1);
  double* __restrict const mask = a.scratch;

  // A lane whose pixel lies past the image's last column takes no weight at
  // all; its sum starts at 1 so that nothing divides by 0.
  vec sum[VT], gc[3][VT], cs[NS][VT], m[NS][VT];
  for (int t = 0; t < VT; ++t) {
    for (int l = 0; l < V; ++l) sum[t][l] = x0 + t * V + l < w ? 0.0 : 1.0;
    gc[0][t] = load(g0 + centre + t * V);
    gc[1][t] = load(g1 + centre + t * V);
    gc[2][t] = load(g2 + centre + t * V);
    for (int s = 0; s < NS; ++s) {
      cs[s][t] = load(sig[s] + centre + t * V);
      m[s][t] = vec{};
    }
  }
  if (!kInterior) {
    for (int j = 0; j < n; ++j)
      for (int l = 0; l < kLanes; ++l) {
        const int x = x0 + l, u = x + j - r;
        mask[j * kLanes + l] = x < w && u >= 0 && u < w ? 1.0 : 0.0;
      }
  }

  // Pass 1: raw weights and weighted sums of the values relative to the
  // centre pixel (a channel constant over the window then deviates by
  // exactly 0).
  for (int i = a.iLo; i <= a.iHi; ++i) {
    const long long rowStart = static_cast<long long>(a.y - r + i) * st + x0 - r;
    for (int j = 0; j < n; ++j) {
      const int o = i * n + j;
      const vec spatial = splat(spatialWeight[o]);
      for (int t = 0; t < VT; ++t) {
        const long long at = rowStart + j + t * V;
        const vec d0 = gc[0][t] - load(g0 + at);
        const vec d1 = gc[1][t] - load(g1 + at);
        const vec d2 = gc[2][t] - load(g2 + at);
        // Lab values are integers 0..255: the squared distance is an exact
        // integer, and the table holds exp(-k / (2 sigma_c^2)) for each.
        ivec k = __builtin_convertvector(d0 * d0 + d1 * d1 + d2 * d2, ivec);
        k = k < lutLast ? k : lutLast;
        vec wt = spatial * lookup(colorWeight, k);
        if (!kInterior) wt *= load(mask + j * kLanes + t * V);
        store(W + o * kLanes + t * V, wt);
        sum[t] += wt;
        for (int s = 0; s < NS; ++s) m[s][t] += wt * (load(sig[s] + at) - cs[s][t]);
      }
    }
  }

  // The sum holds the centre's weight 1, so it is never 0.
  vec inv[VT], mu[NS][VT], e[NS][VT];
  for (int t = 0; t < VT; ++t) {
    inv[t] = 1.0 / sum[t];
    for (int s = 0; s < NS; ++s) {
      mu[s][t] = m[s][t] / sum[t];
      e[s][t] = vec{};
    }
  }

  // Pass 2: normalised weights, products, energies; for weighted tiles also
  // the weighted values and, running down each column offset so that they
  // stay in registers, the column sums.
  if (kWeighted) {
    double* __restrict const columnSums = a.columnSums;
    for (int j = 0; j < n; ++j) {
      for (int t = 0; t < VT; ++t) {
        vec q0 = vec{}, q1 = vec{}, qu[NS], quu[NS], qwu[NS];
        for (int s = 0; s < NS; ++s) qu[s] = quu[s] = qwu[s] = vec{};
        for (int i = a.iLo; i <= a.iHi; ++i) {
          const long long at = static_cast<long long>(a.y - r + i) * st + x0 - r + j + t * V;
          const int lane = (i * n + j) * kLanes + t * V;
          const vec wn = load(W + lane) * inv[t];
          store(W + lane, wn);
          q0 += wn;
          q1 += wn * wn;
          for (int s = 0; s < NS; ++s) {
            const vec value = load(sig[s] + at) - cs[s][t];
            const vec p = wn * (value - mu[s][t]);
            store(prod[s] + lane, p);
            e[s][t] += p * p;
            const vec u = wn * value;
            store(weighted[s] + lane, u);
            qu[s] += u;
            quu[s] += u * u;
            qwu[s] += wn * u;
          }
        }
        double* const q = columnSums + j * kColumnSums * kLanes + t * V;
        for (int k = 0; k < kColumnSums; ++k) store(q + k * kLanes, vec{});
        store(q + 0 * kLanes, q0);
        store(q + 1 * kLanes, q1);
        for (int s = 0; s < NS; ++s) {
          store(q + (2 + first + s) * kLanes, qu[s]);
          store(q + (2 + kSignals + first + s) * kLanes, quu[s]);
          store(q + (2 + 2 * kSignals + first + s) * kLanes, qwu[s]);
        }
      }
    }
  } else {
    for (int i = a.iLo; i <= a.iHi; ++i) {
      const long long rowStart = static_cast<long long>(a.y - r + i) * st + x0 - r;
      for (int j = 0; j < n; ++j) {
        const int o = i * n + j;
        for (int t = 0; t < VT; ++t) {
          const long long at = rowStart + j + t * V;
          const int lane = o * kLanes + t * V;
          const vec wn = load(W + lane) * inv[t];
          for (int s = 0; s < NS; ++s) {
            const vec p = wn * ((load(sig[s] + at) - cs[s][t]) - mu[s][t]);
            store(prod[s] + lane, p);
            e[s][t] += p * p;
          }
        }
      }
    }
  }
  for (int s = 0; s < NS; ++s)
    for (int t = 0; t < VT; ++t) store(a.energy + (first + s) * kLanes + t * V, e[s][t]);
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
