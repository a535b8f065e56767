#pragma once
// The Middlebury 2014 benchmark's measures of a disparity map, each over the
// pixels visible in both views (nonocc: mask 255) and over all pixels with
// truth (all: mask 255 or 128):
//  - bad 0.5, 1, 2 and 4: the share of pixels whose error |d - truth|
//    exceeds the threshold;
//  - avgErr and rms: the mean and root mean square of the errors;
//  - A50, A90, A95 and A99: the error below or at which 50, 90, 95 and 99 %
//    of the pixels lie (the nearest-rank quantile: the k-th smallest error,
//    k = ceil(q N)).
// A pixel has truth where the truth is finite and the mask is not 0.
//
// Pixels the map leaves unknown (non-finite) are scored as they are, not
// filled: they count as bad at every threshold, rank above every known
// error in the quantiles (a quantile that falls among them is +inf), and,
// having no error, are left out of avgErr and rms, whose counts of unknown
// pixels stand beside them. A map with holes therefore scores worse in bad
// and the quantiles, never better.
#include <array>
#include <cstdint>

#include <opencv2/core.hpp>

#include "eval/Middlebury2014Set.h"
#include "platform/Expected.h"

namespace orbelt {

inline constexpr std::array<double, 4> kMiddlebury2014Thresholds = {0.5, 1.0, 2.0, 4.0};  // px
inline constexpr std::array<double, 4> kMiddlebury2014Quantiles = {50, 90, 95, 99};       // %

struct Middlebury2014RegionScore {
  std::int64_t evaluated = 0;         // pixels of the region with truth
  std::int64_t unknown = 0;           // of them, those the map leaves unknown
  std::array<double, 4> bad{};        // % of `evaluated` with an error above kMiddlebury2014Thresholds[i] (or unknown)
  double avgErr = 0;                  // mean error over the known pixels, px
  double rms = 0;                     // root mean square error over the known pixels, px
  std::array<double, 4> quantiles{};  // error at kMiddlebury2014Quantiles[i] %, px (+inf among unknown pixels)
};

struct Middlebury2014Score {
  bool hasNonocc = false;            // false when the set has no mask: only `all` is scored
  Middlebury2014RegionScore nonocc;  // mask 255 with truth
  Middlebury2014RegionScore all;     // every pixel with truth (mask 255 or 128, or no mask)
};

// Scores `disparity` (CV_32FC1, pixels, non-finite = unknown) against the
// set's truth. Fails with InvalidInput when the map is not CV_32FC1 of the
// truth's size, or the mask is neither empty nor 8-bit grey of that size.
Expected<Middlebury2014Score> scoreMiddlebury2014(const cv::Mat& disparity, const Middlebury2014Truth& truth);

}  // namespace orbelt
