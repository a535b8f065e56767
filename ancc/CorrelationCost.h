#pragma once
// From the correlation sums of one pixel pair to its stored cost.
//
// Each of the six signals (colour and log-chromaticity, three channels each)
// gives a numerator N and the two windows' energies E_R and E_T. A channel
// that is constant over a window has energy exactly 0; that energy is taken
// as 1, so the channel's correlation is 0 rather than 0/0. The correlation
// is N / (sqrt(E_R) sqrt(E_T)), the cost of a signal is 30 (1 - mean
// correlation), in [0, 60], and the stored cost blends the two signals.
#include <cmath>

#include "ancc/ColorTransform.h"

namespace orbelt {

// Cost of a label whose target pixel lies outside the image, in every mode.
inline constexpr float kOutsideCost = 50.0f;

struct CorrelationSums {
  double colorN[3] = {0, 0, 0};        // sum of w_R w_T dev_R dev_T, colour channels
  double colorRefE[3] = {0, 0, 0};     // sum of w_R^2 dev_R^2
  double colorTargetE[3] = {0, 0, 0};  // sum of w_T^2 dev_T^2
  double logChromN[3] = {0, 0, 0};     // the same three sums for log-chromaticity
  double logChromRefE[3] = {0, 0, 0};
  double logChromTargetE[3] = {0, 0, 0};
};

inline double guardedEnergy(double e) { return e == 0.0 ? 1.0 : e; }

// The stored cost from the six numerators (colour 0..2, log-chromaticity
// 0..2) and the square roots of the guarded energies of both windows:
// colour correlations and cost in single precision (the constant 1/3 is the
// float 0x3EAAAAAB), log-chromaticity in double precision, blended as
// w * costLc + (1 - w) * costCol and rounded to float. Sweeps that reuse a
// window's energies for many pairs take their roots once.
inline float costFromRoots(const double numerator[6], const double refRoot[6], const double targetRoot[6],
                           float logChromWeight) {
  float colorCorr[3];
  double logCorr[3];
  for (int c = 0; c < 3; ++c) {
    colorCorr[c] = static_cast<float>(numerator[c] / (refRoot[c] * targetRoot[c]));
    logCorr[c] = numerator[3 + c] / (refRoot[3 + c] * targetRoot[3 + c]);
  }
  const float costCol = static_cast<float>((1.0 - (colorCorr[2] + colorCorr[1] + colorCorr[0]) * kOneThirdF) * 30.0);
  const double costLc = (1.0 - (logCorr[0] + logCorr[1] + logCorr[2]) * 0.3333333333333333) * 30.0;
  return static_cast<float>(logChromWeight * costLc + (1.0 - logChromWeight) * costCol);
}

inline double guardedRoot(double e) { return std::sqrt(guardedEnergy(e)); }

inline float correlationCost(const CorrelationSums& s, float logChromWeight) {
  double numerator[6], refRoot[6], targetRoot[6];
  for (int c = 0; c < 3; ++c) {
    numerator[c] = s.colorN[c];
    numerator[3 + c] = s.logChromN[c];
    refRoot[c] = guardedRoot(s.colorRefE[c]);
    refRoot[3 + c] = guardedRoot(s.logChromRefE[c]);
    targetRoot[c] = guardedRoot(s.colorTargetE[c]);
    targetRoot[3 + c] = guardedRoot(s.logChromTargetE[c]);
  }
  return costFromRoots(numerator, refRoot, targetRoot, logChromWeight);
}

}  // namespace orbelt
