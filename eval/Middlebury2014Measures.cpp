#include "eval/Middlebury2014Measures.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace orbelt {

namespace {

constexpr double kUnknown = std::numeric_limits<double>::infinity();

// `errors` holds one entry per pixel of the region, +inf for unknown ones;
// it is sorted here.
Middlebury2014RegionScore summarize(std::vector<double>& errors) {
  Middlebury2014RegionScore score;
  score.evaluated = static_cast<std::int64_t>(errors.size());
  if (errors.empty()) return score;
  std::sort(errors.begin(), errors.end());
  const auto firstUnknown = std::lower_bound(errors.begin(), errors.end(), kUnknown);
  const std::int64_t known = firstUnknown - errors.begin();
  score.unknown = score.evaluated - known;
  const double n = static_cast<double>(score.evaluated);
  for (std::size_t i = 0; i < kMiddlebury2014Thresholds.size(); ++i) {
    const auto over = std::upper_bound(errors.begin(), errors.end(), kMiddlebury2014Thresholds[i]);
    score.bad[i] = 100.0 * static_cast<double>(errors.end() - over) / n;
  }
  double sum = 0, squares = 0;
  for (auto e = errors.begin(); e != firstUnknown; ++e) {
    sum += *e;
    squares += *e * *e;
  }
  if (known > 0) {
    score.avgErr = sum / static_cast<double>(known);
    score.rms = std::sqrt(squares / static_cast<double>(known));
  }
  for (std::size_t i = 0; i < kMiddlebury2014Quantiles.size(); ++i) {
    const auto rank = static_cast<std::int64_t>(std::ceil(kMiddlebury2014Quantiles[i] / 100.0 * n - 1e-9));
    score.quantiles[i] = errors[static_cast<std::size_t>(std::clamp<std::int64_t>(rank, 1, score.evaluated) - 1)];
  }
  return score;
}

std::string sizeText(const cv::Mat& m) { return std::to_string(m.cols) + " x " + std::to_string(m.rows); }

}  // namespace

Expected<Middlebury2014Score> scoreMiddlebury2014(const cv::Mat& disparity, const Middlebury2014Truth& truth) {
  if (truth.disparity.type() != CV_32FC1) return invalidInput("The truth must be a float map");
  if (disparity.type() != CV_32FC1 || disparity.size() != truth.disparity.size()) {
    return invalidInput("The disparity map (" + sizeText(disparity) + ") must be a float map of the truth's size (" +
                        sizeText(truth.disparity) + ")");
  }
  const cv::Mat& mask = truth.mask;
  if (!mask.empty() && (mask.type() != CV_8UC1 || mask.size() != disparity.size())) {
    return invalidInput("The occlusion mask must be 8-bit grey of the truth's size (" + sizeText(disparity) + ")");
  }
  std::vector<double> nonocc, all;
  for (int y = 0; y < disparity.rows; ++y) {
    const float* d = disparity.ptr<float>(y);
    const float* t = truth.disparity.ptr<float>(y);
    const uchar* m = mask.empty() ? nullptr : mask.ptr<uchar>(y);
    for (int x = 0; x < disparity.cols; ++x) {
      if (!std::isfinite(t[x]) || (m && m[x] == 0)) continue;
      const double error = std::isfinite(d[x]) ? std::abs(double(d[x]) - t[x]) : kUnknown;
      all.push_back(error);
      if (m && m[x] == 255) nonocc.push_back(error);
    }
  }
  Middlebury2014Score score;
  score.hasNonocc = !mask.empty();
  score.nonocc = summarize(nonocc);
  score.all = summarize(all);
  return score;
}

}  // namespace orbelt
