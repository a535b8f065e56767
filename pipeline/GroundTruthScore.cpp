#include "pipeline/GroundTruthScore.h"

#include <cmath>

namespace orbelt {

GroundTruthScore scoreAgainstTruth(const std::vector<int>& labels, int width, int height, int baseDisparity,
                                   const cv::Mat& truth, float threshold, std::string* error) {
  GroundTruthScore score;
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return GroundTruthScore{};
  };
  if (truth.type() != CV_32FC1) return fail("the ground truth must be a one-channel float map");
  if (truth.cols != width || truth.rows != height) {
    return fail("the ground truth is " + std::to_string(truth.cols) + " x " + std::to_string(truth.rows) +
                " but the map is " + std::to_string(width) + " x " + std::to_string(height));
  }
  if (labels.size() != static_cast<std::size_t>(width) * height) return fail("the labelling does not match its size");
  double sumAbs = 0;
  for (int y = 0; y < height; ++y) {
    const float* row = truth.ptr<float>(y);
    for (int x = 0; x < width; ++x) {
      if (!std::isfinite(row[x])) continue;
      const double disparity = static_cast<double>(baseDisparity) + labels[static_cast<std::size_t>(y) * width + x];
      const double err = std::abs(disparity - row[x]);
      ++score.scored;
      sumAbs += err;
      if (err > threshold) ++score.bad;
    }
  }
  score.meanAbsError = score.scored == 0 ? 0.0 : sumAbs / static_cast<double>(score.scored);
  if (error) error->clear();
  return score;
}

}  // namespace orbelt
