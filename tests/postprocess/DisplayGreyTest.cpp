// The grey display rule on hand-picked labels (the 8-bit wrap, the base left
// out when negative), and reading disparities back from a display map.
#include "postprocess/DisplayGrey.h"

#include <gtest/gtest.h>

#include "postprocess/FloatDisparity.h"

namespace orbelt {
namespace {

TEST(DisplayGrey, ScalesWrapsAndIgnoresANegativeBase) {
  struct Case {
    int label, base, level, grey;
  };
  const Case cases[] = {
      {69, 0, 3, 207},                     // the largest value with the defaults
      {5, 0, 3, 15},      {64, 0, 4, 0},   // 256 wraps to 0
      {65, 0, 4, 4},                       // and keeps counting
      {10, -5, 3, 30},                     // a negative base is left out of the picture
      {10, -4, 3, 30},    {10, 5, 3, 45},  // a positive one is added
      {10, 2, 3, 36},                      // (10 + 2) * 3
      {0, 100, 3, 44},                     // 300 mod 256
      {1, 255, 1, 0},                      // (1 + 255) wraps
      {7, 0, 0, 0},                        // level 0 paints everything black
      {1, 0, -1, 255},                     // a negative level acts through its low 8 bits
      {3, 0, 257, 3},                      // and so does one above 255
      {3, 0, 256 + 2, 6},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(displayGrey(c.label, c.base, c.level), c.grey)
        << "label " << c.label << " base " << c.base << " level " << c.level;
    const Expected<cv::Mat> rendered = renderDisplayMap({c.label}, 1, 1, c.base, c.level);
    ASSERT_TRUE(rendered);
    const cv::Mat& map = *rendered;
    ASSERT_EQ(map.type(), CV_8UC1);
    EXPECT_EQ(map.at<std::uint8_t>(0, 0), c.grey) << "label " << c.label << " base " << c.base << " level " << c.level;
  }
}

TEST(DisplayGrey, PlacesPixelPAtColumnPModWidthOfRowPDivWidth) {
  const Expected<cv::Mat> rendered = renderDisplayMap({0, 1, 2, 3, 4, 5}, 3, 2, 0, 10);
  ASSERT_TRUE(rendered);
  const cv::Mat& map = *rendered;
  ASSERT_EQ(map.size(), cv::Size(3, 2));
  EXPECT_EQ(map.at<std::uint8_t>(0, 2), 20);
  EXPECT_EQ(map.at<std::uint8_t>(1, 0), 30);
}

TEST(DisplayGrey, RefusesALabelCountThatDoesNotMatchTheSize) {
  const Expected<cv::Mat> refused = renderDisplayMap({1, 2, 3}, 2, 2, 0, 3);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, ErrorKind::InvalidInput);
  EXPECT_NE(refused.error().message.find("needs 4 labels, but has 3"), std::string::npos) << refused.error().message;
}

TEST(DisplayGrey, GreyMapsFollowTheDisplayEncoding) {
  const cv::Mat grey = (cv::Mat_<uchar>(1, 3) << 0, 30, 255);
  struct Case {
    int level, base;
    float expected[3];
  };
  const Case cases[] = {
      {3, 0, {0, 10, 85}},
      {3, 4, {0, 10, 85}},   // a non-negative base is already in the grey value
      {3, -5, {-5, 5, 80}},  // a negative base is not
      {4, 0, {0, 7.5f, 63.75f}},
  };
  for (const Case& c : cases) {
    const Expected<cv::Mat> d = disparityFromGrey(grey, c.level, c.base);
    ASSERT_TRUE(d.ok()) << d.error().message;
    for (int x = 0; x < 3; ++x) EXPECT_FLOAT_EQ(d->at<float>(0, x), c.expected[x]) << "level " << c.level;
  }
}

TEST(DisplayGrey, DecodingRefusesWhatIsNotAGreyMapOrHasNoLevel) {
  const struct {
    const char* what;
    cv::Mat map;
    int level;
    const char* message;
  } cases[] = {
      {"level 0", cv::Mat(1, 3, CV_8UC1, cv::Scalar(3)), 0, "display level must be positive, but is 0"},
      {"negative level", cv::Mat(1, 3, CV_8UC1, cv::Scalar(3)), -2, "display level must be positive, but is -2"},
      {"colour map", cv::Mat(1, 3, CV_8UC3, cv::Scalar::all(3)), 3, "display map must be 8-bit grey"},
      {"16-bit map", cv::Mat(1, 3, CV_16UC1, cv::Scalar(3)), 3, "display map must be 8-bit grey"},
  };
  for (const auto& c : cases) {
    const Expected<cv::Mat> d = disparityFromGrey(c.map, c.level, 0);
    ASSERT_FALSE(d.ok()) << c.what;
    EXPECT_EQ(d.error().kind, ErrorKind::InvalidInput) << c.what;
    EXPECT_EQ(d.error().message, c.message) << c.what;
  }
}

// The display rule and its inverse live apart from labels-to-disparities:
// as long as no grey value wraps, encoding and decoding give the disparities
// the labels stand for, for either sign of the base.
TEST(DisplayGrey, DecodingADisplayMapGivesTheLabelsDisparities) {
  const std::vector<int> labels = {0, 1, 7, 20, 42, 3};
  for (const int base : {-6, 0, 5}) {
    const int level = 4;
    const Expected<cv::Mat> decoded = disparityFromGrey(*renderDisplayMap(labels, 3, 2, base, level), level, base);
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    const cv::Mat expected = *floatDisparity(labels, 3, 2, base);
    EXPECT_EQ(cv::norm(*decoded, expected, cv::NORM_INF), 0.0) << "base " << base;
  }
}

}  // namespace
}  // namespace orbelt
