#pragma once
// What every row sweep of one computeCostVolume call shares: the two images'
// signals, their size and the run's parameters, already checked by the
// matcher (sizes equal, r >= 0 and small enough to allocate, sigmas finite
// and not 0).
#include <cmath>

#include "ancc/ColorTransform.h"

namespace orbelt {

struct SweepSetup {
  const ImageSignals* ref = nullptr;     // reference (left) image signals
  const ImageSignals* target = nullptr;  // target (right) image signals, same size
  int width = 0;                         // pixel columns of both images
  int height = 0;                        // pixel rows of both images
  int baseDisparity = 0;                 // disparity of label 0, pixels
  int disparityRange = 0;                // number of labels (> 0 when a sweep runs)
  int halfWinSize = 0;                   // window half size r, >= 0
  float spatialSigma = 14.0f;            // spatial sigma of the weights, pixels (sign ignored)
  float colorSigma = 3.8f;               // Lab-distance sigma of the weights (sign ignored)
  float logChromWeight = 1.0f;           // share of the log-chromaticity cost in the blend
};

// The raw bilateral weight of a window position: spatial closeness to the
// centre (integer squared offset) and Lab closeness to the centre pixel.
struct BilateralWeight {
  double spatialDenominator;  // 2 sigma_s^2
  double colorDenominator;    // 2 sigma_c^2

  explicit BilateralWeight(const SweepSetup& s)
      : spatialDenominator(2.0 * double(s.spatialSigma) * double(s.spatialSigma)),
        colorDenominator(2.0 * double(s.colorSigma) * double(s.colorSigma)) {}

  double operator()(int squaredOffset, double squaredLabDistance) const {
    return std::exp(-double(squaredOffset) / spatialDenominator - squaredLabDistance / colorDenominator);
  }
};

}  // namespace orbelt
