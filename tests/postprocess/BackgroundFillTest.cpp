#include "postprocess/BackgroundFill.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "tests/postprocess/NonFinite.h"

namespace orbelt {
namespace {

using postprocesstest::kInf;
using postprocesstest::kNaN;

cv::Mat rowOf(const std::vector<float>& values) { return cv::Mat(values, true).reshape(1, 1); }

std::vector<float> valuesOf(const cv::Mat& m) { return std::vector<float>(m.begin<float>(), m.end<float>()); }

struct FillCase {
  const char* what;
  std::vector<float> row;
  std::vector<float> expected;  // +inf: still unknown
  std::size_t filled;
  std::size_t unknown;
};

TEST(BackgroundFill, FillsEachHoleFromTheFartherSideOfItsRow) {
  const FillCase cases[] = {
      {"hole between two sides takes the lower", {5, kInf, kInf, 2, 7}, {5, 2, 2, 2, 7}, 2, 0},
      {"lower side on the left", {1, kInf, 9}, {1, 1, 9}, 1, 0},
      {"hole at the row's start takes its right side", {kInf, kInf, 3, 4}, {3, 3, 3, 4}, 2, 0},
      {"hole at the row's end takes its left side", {1, 2, kInf}, {1, 2, 2}, 1, 0},
      {"each hole looks only at its own nearest sides", {4, kInf, 8, kInf, 6}, {4, 4, 8, 6, 6}, 2, 0},
      {"NaN and -inf are unknown too", {3, kNaN, -kInf, 5}, {3, 3, 3, 5}, 2, 0},
      {"negative disparities are ordinary values", {-2, kInf, -7}, {-2, -7, -7}, 1, 0},
      {"a row with no known pixel stays unknown", {kInf, kNaN, kInf}, {kInf, kInf, kInf}, 0, 3},
      {"a row without holes is untouched", {1.5f, 2.25f, 3}, {1.5f, 2.25f, 3}, 0, 0},
  };
  for (const FillCase& c : cases) {
    SCOPED_TRACE(c.what);
    cv::Mat map = rowOf(c.row);
    const Expected<BackgroundFillSummary> summary = fillFromBackground(map);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->filled, c.filled);
    EXPECT_EQ(summary->unknown, c.unknown);
    const std::vector<float> got = valuesOf(map);
    ASSERT_EQ(got.size(), c.expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      if (std::isinf(c.expected[i])) {
        EXPECT_FALSE(std::isfinite(got[i])) << "at " << i;
      } else {
        EXPECT_EQ(got[i], c.expected[i]) << "at " << i;
      }
    }
  }
}

TEST(BackgroundFill, NeverBorrowsFromAnotherRow) {
  // The lower value sits right above the hole; a fill that walked the map as
  // one long line, or looked at columns, would take it.
  cv::Mat map = (cv::Mat_<float>(3, 3) << 0, 0, 0, 9, kInf, 8, kInf, kInf, kInf);
  const Expected<BackgroundFillSummary> summary = fillFromBackground(map);
  ASSERT_TRUE(summary);
  EXPECT_EQ(map.at<float>(1, 1), 8.f);
  EXPECT_FALSE(std::isfinite(map.at<float>(2, 0)));
  EXPECT_EQ(summary->filled, 1u);
  EXPECT_EQ(summary->unknown, 3u);
}

TEST(BackgroundFill, WorksOnAViewIntoALargerMap) {
  // A region of interest has a row stride wider than its width: the fill must
  // stop at the view's edge and leave the rest alone.
  cv::Mat whole = (cv::Mat_<float>(2, 4) << 1, kInf, 2, 0, 3, kInf, kInf, 0);
  cv::Mat view = whole(cv::Rect(0, 0, 3, 2));
  ASSERT_TRUE(fillFromBackground(view));
  EXPECT_EQ(whole.at<float>(0, 1), 1.f);
  EXPECT_EQ(whole.at<float>(1, 1), 3.f);  // the 0 beyond the view is not its right side
  EXPECT_EQ(whole.at<float>(1, 3), 0.f);
}

TEST(BackgroundFill, RefusesMapsItCannotReadAndLeavesThemAlone) {
  cv::Mat empty;
  cv::Mat integers = (cv::Mat_<int>(1, 3) << 1, -1, 2);
  cv::Mat twoChannels(2, 2, CV_32FC2, cv::Scalar(kInf, kInf));
  for (cv::Mat* map : {&empty, &integers, &twoChannels}) {
    const cv::Mat before = map->clone();
    const Expected<BackgroundFillSummary> summary = fillFromBackground(*map);
    ASSERT_FALSE(summary);
    EXPECT_EQ(summary.error().kind, ErrorKind::InvalidInput);
    EXPECT_NE(summary.error().message.find("one-channel float"), std::string::npos) << summary.error().message;
    if (!before.empty()) {
      EXPECT_EQ(cv::norm(*map, before, cv::NORM_INF), 0.0);
    }
  }
}

}  // namespace
}  // namespace orbelt
