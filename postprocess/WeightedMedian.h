#pragma once
// A weighted median over a disparity map, guided by the reference view: each
// pixel takes the median of its window's disparities, each counted with a
// weight that falls with the colour difference between its pixel and the
// centre in the reference view. It removes isolated wrong matches and snaps
// disparities to the edges of the view, without averaging across them.
#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

struct WeightedMedianOptions {
  int radius = 0;       // half size of the window, pixels; windows are (2r+1)^2. 1..kMaxMedianRadius; no default
  double sigma = 25.5;  // guide colour distance (0..255) where a weight falls to exp(-1/2). Default 25.5

  // Whether the filter can run with these options; otherwise an
  // InvalidInput Error naming the radius as `radiusName` (the front end's
  // word for it, e.g. --median), its value and what is allowed.
  Status check(const char* radiusName = "radius") const;
};

// The largest radius taken: beyond it the window spans most of a Middlebury
// view, and the filter's time and its histogram memory keep growing with no
// gain in a map.
inline constexpr int kMaxMedianRadius = 64;

// Filters `disparity` (CV_32FC1; any value that is not finite is unknown)
// with the weights taken from `guide` (the reference view, CV_8UC1 or
// CV_8UC3, same size). Each known pixel takes the weighted median of the
// known values in its window, which always hold its own. Unknown pixels stay
// unknown (+inf) and take no part in their neighbours' medians, so an
// unknown value can never spread. The filter works on at most 256 distinct
// values: a map with more (sub-pixel disparities) comes back with each value
// taken from about 256 representatives of its own values, steps of roughly
// (largest - smallest) / 256 pixels; integer maps of up to 256 labels are
// filtered exactly. The weight of a window pixel is
// exp(-d^2 / (2 sigma^2)) for its guide difference d from the centre: the
// grey difference of a grey guide, while a colour guide's colours are first
// grouped into representatives, whose differences count instead. Where the
// weights tie (half the window's weight exactly on either side of two
// values) either value may be taken.
// The same inputs always give the same map, whatever the process ran
// before; the calling thread's cv::theRNG() is left as it was.
// Returns a new map; the inputs are not changed. Fails with invalidInput for
// bad options, an empty or non-float map, or a guide of another size or type.
Expected<cv::Mat> weightedMedian(const cv::Mat& disparity, const cv::Mat& guide, const WeightedMedianOptions& options);

}  // namespace orbelt
