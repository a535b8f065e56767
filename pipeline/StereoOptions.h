#pragma once
// Everything a disparity run is asked to do: the two engines' options and
// the run's own. The one parameter record of the library core; the front
// ends map their own names (the dialog's StereoParams, the command line's
// flags, the Python keywords) onto it.
#include <optional>

#include "ancc/MatcherOptions.h"
#include "mrf/OptimizerOptions.h"
#include "platform/Expected.h"

namespace orbelt {

// The names check() gives the fields in its messages.
struct StereoFieldNames {
  MatcherFieldNames matcher;
  OptimizerFieldNames optimizer;
  const char* leftRightThreshold = "leftRightThreshold";
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

  // The matcher's check, then the optimizer's, then a left-right threshold
  // that is negative or not finite (InvalidInput, status 2). The first
  // Error found, its fields named as `names` says.
  Status check(const StereoFieldNames& names = {}) const;
};

}  // namespace orbelt
