#pragma once
// Filling the holes the left-right check leaves. Most of them are occlusions:
// surfaces the right camera cannot see because something nearer hides them.
// Such a pixel lies on the farther surface beside the edge, and the farther
// surface has the lower disparity. So a hole takes the lower of the two
// trusted disparities that bound it on its row, not their mean, which would
// invent a depth between the two surfaces.
#include <cstddef>

#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

struct BackgroundFillSummary {
  std::size_t filled = 0;   // unknown pixels that received a disparity
  std::size_t unknown = 0;  // pixels still unknown: every pixel of a row without a known one
};

// Fills, in place, every unknown pixel of `disparity` (CV_32FC1; any value
// that is not finite is unknown) with the lower of the nearest known values
// to its left and to its right on the same row. A hole at the start or end
// of a row, bounded on one side only, takes that side's value. A row with no
// known pixel stays unknown, as it was. Known pixels are never changed.
// Fails with invalidInput when `disparity` is empty or not CV_32FC1; the map
// is then untouched.
Expected<BackgroundFillSummary> fillFromBackground(cv::Mat& disparity);

}  // namespace orbelt
