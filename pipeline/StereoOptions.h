#pragma once
// Everything a disparity run is asked to do: the two engines' options and
// the run's own. The one parameter record of the library core; the front
// ends map their own names (the dialog's StereoParams, the command line's
// flags, the Python keywords) onto it.
#include <optional>

#include "ancc/MatcherOptions.h"
#include "mrf/OptimizerOptions.h"
#include "platform/Expected.h"
#include "postprocess/MapRefinement.h"

namespace orbelt {

// The names check() gives the fields in its messages.
struct StereoFieldNames {
  MatcherFieldNames matcher;
  OptimizerFieldNames optimizer;
  const char* leftRightThreshold = "leftRightThreshold";
  const char* fill = "fill";
  const char* medianRadius = "medianRadius";
};

struct StereoOptions {
  MatcherOptions matcher;      // the cost volume (its threads included)
  OptimizerOptions optimizer;  // the labelling (its seed included)
  bool computeCosts = true;    // false: the matcher does not run, every cost is 0 and the smoothness term alone
                               // decides (the dialog with no colour space chosen). Default true
  bool keepCosts = false;      // return the flat costs, (y * width + x) * labels + label. Default false
  bool subpixel = false;       // refine the float disparities by a parabola through each pixel's cost and its
                               // two neighbours' (at most +-0.5 px). Default false
  std::optional<double> leftRightThreshold;  // also label the right view and mark unknown every pixel whose two
                                             // disparities differ by more than this, pixels, 0 or more. Default
                                             // none (no check)
  bool fill = false;  // with the check: give each pixel it leaves unknown the lower of the nearest consistent
                      // disparities to its left and right on its row (the background side); a row with none
                      // stays unknown. Default false
  std::optional<int> medianRadius;  // a weighted median of this radius over the float disparities, guided by the
                                    // left view, after the fill; unknown pixels stay unknown. 1 to
                                    // kMaxMedianRadius pixels. Default none (no median)

  // Threads of the whole run: the cost sweep's and every expansion move's
  // (0: one per hardware thread). Neither result depends on it.
  void useThreads(int threads) {
    matcher.threadCount = threads;
    optimizer.threadCount = threads;
  }

  // The check, the fill and the median as the post-processing takes them
  // (refineDisparityMap applies them in that order).
  RefinementOptions refinement() const;

  // The matcher's check, then the optimizer's, then a left-right threshold
  // that is negative or not finite, fill without the check, a median radius
  // outside 1..kMaxMedianRadius (InvalidInput, status 2). The first Error
  // found, its fields named as `names` says.
  Status check(const StereoFieldNames& names = {}) const;
};

}  // namespace orbelt
