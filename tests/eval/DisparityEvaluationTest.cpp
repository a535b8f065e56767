// Scoring of disparity maps on hand-made maps whose answers are known.
#include "eval/DisparityEvaluation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace orbelt {
namespace {

// Truth 8 at scale 4 is disparity 2 everywhere except an unknown pixel.
cv::Mat truthOfTwo() {
  cv::Mat truth(2, 4, CV_8UC1, cv::Scalar(8));
  truth.at<uchar>(1, 3) = 0;  // unknown: never scored
  return truth;
}

TEST(DisparityEvaluation, CountsErrorsAboveEachThreshold) {
  // Errors 0, 0.4, 0.6, 1.5 | 2.5, 3, -1 (NaN), unknown.
  const float nan = NAN;
  const cv::Mat disparity = (cv::Mat_<float>(2, 4) << 2.0f, 2.4f, 1.4f, 3.5f, 4.5f, -1.0f, nan, 100.0f);
  const Expected<DisparityScore> scored = evaluateDisparity(disparity, truthOfTwo(), cv::Mat(), {4.0, 0});
  ASSERT_TRUE(scored) << scored.error().message;
  const DisparityScore& s = *scored;
  EXPECT_EQ(s.evaluated, 7);
  EXPECT_EQ(s.invalid, 1);
  EXPECT_NEAR(s.badOver05, 100.0 * 5 / 7, 1e-9);  // 0.6, 1.5, 2.5, 3 and the NaN
  EXPECT_NEAR(s.badOver1, 100.0 * 4 / 7, 1e-9);
  EXPECT_NEAR(s.badOver2, 100.0 * 3 / 7, 1e-9);
  EXPECT_NEAR(s.badOver4, 100.0 * 1 / 7, 1e-9);  // only the NaN: unknown is bad at every threshold
  EXPECT_NEAR(s.meanError, (0 + 0.4 + 0.6 + 1.5 + 2.5 + 3.0) / 6, 1e-6);
}

TEST(DisparityEvaluation, FloatTruthSkipsNonFiniteValuesAndIsScaledToo) {
  const float inf = std::numeric_limits<float>::infinity();
  const cv::Mat truth = (cv::Mat_<float>(1, 4) << 10.0f, 10.0f, inf, NAN);
  const cv::Mat disparity = (cv::Mat_<float>(1, 4) << 10.0f, 12.5f, 1.0f, 1.0f);
  Expected<DisparityScore> scored = evaluateDisparity(disparity, truth, cv::Mat(), {1.0, 0});
  ASSERT_TRUE(scored) << scored.error().message;
  DisparityScore s = *scored;
  EXPECT_EQ(s.evaluated, 2);
  EXPECT_NEAR(s.badOver2, 50.0, 1e-9);
  EXPECT_NEAR(s.badOver4, 0.0, 1e-9);
  EXPECT_NEAR(s.meanError, 1.25, 1e-9);
  // Scale 2: the truth means disparity 5, so both are off by 5 or more.
  scored = evaluateDisparity(disparity, truth, cv::Mat(), {2.0, 0});
  ASSERT_TRUE(scored) << scored.error().message;
  s = *scored;
  EXPECT_NEAR(s.badOver4, 100.0, 1e-9);
}

TEST(DisparityEvaluation, MaskAndBorderLeavePixelsOut) {
  cv::Mat disparity(4, 5, CV_32FC1, cv::Scalar(2.0f));
  disparity.at<float>(0, 0) = 9.0f;                     // bad, but on the border
  disparity.at<float>(2, 2) = 5.0f;                     // bad, but masked out
  disparity.at<float>(1, 1) = 3.0f;                     // off by 1: bad only above 0.5
  const cv::Mat truth(4, 5, CV_16UC1, cv::Scalar(32));  // 16-bit, scale 16
  cv::Mat mask(4, 5, CV_8UC1, cv::Scalar(255));
  mask.at<uchar>(2, 2) = 128;  // anything but 255 is left out
  const Expected<DisparityScore> scored = evaluateDisparity(disparity, truth, mask, {16.0, 1});
  ASSERT_TRUE(scored) << scored.error().message;
  const DisparityScore& s = *scored;
  EXPECT_EQ(s.evaluated, 5);  // 3x2 interior minus the masked pixel
  EXPECT_NEAR(s.badOver05, 20.0, 1e-9);
  EXPECT_NEAR(s.badOver1, 0.0, 1e-9);
  EXPECT_NEAR(s.meanError, 0.2, 1e-9);
}

TEST(DisparityEvaluation, RefusesMapsThatDoNotFit) {
  const cv::Mat disparity(2, 4, CV_32FC1, cv::Scalar(0));
  struct Case {
    const char* what;
    cv::Mat disparity, truth, mask;
    double scale;
    const char* message;
  };
  const Case cases[] = {
      {"truth of another size", disparity, cv::Mat(3, 4, CV_8UC1), cv::Mat(), 4, "ground truth is 4x3"},
      {"colour truth", disparity, cv::Mat(2, 4, CV_8UC3), cv::Mat(), 4, "single-channel"},
      {"double truth", disparity, cv::Mat(2, 4, CV_64FC1), cv::Mat(), 4, "float map"},
      {"colour mask", disparity, truthOfTwo(), cv::Mat(2, 4, CV_8UC3), 4, "3 channel(s)"},
      {"mask of another size", disparity, truthOfTwo(), cv::Mat(2, 3, CV_8UC1), 4, "mask must be"},
      {"grey map", cv::Mat(2, 4, CV_8UC1), truthOfTwo(), cv::Mat(), 4, "CV_32FC1"},
      {"zero scale", disparity, truthOfTwo(), cv::Mat(), 0, "scale"},
  };
  for (const Case& c : cases) {
    const Expected<DisparityScore> scored = evaluateDisparity(c.disparity, c.truth, c.mask, {c.scale, 0});
    ASSERT_FALSE(scored) << c.what;
    EXPECT_EQ(scored.error().kind, ErrorKind::InvalidInput) << c.what;
    EXPECT_NE(scored.error().message.find(c.message), std::string::npos) << c.what << ": " << scored.error().message;
  }
}

}  // namespace
}  // namespace orbelt
