#include "eval/KittiMeasures.h"

#include <cmath>

#include "postprocess/BackgroundFill.h"

namespace orbelt {

namespace {

KittiRegionScore scoreRegion(const cv::Mat& filled, const cv::Mat& truth) {
  KittiRegionScore score;
  std::int64_t outliers = 0, known = 0;
  std::array<std::int64_t, 4> over{};
  double sum = 0;
  for (int y = 0; y < filled.rows; ++y) {
    const float* d = filled.ptr<float>(y);
    const float* t = truth.ptr<float>(y);
    for (int x = 0; x < filled.cols; ++x) {
      if (!std::isfinite(t[x])) continue;
      ++score.evaluated;
      if (!std::isfinite(d[x])) {
        ++score.unknown;
        ++outliers;
        for (std::int64_t& n : over) ++n;
        continue;
      }
      const double error = std::abs(double(d[x]) - t[x]);
      outliers += error > kKittiOutlierPixels && error > kKittiOutlierShare * std::abs(t[x]);
      for (std::size_t i = 0; i < kKittiThresholds.size(); ++i) over[i] += error > kKittiThresholds[i];
      sum += error;
      ++known;
    }
  }
  if (score.evaluated == 0) return score;
  const double n = static_cast<double>(score.evaluated);
  score.d1 = 100.0 * static_cast<double>(outliers) / n;
  for (std::size_t i = 0; i < over.size(); ++i) score.bad[i] = 100.0 * static_cast<double>(over[i]) / n;
  if (known > 0) score.avgErr = sum / static_cast<double>(known);
  return score;
}

}  // namespace

Expected<KittiScore> scoreKitti(const cv::Mat& disparity, const KittiTruth& truth) {
  if (disparity.empty() || disparity.type() != CV_32FC1) {
    return invalidInput("The disparity map must be a float map (one 32-bit channel)");
  }
  if (truth.noc.empty() && truth.occ.empty()) return invalidInput("There is no truth to score against");
  for (const cv::Mat* region : {&truth.noc, &truth.occ}) {
    if (!region->empty() && (region->type() != CV_32FC1 || region->size() != disparity.size())) {
      return invalidInput("The truth (" + std::to_string(region->cols) + " x " + std::to_string(region->rows) +
                          ") must be a float map of the disparity map's size (" + std::to_string(disparity.cols) +
                          " x " + std::to_string(disparity.rows) + ")");
    }
  }
  KittiScore score;
  cv::Mat filled = disparity.clone();
  Expected<BackgroundFillSummary> fill = fillFromBackground(filled);
  if (!fill) return std::move(fill).error();
  const double pixels = static_cast<double>(disparity.total());
  score.density = 100.0 * (pixels - static_cast<double>(fill->filled + fill->unknown)) / pixels;
  score.hasNoc = !truth.noc.empty();
  score.hasOcc = !truth.occ.empty();
  if (score.hasNoc) score.noc = scoreRegion(filled, truth.noc);
  if (score.hasOcc) score.occ = scoreRegion(filled, truth.occ);
  return score;
}

}  // namespace orbelt
