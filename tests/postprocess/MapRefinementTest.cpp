#include "postprocess/MapRefinement.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "postprocess/FloatDisparity.h"
#include "postprocess/WeightedMedian.h"
#include "tests/postprocess/NonFinite.h"

namespace orbelt {
namespace {

using postprocesstest::kInf;
using postprocesstest::kNaN;

TEST(RefinementOptions, RefusesChoicesThatCannotRunAndNamesTheOption) {
  struct Case {
    const char* what;
    RefinementOptions options;
    const char* message;  // empty: accepted
  };
  const Case cases[] = {
      {"nothing asked", {}, ""},
      {"check, fill and median", {.lrCheck = true, .fill = true, .medianRadius = 3}, ""},
      {"threshold 0", {.lrCheck = true, .lrThreshold = 0.0}, ""},
      {"median alone", {.medianRadius = 1}, ""},
      {"negative threshold",
       {.lrCheck = true, .lrThreshold = -0.5},
       "leftRightThreshold is -0.5; the threshold must be a number of pixels, 0 or more"},
      {"NaN threshold", {.lrCheck = true, .lrThreshold = kNaN}, "must be a number of pixels, 0 or more"},
      {"infinite threshold", {.lrCheck = true, .lrThreshold = kInf}, "must be a number of pixels, 0 or more"},
      {"fill without the check", {.fill = true}, "fill needs leftRightThreshold"},
      {"median 0",
       {.lrCheck = true, .fill = true, .medianRadius = 0},
       "medianRadius is 0; it must be a whole number of pixels from 1 to"},
      {"median above the bound", {.medianRadius = kMaxMedianRadius + 1}, "from 1 to"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Status status = c.options.check();
    if (std::string(c.message).empty()) {
      EXPECT_TRUE(status.ok()) << status.error().message;
    } else {
      ASSERT_FALSE(status.ok());
      EXPECT_EQ(status.error().kind, ErrorKind::InvalidInput);
      EXPECT_NE(status.error().message.find(c.message), std::string::npos) << status.error().message;
    }
  }
}

// Two rows of six. Row 0: the right view sees disparity 1 everywhere, the
// left labels say 1 1 3 3 1 1, so column 0 (match outside the right view),
// 2 (likewise) and 3 (right says 1, left 3) fail. Row 1: every left pixel
// contradicts the right view.
class MapRefinement : public ::testing::Test {
 protected:
  const int width = 6, height = 2;
  const std::vector<int> labels = {1, 1, 3, 3, 1, 1, 3, 3, 3, 3, 3, 3};
  const std::vector<int> rightLabels = std::vector<int>(12, 0);
  const cv::Mat guide = cv::Mat(2, 6, CV_8UC3, cv::Scalar(40, 80, 120));
  std::vector<int> right() const {
    std::vector<int> r = rightLabels;
    for (int x = 0; x < width; ++x) r[x] = 1;
    return r;
  }
};

TEST_F(MapRefinement, TheCheckMarksFailuresUnknownAndTheFillGivesThemTheBackground) {
  const std::vector<int> r = right();
  const Expected<RefinedMap> checked =
      refineDisparityMap(labels, &r, width, height, 0, nullptr, guide, {.lrCheck = true});
  ASSERT_TRUE(checked) << checked.error().message;
  EXPECT_EQ(checked->consistent, (std::vector<std::uint8_t>{0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(checked->consistentCount, 3u);
  const std::vector<bool> known = {false, true, false, false, true, true};
  for (int x = 0; x < width; ++x) {
    EXPECT_EQ(std::isfinite(checked->disparity.at<float>(0, x)), known[x]) << x;
    EXPECT_FALSE(std::isfinite(checked->disparity.at<float>(1, x))) << x;
  }

  const Expected<RefinedMap> filled =
      refineDisparityMap(labels, &r, width, height, 0, nullptr, guide, {.lrCheck = true, .fill = true});
  ASSERT_TRUE(filled) << filled.error().message;
  for (int x = 0; x < width; ++x) {
    // The holes in columns 2-3 lie between 1 and 1; column 0 has only its right side.
    EXPECT_EQ(filled->disparity.at<float>(0, x), 1.f) << x;
    EXPECT_FALSE(std::isfinite(filled->disparity.at<float>(1, x))) << "a row without a consistent pixel stays unknown";
  }
  EXPECT_EQ(filled->fill.filled, 3u);
  EXPECT_EQ(filled->fill.unknown, 6u);
  EXPECT_EQ(filled->consistent, checked->consistent) << "the fill does not change what the check found";
}

TEST_F(MapRefinement, TheMedianRunsLastAndKeepsUnfilledHolesUnknown) {
  const std::vector<int> r = right();
  const Expected<RefinedMap> all = refineDisparityMap(labels, &r, width, height, 0, nullptr, guide,
                                                      {.lrCheck = true, .fill = true, .medianRadius = 2});
  const Expected<RefinedMap> filled =
      refineDisparityMap(labels, &r, width, height, 0, nullptr, guide, {.lrCheck = true, .fill = true});
  ASSERT_TRUE(all && filled);
  const Expected<cv::Mat> expected = weightedMedian(filled->disparity, guide, {2});
  ASSERT_TRUE(expected);
  EXPECT_EQ(cv::norm(all->disparity(cv::Rect(0, 0, 6, 1)), (*expected)(cv::Rect(0, 0, 6, 1)), cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::countNonZero(all->disparity.row(1) == std::numeric_limits<float>::infinity()), 6);

  const Expected<RefinedMap> unfilled =
      refineDisparityMap(labels, &r, width, height, 0, nullptr, guide, {.lrCheck = true, .medianRadius = 2});
  ASSERT_TRUE(unfilled);
  for (int x : {0, 2, 3}) EXPECT_FALSE(std::isfinite(unfilled->disparity.at<float>(0, x))) << x;
}

TEST_F(MapRefinement, WithoutOptionsTheMapIsTheLabelsAndTheRightViewIsNotRead) {
  const Expected<RefinedMap> plain = refineDisparityMap(labels, nullptr, width, height, 5, nullptr, guide, {});
  ASSERT_TRUE(plain);
  EXPECT_EQ(cv::norm(plain->disparity, *floatDisparity(labels, width, height, 5), cv::NORM_INF), 0.0);
  EXPECT_EQ(plain->consistentCount, 12u);
  EXPECT_TRUE(plain->consistent.empty());
}

TEST_F(MapRefinement, RefusesWhatDoesNotFit) {
  const std::vector<int> shortRight(5, 0);
  const std::vector<float> shortOffsets(3, 0.f);
  struct Case {
    const char* what;
    const std::vector<int>* right;
    const std::vector<float>* offsets;
    int w;
    RefinementOptions options;
    const char* message;
  };
  const Case cases[] = {
      {"check without the right labels", nullptr, nullptr, 6, {.lrCheck = true}, "needs the right view's labels"},
      {"right labels of another size", &shortRight, nullptr, 6, {.lrCheck = true}, "needs the right view's labels"},
      {"a width that does not fit the labels", nullptr, nullptr, 5, {}, "12 labels, not 5 x 2"},
      {"offsets of another size", nullptr, &shortOffsets, 6, {}, "12 labels, not 6 x 2"},
      {"options that do not pass their check", nullptr, nullptr, 6, {.fill = true}, "fill needs leftRightThreshold"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Expected<RefinedMap> refined =
        refineDisparityMap(labels, c.right, c.w, height, 0, c.offsets, guide, c.options);
    ASSERT_FALSE(refined);
    EXPECT_EQ(refined.error().kind, ErrorKind::InvalidInput);
    EXPECT_NE(refined.error().message.find(c.message), std::string::npos) << refined.error().message;
  }
}

}  // namespace
}  // namespace orbelt
