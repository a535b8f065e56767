#pragma once
// Everything a disparity run is asked to do: the two engines' options and
// the run's own. The one parameter record of the library core: every front
// end fills it directly, and names its fields in its own words
// (StereoFieldNames) so a refusal names what its user typed.
#include <optional>
#include <string_view>

#include "ancc/MatcherOptions.h"
#include "mrf/OptimizerOptions.h"
#include "platform/Expected.h"
#include "postprocess/MapRefinement.h"

namespace orbelt {

// The names check() gives the fields in its messages: the library's own by
// default; the dialog passes its labels ("SigmaS"), the command line its
// flags ("--sigma-s"), the Python module its keywords ("sigma_s").
struct StereoFieldNames {
  MatcherFieldNames matcher;
  OptimizerFieldNames optimizer;
  const char* leftRightThreshold = "leftRightThreshold";
  const char* fill = "fill";
  const char* medianRadius = "medianRadius";
};

// Every front end takes the smoothness weight per unit of correlation (the
// dialog's Lambda, --lambda, lambda_); the matcher's costs are
// kCostPerCorrelation (30) per unit of it, so the optimizer's weight is that
// x 30, formed in double and rounded once to float (0.033 gives exactly
// 0.99, OptimizerOptions' default).
inline constexpr float kDefaultLambda = 0.033f;
float smoothnessWeightOf(float lambda);

// The matcher's blend a colour-mode word stands for: "logchrom" 1
// (log-chromaticity alone), "rgb" 0 (the colour values alone). Otherwise
// InvalidInput naming the word as `name` calls it and the two it may be.
Expected<float> logChromWeightOfMode(std::string_view mode, const char* name);

struct StereoOptions {
  MatcherOptions matcher;      // the cost volume (its threads included)
  OptimizerOptions optimizer;  // the labelling (its seed included)
  bool computeCosts = true;    // false: the matcher does not run, every cost is 0 and the smoothness term alone
                               // decides (the dialog with no colour space chosen). Default true
  bool keepCosts = false;      // return the flat costs, (y * width + x) * labels + label. Default false
  bool costsOnly = false;      // stop after the cost volume: the flat costs are returned and nothing is labelled
                               // (no labels, no map; the refinements must be off). Default false
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

  // The matcher's check, then the optimizer's, then the refinements' (a
  // left-right threshold that is negative or not finite, fill without the
  // check, a median radius outside 1..kMaxMedianRadius), then costsOnly with
  // any refinement (InvalidInput). The first Error found, its fields
  // named as `names` says.
  Status check(const StereoFieldNames& names = {}) const;
};

}  // namespace orbelt
