// Compiled three times, with ORBELT_KERNEL_NS naming the variant,
// ORBELT_VECTOR the doubles per vector register and ORBELT_BLOCK the
// reference columns of one band tile (see ancc/CMakeLists.txt). Only plain
// loops and GCC vector types live here; nothing from a header with inline
// code, so nothing of the wide variants can leak into the rest of the
// program.
#include <cstring>

#include "ancc/BlockedKernels.h"

#ifndef ORBELT_KERNEL_NS
#error "ORBELT_KERNEL_NS must name the variant"
#endif

namespace orbelt::kernels::ORBELT_KERNEL_NS {

namespace {

constexpr int V = ORBELT_VECTOR;  // doubles per vector
constexpr int T = 2 * V;          // target columns of a band tile
constexpr int B = ORBELT_BLOCK;   // reference columns of a band tile
typedef double vec __attribute__((vector_size(V * sizeof(double))));

inline vec load(const double* p) {
  vec v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline double lanes(vec v) {
  double s = 0;
  for (int l = 0; l < V; ++l) s += v[l];
  return s;
}

// Multiplies away lanes l >= count.
inline vec tailMask(int count) {
  vec m;
  for (int l = 0; l < V; ++l) m[l] = l < count ? 1.0 : 0.0;
  return m;
}

}  // namespace

int vectorWidth() { return V; }

// Products are stored in tiles of kMaxTile columns: for signal s, offset o
// and column x the element ((s * tiles + x / L) * offsets + o) * L + x % L,
// so the band loops below stream one contiguous run per tile.
constexpr int L = kMaxTile;
static_assert(L % T == 0 && L % B == 0, "vector tiles must divide the storage tile");

inline long long productIndex(int s, int o, int x, int tiles, int offsets) {
  return ((static_cast<long long>(s) * tiles + x / L) * offsets + o) * L + x % L;
}

inline void store(double* p, vec v) { std::memcpy(p, &v, sizeof v); }

void rowStatistics(const RowStatisticsArgs& a) {
  const int w = a.width, st = a.stride, r = a.r, n = 2 * r + 1, offsets = n * n, tiles = a.tiles;
  double* __restrict sum = a.scratch;
  double* mean[6];
  const double* centre[6];
  for (int s = 0; s < 6; ++s) {
    mean[s] = a.scratch + (1 + s) * st;
    centre[s] = a.signal[s] + static_cast<long long>(a.y) * w;
  }
  const double* gc0 = a.guide[0] + static_cast<long long>(a.y) * w;
  const double* gc1 = a.guide[1] + static_cast<long long>(a.y) * w;
  const double* gc2 = a.guide[2] + static_cast<long long>(a.y) * w;
  for (int x = 0; x < w; ++x) sum[x] = 0;
  for (int s = 0; s < 6; ++s)
    for (int x = 0; x < w; ++x) mean[s][x] = 0;

  // Pass 1: raw weights and weighted sums of the values relative to the
  // centre pixel (a channel constant over the window then deviates by
  // exactly 0), every column of the row at once. Columns run in vectors
  // aligned to V, with scalar heads and tails for the clipped ends.
  for (int i = a.iLo; i <= a.iHi; ++i) {
    const long long v = a.y - r + i;
    for (int j = 0; j < n; ++j) {
      const int o = i * n + j, du = j - r;
      const int x0 = du < 0 ? -du : 0, x1 = du > 0 ? w - du : w;
      const double spatial = a.spatialWeight[o];
      double* wrow = a.weights + static_cast<long long>(o) * st;
      const double* lut = a.colorWeight;
      const int lutLast = a.colorWeightCount - 1;
      const double* g0 = a.guide[0] + v * w + du;
      const double* g1 = a.guide[1] + v * w + du;
      const double* g2 = a.guide[2] + v * w + du;
      const double* sig[6];
      for (int s = 0; s < 6; ++s) sig[s] = a.signal[s] + v * w + du;
      auto scalar = [&](int x) {
        const double d0 = gc0[x] - g0[x], d1 = gc1[x] - g1[x], d2 = gc2[x] - g2[x];
        const int k = static_cast<int>(d0 * d0 + d1 * d1 + d2 * d2);
        const double wt = spatial * lut[k < lutLast ? k : lutLast];
        wrow[x] = wt;
        sum[x] += wt;
      };
      int x = x0;
      for (; x < x1 && x % V != 0; ++x) scalar(x);
      for (; x + V <= x1; x += V) {
        const vec d0 = load(gc0 + x) - load(g0 + x), d1 = load(gc1 + x) - load(g1 + x),
                  d2 = load(gc2 + x) - load(g2 + x);
        const vec dist = d0 * d0 + d1 * d1 + d2 * d2;
        vec cw;
        for (int l = 0; l < V; ++l) {
          const int k = static_cast<int>(dist[l]);
          cw[l] = lut[k < lutLast ? k : lutLast];
        }
        const vec wt = spatial * cw;
        store(wrow + x, wt);
        store(sum + x, load(sum + x) + wt);
      }
      for (; x < x1; ++x) scalar(x);
      // Then the six weighted sums, one signal at a time.
      for (int s = 0; s < 6; ++s) {
        const double* __restrict sg = sig[s];
        const double* __restrict c = centre[s];
        double* __restrict m = mean[s];
        x = x0;
        for (; x < x1 && x % V != 0; ++x) m[x] += wrow[x] * (sg[x] - c[x]);
        for (; x + V <= x1; x += V) store(m + x, load(m + x) + load(wrow + x) * (load(sg + x) - load(c + x)));
        for (; x < x1; ++x) m[x] += wrow[x] * (sg[x] - c[x]);
      }
    }
  }
  // The sum holds the centre's weight 1, so it is never 0.
  for (int s = 0; s < 6; ++s)
    for (int x = 0; x < w; ++x) mean[s][x] /= sum[x];
  for (int s = 0; s < 6; ++s)
    for (int x = 0; x < w; ++x) a.energy[s * st + x] = 0;

  // Pass 2: normalised weights, weight x deviation, energies.
  for (int i = a.iLo; i <= a.iHi; ++i) {
    const long long v = a.y - r + i;
    for (int j = 0; j < n; ++j) {
      const int o = i * n + j, du = j - r;
      const int x0 = du < 0 ? -du : 0, x1 = du > 0 ? w - du : w;
      double* wrow = a.weights + static_cast<long long>(o) * st;
      const double* sig[6];
      for (int s = 0; s < 6; ++s) sig[s] = a.signal[s] + v * w + du;
      // One signal at a time keeps the live pointers few (no spills) and
      // every store a contiguous run inside one product tile.
      for (int x = x0; x < x1; ++x) wrow[x] /= sum[x];
      for (int s = 0; s < 6; ++s) {
        const double* __restrict sg = sig[s];
        const double* __restrict c = centre[s];
        const double* __restrict m = mean[s];
        double* __restrict e = a.energy + s * st;
        double* prodBase = a.products + productIndex(s, o, 0, tiles, offsets);
        const long long tileStep = static_cast<long long>(offsets) * L;
        auto product = [&](int x) -> double& { return prodBase[(x / L) * tileStep + x % L]; };
        int x = x0;
        for (; x < x1 && x % V != 0; ++x) {
          const double p = wrow[x] * ((sg[x] - c[x]) - m[x]);
          product(x) = p;
          e[x] += p * p;
        }
        for (; x + V <= x1; x += V) {
          const vec p = load(wrow + x) * ((load(sg + x) - load(c + x)) - load(m + x));
          store(&product(x), p);
          store(e + x, load(e + x) + p * p);
        }
        for (; x < x1; ++x) {
          const double p = wrow[x] * ((sg[x] - c[x]) - m[x]);
          product(x) = p;
          e[x] += p * p;
        }
      }
      for (int k = 0; k < a.wantedCount; ++k) {
        const int c = a.wantedColumns[k];
        if (c >= x0 && c < x1) a.columnWeights[static_cast<long long>(c) * offsets + o] = wrow[c];
      }
    }
  }
}

void bandSums(const BandArgs& a) {
  const int w = a.width, r = a.r, labels = a.labels, tiles = a.tiles, offsets = a.offsets;
  const int validLo = r, validHi = w - 1 - r;  // columns whose window row is wholly inside
  if (validLo > validHi || labels <= 0) return;
  for (int s = 0; s < 6; ++s) {
    for (int xb = validLo / B * B; xb <= validHi; xb += B) {
      const int xFirst = xb < validLo ? validLo : xb;
      const int xLast = xb + B - 1 < validHi ? xb + B - 1 : validHi;
      // Targets of the block's labels, kept to columns with whole windows.
      long long lo = xFirst - a.base - (labels - 1), hi = xLast - a.base;
      if (lo < validLo) lo = validLo;
      if (hi > validHi) hi = validHi;
      if (lo > hi) continue;
      const double* bp0 = a.refProducts + productIndex(s, a.oLo, xb, tiles, offsets);
      for (long long t0 = lo / T * T; t0 <= hi; t0 += T) {
        vec acc[B][2];
        for (int k = 0; k < B; ++k) acc[k][0] = acc[k][1] = vec{};
        const double* ap = a.targetProducts + productIndex(s, a.oLo, static_cast<int>(t0), tiles, offsets);
        const double* bp = bp0;
        for (int o = a.oLo; o < a.oHi; ++o, ap += L, bp += L) {
          const vec a0 = load(ap), a1 = load(ap + V);
#pragma GCC unroll 16
          for (int k = 0; k < B; ++k) {
            acc[k][0] += a0 * bp[k];
            acc[k][1] += a1 * bp[k];
          }
        }
        for (int k = 0; k < B; ++k) {
          const int x = xb + k;
          if (x < xFirst || x > xLast) continue;
          for (int l = 0; l < T; ++l) {
            const long long xt = t0 + l;
            if (xt < lo || xt > hi) continue;
            const long long d = x - a.base - xt;
            if (d < 0 || d >= labels) continue;
            a.sums[(static_cast<long long>(x) * labels + d) * 6 + s] = acc[k][l / V][l % V];
          }
        }
      }
    }
  }
}

void clippedSums(const ClippedArgs& a, double* out) {
  const int n = 2 * a.r + 1, w = a.width;
  const int span = a.jHi - a.jLo + 1;
  const vec mask = tailMask(span % V == 0 ? V : span % V);
  double refCentre[6], targetCentre[6];
  for (int s = 0; s < 6; ++s) {
    refCentre[s] = a.refSignal[s][static_cast<long long>(a.y) * w + a.x];
    targetCentre[s] = a.targetSignal[s][static_cast<long long>(a.y) * w + a.xt];
  }

  // Pass 1: weight sums and centre-relative weighted sums over the common part.
  vec sr{}, stt{}, mr[6] = {}, mt[6] = {};
  for (int i = a.iLo; i <= a.iHi; ++i) {
    const long long v = a.y - a.r + i;
    const double* wr = a.refWeights + i * n;
    const double* wt = a.targetWeights + i * n;
    for (int j = a.jLo; j <= a.jHi; j += V) {
      const vec m = a.jHi - j + 1 >= V ? vec{} + 1.0 : mask;
      const vec vr = load(wr + j) * m, vt = load(wt + j) * m;
      sr += vr;
      stt += vt;
      for (int s = 0; s < 6; ++s) {
        mr[s] += vr * (load(a.refSignal[s] + v * w + a.x - a.r + j) - refCentre[s]);
        mt[s] += vt * (load(a.targetSignal[s] + v * w + a.xt - a.r + j) - targetCentre[s]);
      }
    }
  }
  const double refSum = lanes(sr), targetSum = lanes(stt);
  double refMean[6], targetMean[6];
  for (int s = 0; s < 6; ++s) {
    refMean[s] = lanes(mr[s]) / refSum;
    targetMean[s] = lanes(mt[s]) / targetSum;
  }

  // Pass 2: numerators and energies under the weights renormalised to the
  // common part.
  vec num[6] = {}, er[6] = {}, et[6] = {};
  for (int i = a.iLo; i <= a.iHi; ++i) {
    const long long v = a.y - a.r + i;
    const double* wr = a.refWeights + i * n;
    const double* wt = a.targetWeights + i * n;
    for (int j = a.jLo; j <= a.jHi; j += V) {
      const vec m = a.jHi - j + 1 >= V ? vec{} + 1.0 : mask;
      const vec vr = load(wr + j) * m / refSum, vt = load(wt + j) * m / targetSum;
      for (int s = 0; s < 6; ++s) {
        const vec pa = vr * ((load(a.refSignal[s] + v * w + a.x - a.r + j) - refCentre[s]) - refMean[s]);
        const vec pb = vt * ((load(a.targetSignal[s] + v * w + a.xt - a.r + j) - targetCentre[s]) - targetMean[s]);
        num[s] += pa * pb;
        er[s] += pa * pa;
        et[s] += pb * pb;
      }
    }
  }
  for (int s = 0; s < 6; ++s) {
    out[3 * s + 0] = lanes(num[s]);
    out[3 * s + 1] = lanes(er[s]);
    out[3 * s + 2] = lanes(et[s]);
  }
}

}  // namespace orbelt::kernels::ORBELT_KERNEL_NS
