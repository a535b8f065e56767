// Labels to float disparities: the base, the sub-pixel offsets and the
// pixels the left-right check rejects.
#include "postprocess/FloatDisparity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace orbelt {
namespace {

TEST(FloatDisparity, AddsBaseOffsetsAndMarksInconsistentPixels) {
  const std::vector<int> labels = {0, 1, 2, 3};
  const std::vector<float> offsets = {0.0f, 0.25f, -0.5f, 0.0f};
  const std::vector<std::uint8_t> consistent = {1, 1, 1, 0};
  const Expected<cv::Mat> made = floatDisparity(labels, 2, 2, -2, &offsets, &consistent);
  ASSERT_TRUE(made);
  const cv::Mat& d = *made;
  ASSERT_EQ(d.type(), CV_32FC1);
  EXPECT_EQ(d.at<float>(0, 0), -2.0f);
  EXPECT_EQ(d.at<float>(0, 1), -0.75f);
  EXPECT_EQ(d.at<float>(1, 0), -0.5f);
  EXPECT_TRUE(std::isinf(d.at<float>(1, 1)));
  EXPECT_EQ(floatDisparity(labels, 2, 2, 0)->at<float>(1, 1), 3.0f);  // no offsets, no check: the labels
  const std::vector<float> shortOffsets = {0.0f};
  const Expected<cv::Mat> refused = floatDisparity(labels, 2, 2, 0, &shortOffsets);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, ErrorKind::InvalidInput);
}

TEST(FloatDisparity, LabelsBecomeDisparitiesFromTheBase) {
  const Expected<cv::Mat> made = floatDisparity({0, 1, 2, 5}, 2, 2, -3);
  ASSERT_TRUE(made);
  const cv::Mat& d = *made;
  ASSERT_EQ(d.type(), CV_32FC1);
  EXPECT_EQ(d.at<float>(0, 0), -3.0f);
  EXPECT_EQ(d.at<float>(1, 1), 2.0f);
  const Expected<cv::Mat> refused = floatDisparity({0, 1, 2}, 2, 2, 0);
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().message.find("needs 4 labels"), std::string::npos) << refused.error().message;
}

}  // namespace
}  // namespace orbelt
