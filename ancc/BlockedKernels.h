#pragma once
// The inner loops of the blocked sweep, compiled once per instruction set
// (generic x86-64, AVX2+FMA, AVX-512) into namespaces of their own; the sweep
// picks the widest the processor runs. Everything crosses this boundary as
// plain pointers and numbers, so no inline function is ever compiled with
// wider instructions than the processor has.
//
// The sweep works on tiles of kLanes = 8 neighbouring pixels of one image
// row. A tile holds, for every window offset o = i * n + j (n = 2r+1, row
// offset i outer) and every pixel of the tile, kTilePlanes planes of
// [offset][lane] doubles:
//  - planes 0..5, "products": weight x deviation from the window's mean, for
//    the six signals (colour 0..2, log-chromaticity 0..2); the numerator of a
//    pair whose windows are both whole is the plain dot product of the two
//    pixels' products;
//  - planes 6..11, "weighted values": weight x (value - value of the centre
//    pixel), per signal;
//  - plane 12: the weight itself.
// Weights are normalised over the offsets of the window inside the image;
// offsets outside the image have weight, product and weighted value 0, so a
// dot product over all offsets is a sum over the part both windows have
// inside the image. Planes 6..12 and the column sums are filled only for
// tiles whose pixels are in pairs with a window cut by the left or right
// border (see BlockedRowSweep).

namespace orbelt::kernels {

inline constexpr int kLanes = 8;          // pixels of one tile
inline constexpr int kSignals = 6;        // colour 0..2, log-chromaticity 0..2
inline constexpr int kProductPlane = 0;   // first of the six product planes
inline constexpr int kWeightedPlane = 6;  // first of the six weighted-value planes
inline constexpr int kWeightPlane = 12;   // the weights
inline constexpr int kTilePlanes = 13;
// Per column offset j of a window, sums over its rows of: the weight W, W^2,
// then per signal the weighted value U, U^2 and W U.
inline constexpr int kColumnSums = 2 + 3 * kSignals;
inline constexpr int kPlaneGuide = 0;   // image planes: Lab guide 0..2,
inline constexpr int kPlaneSignal = 3;  // then the six signals
inline constexpr int kImagePlanes = 9;

struct TileStatisticsArgs {
  // Image planes (guide 0..2, colour 0..2, log-chromaticity 0..2): pixel
  // (u, v) at planes[p][v * stride + u]; readable for u in [-pad, width + pad)
  // with pad >= r + kLanes, and rows 0..height-1.
  const double* planes[kImagePlanes] = {};
  long long stride = 0;                   // doubles per padded image row
  int width = 0;                          // image columns
  int r = 0;                              // window half size
  int y = 0;                              // image row
  int iLo = 0, iHi = 0;                   // row offsets of the window inside the image
  int x0 = 0;                             // first column of the tile; lanes past width are left 0
  const double* spatialWeight = nullptr;  // n*n: exp(-squared offset / (2 sigma_s^2)), o = i * n + j
  const double* colorWeight = nullptr;    // exp(-k / (2 sigma_c^2)) for integer squared Lab distance k
  int colorWeightCount = 0;               // entries of colorWeight; larger distances take the last entry
  int firstSignal = 0;                    // first signal to fill: 0, or 3 for log-chromaticity alone
  int signalCount = kSignals;             // signals to fill: 6, or 3; the others are left as they are
  bool weighted = false;                  // also fill planes 6..12 and the column sums
  double* tile = nullptr;                 // out: kTilePlanes x n*n x kLanes
  double* energy = nullptr;               // out: kSignals x kLanes, sum over offsets of products^2
  double* columnSums = nullptr;           // out when weighted: n x kColumnSums x kLanes
  double* scratch = nullptr;              // n x kLanes work space
};

// Dot products over offsets [oLo, oHi) between the vectors of `refCount`
// planes of a reference tile (one result per lane) and `targetCount` planes
// of a target tile at columns c0 .. c0+count-1 of that tile: out[((a *
// targetCount + b) * count + c) * kLanes + lane] = sum over o of
// ref[a][o * kLanes + lane] * target[b][o * kLanes + c0 + c].
struct DotArgs {
  const double* ref[2] = {};     // plane starts in the reference tile
  const double* target[2] = {};  // plane starts in the target tile
  int oLo = 0, oHi = 0;          // offsets summed over, [oLo, oHi)
  int c0 = 0;                    // first target column, within its tile
  int count = 0;                 // target columns, <= blockColumns(refCount * targetCount)
  double* out = nullptr;         // refCount x targetCount x count x kLanes results
};

#define ORBELT_DECLARE_KERNELS(ns)                                       \
  namespace ns {                                                         \
  void tileStatistics(const TileStatisticsArgs& a);                      \
  void dots11(const DotArgs& a); /* one reference, one target plane */   \
  void dots21(const DotArgs& a); /* two reference planes, one target */  \
  void dots12(const DotArgs& a); /* one reference plane, two target */   \
  void dots22(const DotArgs& a);                                         \
  int blockColumns(int products); /* most target columns of one call */  \
  int vectorWidth();                                                     \
  double fmaProbe(long long rounds); /* flops done by a pure FMA loop */ \
  }
ORBELT_DECLARE_KERNELS(generic)
ORBELT_DECLARE_KERNELS(avx2)
ORBELT_DECLARE_KERNELS(avx512)
#undef ORBELT_DECLARE_KERNELS

}  // namespace orbelt::kernels
