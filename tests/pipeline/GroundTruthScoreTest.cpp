#include "pipeline/GroundTruthScore.h"

#include <limits>

#include <gtest/gtest.h>

namespace orbelt {
namespace {

TEST(GroundTruthScore, CountsPixelsOffByMoreThanTheThresholdAndSkipsUnknownTruth) {
  // Disparity = base 10 + label. Truth per pixel, row-major 3 x 2.
  const float unknown = std::numeric_limits<float>::infinity();
  cv::Mat truth = (cv::Mat_<float>(2, 3) << 10.0f, 11.5f, 13.0f, unknown, 20.0f, 12.0f);
  const std::vector<int> labels = {0, 1, 5, 7, 10, 1};
  // Errors: 0, 0.5, 2, (skipped), 0, 1 -> bad only the 2 at threshold 1.
  std::string error = "stale";
  const GroundTruthScore score = scoreAgainstTruth(labels, 3, 2, 10, truth, 1.0f, &error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(score.scored, 5u);
  EXPECT_EQ(score.bad, 1u);
  EXPECT_DOUBLE_EQ(score.badPercent(), 20.0);
  EXPECT_DOUBLE_EQ(score.meanAbsError, 3.5 / 5);
}

TEST(GroundTruthScore, RefusesATruthOfAnotherSize) {
  std::string error;
  const GroundTruthScore score = scoreAgainstTruth({0, 0}, 2, 1, 0, cv::Mat(1, 3, CV_32FC1, 0.0f), 1.0f, &error);
  EXPECT_EQ(error, "the ground truth is 3 x 1 but the map is 2 x 1");
  EXPECT_EQ(score.scored, 0u);
}

}  // namespace
}  // namespace orbelt
