// The output images, built from hand-made labels and checked value by value.
#include "io/DisparityImages.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orbelt {
namespace {

TEST(DisparityImages, Png16StoresDisparityTimes256AndKeepsZeroForUnknown) {
  const cv::Mat d = (cv::Mat_<float>(1, 5) << 0.0f, 1.0f, 12.75f, INFINITY, 255.5f);
  const cv::Mat code = encodeDisparityPng16(d);
  ASSERT_EQ(code.type(), CV_16UC1);
  // A known disparity 0 would read back as unknown: it is stored as 1/256.
  EXPECT_EQ(code.at<unsigned short>(0, 0), 1);
  EXPECT_EQ(code.at<unsigned short>(0, 1), 256);
  EXPECT_EQ(code.at<unsigned short>(0, 2), 3264);
  EXPECT_EQ(code.at<unsigned short>(0, 3), 0);
  EXPECT_EQ(code.at<unsigned short>(0, 4), 65408);
}

TEST(DisparityImages, Png16RefusesRangesItCannotHold) {
  const struct {
    int base, labels;
    const char* message;  // empty: accepted
  } cases[] = {
      {0, 256, ""},
      {200, 56, ""},
      {-1, 10, "cannot hold negative disparities"},
      {0, 257, "reaches 256"},
      {250, 10, "reaches 259"},
  };
  for (const auto& c : cases) {
    const Status fits = checkPng16Range(c.base, c.labels);
    if (*c.message == '\0') {
      EXPECT_TRUE(fits) << c.base << "+" << c.labels << ": " << fits.error().message;
    } else {
      ASSERT_FALSE(fits) << c.base << "+" << c.labels;
      EXPECT_EQ(fits.error().kind, ErrorKind::InvalidInput);
      EXPECT_NE(fits.error().message.find(c.message), std::string::npos) << fits.error().message;
    }
  }
}

TEST(DisparityImages, ColourMapRunsFromDarkToBrightWithUnknownBlackAndALegend) {
  const cv::Mat d = (cv::Mat_<float>(1, 3) << 0.0f, 10.0f, INFINITY);
  const cv::Mat wide = cv::repeat(d, 4, 40);  // 120 x 4: room for the legend text
  const cv::Mat picture = renderColorMap(wide, 0.0, 10.0);
  ASSERT_EQ(picture.type(), CV_8UC3);
  ASSERT_GT(picture.rows, wide.rows);  // the legend strip below
  const auto brightness = [](const cv::Vec3b& c) { return int(c[0]) + c[1] + c[2]; };
  const cv::Vec3b low = picture.at<cv::Vec3b>(0, 0), high = picture.at<cv::Vec3b>(0, 1);
  EXPECT_LT(brightness(low), brightness(high));  // viridis: dark blue to yellow
  EXPECT_GT(low[0], low[2]);                     // blue end
  EXPECT_GT(high[2], high[0]);                   // yellow end
  EXPECT_EQ(picture.at<cv::Vec3b>(0, 2), cv::Vec3b(0, 0, 0));
}

TEST(DisparityImages, ConfidenceIsABinaryMask) {
  const cv::Mat c = *renderConfidence({1, 0, 0, 1}, 2, 2);
  ASSERT_EQ(c.type(), CV_8UC1);
  EXPECT_EQ(c.at<uchar>(0, 0), 255);
  EXPECT_EQ(c.at<uchar>(0, 1), 0);
  EXPECT_FALSE(renderConfidence({1}, 2, 2));
}

}  // namespace
}  // namespace orbelt
