#pragma once
// The KITTI stereo benchmarks' measures of a disparity map, each over the
// pixels with truth in the noc truth (visible in both views) and in the occ
// truth (all pixels with truth):
//  - D1: the share of outliers, pixels whose error |d - truth| exceeds both
//    3 px and 5 % of the true disparity;
//  - bad 2, 3, 4 and 5: the share of pixels whose error exceeds 2 ... 5 px;
//  - avgErr: the mean error.
//
// Unknown pixels (non-finite) are filled before anything is measured, as the
// benchmarks fill a sparse result: each takes the lower of the nearest known
// disparities to its left and right on its row (the background side;
// postprocess/BackgroundFill.h). The share of known pixels before the fill
// is reported as the density. Only a pixel on a row without any known one
// stays unknown: it counts as an outlier and bad at every threshold, and is
// left out of avgErr.
#include <array>
#include <cstdint>

#include <opencv2/core.hpp>

#include "eval/KittiFrames.h"
#include "platform/Expected.h"

namespace orbelt {

inline constexpr std::array<double, 4> kKittiThresholds = {2.0, 3.0, 4.0, 5.0};  // px
inline constexpr double kKittiOutlierPixels = 3.0;                               // D1: error above this ...
inline constexpr double kKittiOutlierShare = 0.05;                               // ... and above this x truth

struct KittiRegionScore {
  std::int64_t evaluated = 0;   // pixels with truth in the region
  std::int64_t unknown = 0;     // of them, those still unknown after the fill
  double d1 = 0;                // % of `evaluated` that are outliers
  std::array<double, 4> bad{};  // % with an error above kKittiThresholds[i]
  double avgErr = 0;            // mean error over the pixels with a disparity after the fill, px
};

struct KittiScore {
  double density = 0;    // % of the map's pixels known before the fill
  bool hasNoc = false;   // a noc truth was given
  bool hasOcc = false;   // an occ truth was given
  KittiRegionScore noc;  // pixels with truth in `truth.noc`
  KittiRegionScore occ;  // pixels with truth in `truth.occ`
};

// Scores `disparity` (CV_32FC1, pixels, non-finite = unknown) against the
// frame's truths (either may be empty, not both). Fails with InvalidInput
// when the map is not CV_32FC1 or a truth is not CV_32FC1 of its size.
Expected<KittiScore> scoreKitti(const cv::Mat& disparity, const KittiTruth& truth);

}  // namespace orbelt
