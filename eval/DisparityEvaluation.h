#pragma once
// Scores a disparity map against ground truth, the way the Middlebury stereo
// benchmark does: the share of pixels whose disparity is off by more than a
// threshold, and the mean absolute error.
//
// Ground truth comes in two forms:
//  - 8- or 16-bit grey (the Middlebury images): a value v > 0 means
//    disparity v / scale; v = 0 means unknown and the pixel is skipped;
//  - 32-bit float (PFM): the value divided by the scale (1 for PFM files) is
//    the disparity; a non-finite value means unknown and is skipped.
// A mask (8-bit grey, same size) keeps the pixels where it is 255. A frame
// of `border` pixels can be left out too.
//
// Pixels the result leaves unknown (a non-finite disparity) count as bad at
// every threshold, as Middlebury counts them; they have no error to add, so
// the mean absolute error is taken over the known pixels only and the count
// of unknown ones is reported beside it.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

// The thresholds every score is reported at, pixels.
inline constexpr std::array<double, 4> kBadThresholds = {0.5, 1.0, 2.0, 4.0};

struct DisparityScore {
  std::int64_t evaluated = 0;  // pixels scored (known truth, in the mask, off the border)
  std::int64_t invalid = 0;    // scored pixels whose disparity is not finite (counted as bad)
  double badOver05 = 0;        // % of scored pixels with |d - truth| > 0.5 (or unknown)
  double badOver1 = 0;         // % with an error above 1
  double badOver2 = 0;         // % with an error above 2
  double badOver4 = 0;         // % with an error above 4
  double meanError = 0;        // mean |d - truth| over the scored pixels with a finite d, pixels
  double badOverCustom = 0;    // % with an error above EvaluationOptions::customThreshold
  // The bad percentage at kBadThresholds[i].
  double badAt(std::size_t i) const {
    const double rates[] = {badOver05, badOver1, badOver2, badOver4};
    return rates[i];
  }
};

struct EvaluationOptions {
  double groundTruthScale = 1.0;  // truth value per pixel of disparity (Middlebury: 16, 8, 4 or 3; PFM: 1)
  int border = 0;                 // frame of pixels left out on every side
  double customThreshold = 1.0;   // one more threshold of the caller's choosing (badOverCustom), pixels
};

// The score of `disparity` (CV_32FC1, pixels, non-finite = no value) against
// `groundTruth` (CV_8UC1, CV_16UC1 or CV_32FC1) where `mask` (empty or
// CV_8UC1) allows. All must have the same size. Fails with InvalidInput, the
// message naming the problem, when they do not fit together or the options
// cannot be used (a scale that is not positive, a negative border).
Expected<DisparityScore> evaluateDisparity(const cv::Mat& disparity, const cv::Mat& groundTruth, const cv::Mat& mask,
                                           const EvaluationOptions& options);

// The score as a few readable lines.
std::string formatScore(const DisparityScore& score);

}  // namespace orbelt
