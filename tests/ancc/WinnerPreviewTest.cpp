// The winner-take-all preview: lowest label among equal costs, 8-bit wrap of
// the grey value, and the untouched outer frame.
#include "ancc/WinnerPreview.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orbelt {
namespace {

TEST(WinnerPreview, WinnerLabel) {
  struct Case {
    const char* name;
    std::vector<float> costs;
    int expected;
  };
  const float inf = INFINITY, nan = NAN;
  const Case cases[] = {
      {"smallest", {5, 3, 4}, 1},
      {"tie goes to the lowest label", {5, 2, 2, 2}, 1},
      {"no labels", {}, 0},
      {"all at the float maximum", {3.4028235e38f, 3.4028235e38f}, 0},
      {"infinite and NaN costs never win", {inf, nan, 7, nan}, 2},
  };
  for (const Case& c : cases)
    EXPECT_EQ(winnerLabel(c.costs.data(), static_cast<int>(c.costs.size())), c.expected) << c.name;
}

TEST(WinnerPreview, DrawsOnlyTheInterior) {
  CostVolume volume(4, 3, 70);
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 3; ++y)
      for (int d = 0; d < 70; ++d) volume.at(x, y, d) = d == 64 || d == 65 ? 1.0f : 9.0f;
  cv::Mat preview(3, 4, CV_8UC1, cv::Scalar(77));
  ASSERT_TRUE(renderPreview(volume, preview, 0, 4));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool inside = y == 1 && (x == 1 || x == 2);
      EXPECT_EQ(preview.at<uchar>(y, x), inside ? 0 : 77) << x << "," << y;  // label 64 * 4 wraps to 0
    }
  cv::Mat wrong(4, 3, CV_8UC1, cv::Scalar(77));
  EXPECT_FALSE(renderPreview(volume, wrong, 0, 4));
}

}  // namespace
}  // namespace orbelt
