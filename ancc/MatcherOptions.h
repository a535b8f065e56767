#pragma once
// The matcher's parameters, in the matcher's own words, with their defaults
// and the one check of what can run.
#include <cstdint>

#include "platform/Expected.h"

namespace orbelt {

// Cost units per unit of correlation: a signal's cost is 30 (1 - mean
// correlation), so costs run from 0 to 60.
inline constexpr double kCostPerCorrelation = 30.0;

// Bounds that keep base + label and column - (base + label) inside 32 bits.
inline constexpr std::int32_t kMaxAbsBaseDisparity = 1000000000;
inline constexpr std::int32_t kMaxDisparityRange = 1000000000;

// The names check() gives the fields in its messages. The defaults are the
// field names below; a front end passes the labels its users typed (the
// dialog's "SigmaS" for colorSigma), so a refusal names what they can change.
struct MatcherFieldNames {
  const char* halfWinSize = "halfWinSize";
  const char* colorSigma = "colorSigma";
  const char* spatialSigma = "spatialSigma";
  const char* baseDisparity = "baseDisparity";
  const char* disparityRange = "disparityRange";
  const char* logChromWeight = "logChromWeight";
  const char* threadCount = "threadCount";
};

struct MatcherOptions {
  int baseDisparity = 0;        // disparity of label 0, pixels; label d is disparity base + d. Default 0
  int disparityRange = 70;      // number of labels, 1 or more. Default 70
  int halfWinSize = 15;         // window half size r, pixels; windows are (2r+1)^2; 0 or more. Default 15
  float spatialSigma = 14.0f;   // sigma of the spatial window weight, pixels; sign ignored, not 0. Default 14
  float colorSigma = 3.8f;      // sigma of the Lab-distance window weight, Lab units; sign ignored, not 0. Default 3.8
  float logChromWeight = 1.0f;  // share of the log-chromaticity cost in the blend with the raw colour cost, 0..1
                                // (1: log-chromaticity alone, 0: raw colour alone). Default 1
  int threadCount = 0;          // worker threads of the cost sweep, 0 = one per hardware thread; the costs are
                                // the same for every count. Default 0
  bool useBaselineSweep = false;  // the plain cached sweep on one thread (20x slower or more, same costs within
                                  // 1e-4), for benchmarks and cross-checks. Default false

  // Whether these options can run; otherwise an InvalidInput Error (one
  // line) naming the first offending field as `names` calls it, its value
  // and what is allowed, checked in this order: halfWinSize < 0; colorSigma,
  // then spatialSigma, 0 or not finite; |baseDisparity| > kMaxAbsBaseDisparity;
  // disparityRange < 1 or > kMaxDisparityRange; logChromWeight outside 0..1;
  // threadCount < 0.
  Status check(const MatcherFieldNames& names = {}) const;
};

}  // namespace orbelt
