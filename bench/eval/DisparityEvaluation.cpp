#include "DisparityEvaluation.h"

#include <cmath>
#include <cstdio>

namespace orbelt {

namespace {

std::string sizeOf(const cv::Mat& m) { return std::to_string(m.cols) + "x" + std::to_string(m.rows); }

}  // namespace

bool evaluateDisparity(const cv::Mat& disparity, const cv::Mat& groundTruth, const cv::Mat& mask,
                       const EvaluationOptions& options, DisparityScore& score, std::string& error) {
  score = {};
  error.clear();
  if (disparity.type() != CV_32FC1) {
    error = "disparity map must be CV_32FC1";
    return false;
  }
  if (groundTruth.type() != CV_8UC1 && groundTruth.type() != CV_16UC1) {
    error = "ground truth must be 8- or 16-bit single-channel";
    return false;
  }
  if (groundTruth.size() != disparity.size()) {
    error = "ground truth is " + sizeOf(groundTruth) + " but the disparity map is " + sizeOf(disparity);
    return false;
  }
  if (!mask.empty() && (mask.type() != CV_8UC1 || mask.size() != disparity.size())) {
    error = "mask must be 8-bit grey of " + sizeOf(disparity) + ", but is " + sizeOf(mask);
    return false;
  }
  if (!(options.groundTruthScale > 0) || !std::isfinite(options.groundTruthScale)) {
    error = "ground-truth scale must be positive";
    return false;
  }
  if (options.border < 0) {
    error = "border must be 0 or more";
    return false;
  }

  std::int64_t over05 = 0, over1 = 0, over2 = 0, finite = 0;
  double errorSum = 0;
  for (int y = options.border; y < disparity.rows - options.border; ++y) {
    for (int x = options.border; x < disparity.cols - options.border; ++x) {
      const double truthValue = groundTruth.depth() == CV_8U ? groundTruth.at<uchar>(y, x)
                                                             : groundTruth.at<unsigned short>(y, x);
      if (truthValue == 0) continue;
      if (!mask.empty() && mask.at<uchar>(y, x) != 255) continue;
      ++score.evaluated;
      const double d = disparity.at<float>(y, x);
      if (!std::isfinite(d)) {
        ++score.invalid;
        ++over05, ++over1, ++over2;
        continue;
      }
      const double e = std::abs(d - truthValue / options.groundTruthScale);
      over05 += e > 0.5;
      over1 += e > 1.0;
      over2 += e > 2.0;
      errorSum += e;
      ++finite;
    }
  }
  if (score.evaluated > 0) {
    const double n = double(score.evaluated);
    score.badOver05 = 100.0 * over05 / n;
    score.badOver1 = 100.0 * over1 / n;
    score.badOver2 = 100.0 * over2 / n;
  }
  if (finite > 0) score.meanError = errorSum / finite;
  return true;
}

cv::Mat disparityFromGrey(const cv::Mat& grey, int displayLevel, int baseDisparity, std::string& error) {
  error.clear();
  if (grey.type() != CV_8UC1) {
    error = "display map must be 8-bit grey";
    return {};
  }
  if (displayLevel <= 0) {
    error = "display level must be positive, but is " + std::to_string(displayLevel);
    return {};
  }
  cv::Mat disparity(grey.size(), CV_32FC1);
  for (int y = 0; y < grey.rows; ++y)
    for (int x = 0; x < grey.cols; ++x)
      disparity.at<float>(y, x) =
          float(double(grey.at<uchar>(y, x)) / displayLevel + (baseDisparity < 0 ? baseDisparity : 0));
  return disparity;
}

std::string formatScore(const DisparityScore& s) {
  char text[512];
  std::snprintf(text, sizeof text,
                "evaluated pixels: %lld (no value: %lld)\n"
                "bad > 0.5: %.2f %%\n"
                "bad > 1:   %.2f %%\n"
                "bad > 2:   %.2f %%\n"
                "mean error: %.3f px\n",
                static_cast<long long>(s.evaluated), static_cast<long long>(s.invalid), s.badOver05, s.badOver1,
                s.badOver2, s.meanError);
  return text;
}

}  // namespace orbelt
