#pragma once
// The matching cost written straight from its definition, for checking the
// matcher: no caches, no reuse between labels, every sum over exactly the
// offsets at which both windows lie inside the image, in double precision.
#include "ancc/ColorTransform.h"

namespace orbelt::testing {

struct ReferenceParams {
  int halfWinSize = 2;          // r
  float spatialSigma = 14.0f;   // sigma of the spatial weight
  float colorSigma = 3.8f;      // sigma of the Lab-distance weight
  int baseDisparity = 0;        // disparity of label 0
  float logChromWeight = 1.0f;  // share of the log-chromaticity cost
};

// Cost of reference pixel (x, y) at label d.
double referenceCost(const ImageSignals& ref, const ImageSignals& target, const ReferenceParams& p, int x, int y,
                     int d);

}  // namespace orbelt::testing
