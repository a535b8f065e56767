#pragma once
// The inner loops of the blocked sweep, compiled once per instruction set
// (generic x86-64, AVX2+FMA, AVX-512) into namespaces of their own; the sweep
// picks the widest the processor runs. Everything crosses this boundary as
// plain pointers and numbers, so no inline function is ever compiled with
// wider instructions than the processor has.
//
// Layouts, with n = 2r+1 window side, offset o = i * n + j (row offset i
// outer), `stride` doubles per column-indexed row (at least the image width
// plus one vector tile):
//  - weights:  [o][x]       normalised bilateral weight of offset o in the
//                           window of column x
//  - products: [s][x/16][o][x%16]  weight times deviation from the window
//                           mean, for the six signals s (colour 0..2,
//                           log-chrom 0..2), in tiles of 16 columns so that
//                           a tile's run over the offsets is contiguous
//  - energy:   [s][x]       sum over inside offsets of products^2
//  - columnWeights: [x][o]  the weights of selected columns, column-major,
//                           for the pairs recomputed over a common part

namespace orbelt::kernels {

struct RowStatisticsArgs {
  int width = 0;                           // image columns
  int stride = 0;                          // doubles per row of weights/energy/scratch
  int tiles = 0;                           // 16-column tiles of products (covering width + 16)
  int r = 0;                               // window half size
  int y = 0;                               // image row
  int iLo = 0, iHi = 0;                    // row offsets of the window inside the image
  const double* guide[3] = {};             // Lab planes, row-major, `width` per row
  const double* signal[6] = {};            // colour planes 0..2, then log-chromaticity planes 0..2
  const double* spatialWeight = nullptr;   // n*n: exp(-squared offset / (2 sigma_s^2))
  const double* colorWeight = nullptr;     // exp(-k / (2 sigma_c^2)) for integer squared Lab distance k
  int colorWeightCount = 0;                // entries of colorWeight; larger distances take the last entry
  double* weights = nullptr;               // out: n*n x stride
  double* products = nullptr;              // out: 6 x tiles x n*n x 16
  double* energy = nullptr;                // out: 6 x stride
  double* scratch = nullptr;               // 13 x stride work space
  const int* wantedColumns = nullptr;      // columns to copy into columnWeights, ascending
  int wantedCount = 0;                     // entries of wantedColumns
  double* columnWeights = nullptr;         // out: width x (n*n) (+ padding), flagged columns only
};

struct BandArgs {
  const double* refProducts = nullptr;     // products of the reference row
  const double* targetProducts = nullptr;  // products of the target row
  int tiles = 0;                           // 16-column tiles of products
  int offsets = 0;                         // n*n
  int oLo = 0, oHi = 0;                    // offsets inside the image for this row: [oLo, oHi)
  int width = 0;
  int r = 0;
  long long base = 0;                      // baseDisparity
  int labels = 0;
  double* sums = nullptr;                  // out: width x labels x 6 correlation numerators
};

struct ClippedArgs {
  const double* refWeights = nullptr;      // columnWeights of reference column x (n*n, padded)
  const double* targetWeights = nullptr;   // columnWeights of target column xt
  const double* refSignal[6] = {};         // reference signal planes (padded)
  const double* targetSignal[6] = {};      // target signal planes (padded)
  int width = 0;
  int r = 0;
  int x = 0, xt = 0, y = 0;
  int jLo = 0, jHi = 0, iLo = 0, iHi = 0;  // the common part of the two windows
};

// out[18]: for s = 0..5 the numerator N, then E_R, then E_T, signal-major
// (out[3 s + 0..2]).
#define ORBELT_DECLARE_KERNELS(ns)                                  \
  namespace ns {                                                    \
  void rowStatistics(const RowStatisticsArgs& a);                   \
  void bandSums(const BandArgs& a);                                 \
  void clippedSums(const ClippedArgs& a, double* out);              \
  int vectorWidth();                                                \
  }
ORBELT_DECLARE_KERNELS(generic)
ORBELT_DECLARE_KERNELS(avx2)
ORBELT_DECLARE_KERNELS(avx512)
#undef ORBELT_DECLARE_KERNELS

// Doubles of one vector tile, the most any variant reads past a row.
inline constexpr int kMaxTile = 16;

}  // namespace orbelt::kernels
