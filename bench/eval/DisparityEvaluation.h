#pragma once
// Scores a disparity map against Middlebury ground truth.
//
// Conventions of the datasets: a ground-truth value v > 0 means disparity
// v / scale; v = 0 means unknown and the pixel is skipped. A mask (8-bit
// grey, same size) keeps the pixels where it is 255. A frame of `border`
// pixels can be left out too (the matcher's preview never draws its
// outermost rows and columns).
#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

namespace orbelt {

struct DisparityScore {
  std::int64_t evaluated = 0;  // pixels scored (known truth, in the mask, off the border)
  std::int64_t invalid = 0;    // scored pixels whose disparity is not finite (counted as bad)
  double badOver05 = 0;        // % of scored pixels with |d - truth| > 0.5
  double badOver1 = 0;         // % with an error above 1
  double badOver2 = 0;         // % with an error above 2
  double meanError = 0;        // mean |d - truth| over the finite scored pixels, pixels
};

struct EvaluationOptions {
  double groundTruthScale = 1.0;  // truth value per pixel of disparity (Middlebury: 16, 8, 4 or 3)
  int border = 0;                 // frame of pixels left out on every side
};

// `disparity` is CV_32FC1 (disparity in pixels, non-finite = no value);
// `groundTruth` is 8- or 16-bit single-channel; `mask` is empty or CV_8UC1.
// All must have the same size. Returns false with `error` naming the
// problem when they do not fit together.
bool evaluateDisparity(const cv::Mat& disparity, const cv::Mat& groundTruth, const cv::Mat& mask,
                       const EvaluationOptions& options, DisparityScore& score, std::string& error);

// Disparities from a grey display map made with `baseDisparity` and
// `displayLevel`: the map stores (label + base) * level when base >= 0 and
// label * level when base < 0, so the disparity is grey / level, plus the
// base only when it is negative. The grey values wrap at 256, so
// disparities whose grey value wrapped cannot be recovered. Empty image (and `error` set) when the map is not
// 8-bit single-channel or displayLevel is not positive.
cv::Mat disparityFromGrey(const cv::Mat& grey, int displayLevel, int baseDisparity, std::string& error);

// The report the eval program prints, one figure a line.
std::string formatScore(const DisparityScore& score);

}  // namespace orbelt
