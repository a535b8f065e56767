#pragma once
// The opt-in refinements of a finished map, in the order they run: the
// left-right check makes the pixels whose two views disagree unknown, the
// background fill gives each of them the farther of its row's neighbours, and
// the guided weighted median cleans what is left. One record holds the
// choices every front end offers, and one function applies them, so the
// command line and the Python module refine a map the same way.
#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/Expected.h"
#include "postprocess/BackgroundFill.h"
#include "postprocess/WeightedMedian.h"

namespace orbelt {

// The names check() gives the options in its messages: the defaults are the
// library's words; the command line passes its flags, the Python module its
// keywords.
struct RefinementFieldNames {
  const char* lrCheck = "leftRightThreshold";
  const char* fill = "fill";
  const char* medianRadius = "medianRadius";
};

struct RefinementOptions {
  bool lrCheck = false;      // compute the right view's map too; pixels it contradicts become unknown. Default off
  double lrThreshold = 1.0;  // largest |d_left - d_right| that passes the check, pixels, finite, >= 0. Default 1
  bool fill = false;         // fill the check's unknown pixels from the background side; needs lrCheck. Default off
  std::optional<int> medianRadius = std::nullopt;  // guided weighted median radius, 1..kMaxMedianRadius; none = off

  // Whether these choices can run; otherwise an InvalidInput Error naming
  // the option as `names` calls it, its value and what is allowed. Refused:
  // a threshold that is negative or not finite; fill without the check
  // (without it no pixel is unknown, so there would be nothing to fill); a
  // median radius outside 1..kMaxMedianRadius.
  Status check(const RefinementFieldNames& names = {}) const;

  // Whether the map needs anything beyond the left view's labels.
  bool any() const { return lrCheck || fill || medianRadius.has_value(); }
};

struct RefinedMap {
  cv::Mat disparity;                     // CV_32FC1, pixels; +inf where unknown
  std::vector<std::uint8_t> consistent;  // per pixel: 1 passed the check, 0 failed; empty without the check
  std::size_t consistentCount = 0;       // pixels that passed the check (every pixel without it)
  BackgroundFillSummary fill;            // what the fill did; zero without it
  double checkSeconds = 0.0;             // wall time of the comparison of the two maps (not the right view's run)
  double fillSeconds = 0.0;              // wall time of the fill
  double medianSeconds = 0.0;            // wall time of the median
};

// The float map of a labelling (width x height, row-major, disparity = base
// + label, plus `offsets` when given) after the refinements `options` asks
// for. `rightLabels` are the right view's labels at the right view's own
// columns (mirrorLabels of the mirrored run); they are needed with the check
// and not read without it. `guide` is the left view (8-bit, 1 or 3
// channels), read only by the median. The check's unknown pixels, when not
// filled, stay unknown through the median; a row without any consistent
// pixel stays unknown even with the fill.
// Fails with invalidInput when the options do not pass check() or a size
// does not fit.
Expected<RefinedMap> refineDisparityMap(const std::vector<int>& labels, const std::vector<int>* rightLabels, int width,
                                        int height, int baseDisparity, const std::vector<float>* offsets,
                                        const cv::Mat& guide, const RefinementOptions& options);

}  // namespace orbelt
