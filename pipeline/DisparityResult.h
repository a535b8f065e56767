#pragma once
// The labelling of one view and the figures of the run that made it.
#include "pipeline/Labeller.h"

namespace orbelt {

// The labeller's result (labels, costs when kept, passes, flows) with the
// view's size and the matcher's time.
struct DisparityResult : Labelling {
  int width = 0;
  int height = 0;
  double costSeconds = 0.0;  // wall time of the cost volume (0 when the matcher did not run)
};

}  // namespace orbelt
