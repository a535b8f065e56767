#include "eval/DisparityEvaluation.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace orbelt {

namespace {

std::string sizeOf(const cv::Mat& m) { return std::to_string(m.cols) + "x" + std::to_string(m.rows); }

// The truth at (y, x) in pixels, or NaN when unknown.
double truthAt(const cv::Mat& truth, int y, int x, double scale) {
  switch (truth.depth()) {
    case CV_8U: {
      const uchar v = truth.at<uchar>(y, x);
      return v == 0 ? NAN : v / scale;
    }
    case CV_16U: {
      const unsigned short v = truth.at<unsigned short>(y, x);
      return v == 0 ? NAN : v / scale;
    }
    default: {
      const double v = truth.at<float>(y, x);
      return std::isfinite(v) ? v / scale : NAN;
    }
  }
}

// Why the maps and options cannot be scored together; success when they can.
Status checkEvaluationInputs(const cv::Mat& disparity, const cv::Mat& groundTruth, const cv::Mat& mask,
                             const EvaluationOptions& options) {
  if (disparity.type() != CV_32FC1) return invalidInput("disparity map must be CV_32FC1");
  const int truthType = groundTruth.type();
  if (truthType != CV_8UC1 && truthType != CV_16UC1 && truthType != CV_32FC1) {
    return invalidInput("ground truth must be 8- or 16-bit single-channel or a float map");
  }
  if (groundTruth.size() != disparity.size()) {
    return invalidInput("ground truth is " + sizeOf(groundTruth) + " but the disparity map is " + sizeOf(disparity));
  }
  if (!mask.empty() && (mask.type() != CV_8UC1 || mask.size() != disparity.size())) {
    return invalidInput("mask must be 8-bit grey of " + sizeOf(disparity) + ", but is " + sizeOf(mask) +
                        (mask.type() != CV_8UC1 ? " with " + std::to_string(mask.channels()) + " channel(s)" : ""));
  }
  if (!(options.groundTruthScale > 0) || !std::isfinite(options.groundTruthScale)) {
    return invalidInput("ground-truth scale must be positive");
  }
  if (options.border < 0) return invalidInput("border must be 0 or more");
  return {};
}

}  // namespace

Expected<DisparityScore> evaluateDisparity(const cv::Mat& disparity, const cv::Mat& groundTruth, const cv::Mat& mask,
                                           const EvaluationOptions& options) {
  if (Status fits = checkEvaluationInputs(disparity, groundTruth, mask, options); !fits) return std::move(fits).error();
  DisparityScore score;
  std::int64_t over[4] = {0, 0, 0, 0};
  std::int64_t overCustom = 0;
  std::int64_t finite = 0;
  double errorSum = 0;
  for (int y = options.border; y < disparity.rows - options.border; ++y) {
    for (int x = options.border; x < disparity.cols - options.border; ++x) {
      const double truth = truthAt(groundTruth, y, x, options.groundTruthScale);
      if (std::isnan(truth)) continue;
      if (!mask.empty() && mask.at<uchar>(y, x) != 255) continue;
      ++score.evaluated;
      const double d = disparity.at<float>(y, x);
      if (!std::isfinite(d)) {
        ++score.invalid;
        for (std::int64_t& n : over) ++n;
        ++overCustom;
        continue;
      }
      const double e = std::abs(d - truth);
      for (std::size_t i = 0; i < kBadThresholds.size(); ++i) over[i] += e > kBadThresholds[i];
      overCustom += e > options.customThreshold;
      errorSum += e;
      ++finite;
    }
  }
  if (score.evaluated > 0) {
    const double n = double(score.evaluated);
    score.badOver05 = 100.0 * over[0] / n;
    score.badOver1 = 100.0 * over[1] / n;
    score.badOver2 = 100.0 * over[2] / n;
    score.badOver4 = 100.0 * over[3] / n;
    score.badOverCustom = 100.0 * overCustom / n;
  }
  if (finite > 0) score.meanError = errorSum / finite;
  return score;
}

std::string formatScore(const DisparityScore& s) {
  char text[512];
  std::snprintf(text, sizeof text,
                "evaluated pixels: %lld (no value: %lld)\n"
                "bad > 0.5: %.2f %%\n"
                "bad > 1:   %.2f %%\n"
                "bad > 2:   %.2f %%\n"
                "bad > 4:   %.2f %%\n"
                "mean error: %.3f px\n",
                static_cast<long long>(s.evaluated), static_cast<long long>(s.invalid), s.badOver05, s.badOver1,
                s.badOver2, s.badOver4, s.meanError);
  return text;
}

}  // namespace orbelt
