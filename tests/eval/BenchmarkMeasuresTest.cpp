// The Middlebury 2014 and KITTI measures on small maps whose every figure is
// worked out by hand in the comments.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "eval/KittiMeasures.h"
#include "eval/Middlebury2014Measures.h"

namespace orbelt {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(Middlebury2014Measures, ScoreEachRegionWithTheMasksOccludedPixelsOnlyInAll) {
  // Mask 255 nonocc, 128 occluded, 0 no truth; truth inf = no truth.
  Middlebury2014Truth truth;
  truth.disparity = (cv::Mat_<float>(2, 5) << 10, 10, 10, 10, 10, 20, 20, kInf, 20, 20);
  truth.mask = (cv::Mat_<uchar>(2, 5) << 255, 255, 255, 128, 128, 255, 128, 255, 0, 255);
  // Errors: 0, 0.6, unknown, 2.5 (occ), 5 (occ) | 1, 4.5 (occ), no truth, mask 0, 0.25.
  const cv::Mat disparity = (cv::Mat_<float>(2, 5) << 10, 10.6f, kInf, 12.5f, 5, 21, 24.5f, 0, 100, 20.25f);
  const Expected<Middlebury2014Score> score = scoreMiddlebury2014(disparity, truth);
  ASSERT_TRUE(score) << score.error().message;
  ASSERT_TRUE(score->hasNonocc);

  // nonocc: 0, 0.25, 0.6, 1, unknown.
  const Middlebury2014RegionScore& nonocc = score->nonocc;
  EXPECT_EQ(nonocc.evaluated, 5);
  EXPECT_EQ(nonocc.unknown, 1);
  const double nonoccBad[] = {60, 20, 20, 20};  // > 0.5: 0.6, 1, unknown; > 1 (1 is not): unknown only
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(nonocc.bad[i], nonoccBad[i], 1e-4) << i;
  EXPECT_NEAR(nonocc.avgErr, (0 + 0.25 + 0.6 + 1) / 4, 1e-6);
  EXPECT_NEAR(nonocc.rms, std::sqrt((0.0625 + 0.36 + 1) / 4), 1e-6);
  EXPECT_NEAR(nonocc.quantiles[0], 0.6, 1e-6);  // the 3rd of 5
  EXPECT_EQ(nonocc.quantiles[1], kInf);         // the 5th: the unknown pixel

  // all adds the three occluded pixels: 0, 0.25, 0.6, 1, 2.5, 4.5, 5, unknown.
  const Middlebury2014RegionScore& all = score->all;
  EXPECT_EQ(all.evaluated, 8);
  EXPECT_EQ(all.unknown, 1);
  const double allBad[] = {75, 50, 50, 37.5};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(all.bad[i], allBad[i], 1e-4) << i;
  EXPECT_NEAR(all.avgErr, 13.85 / 7, 1e-6);
  EXPECT_NEAR(all.rms, std::sqrt(52.9225 / 7), 1e-6);
  EXPECT_NEAR(all.quantiles[0], 1.0, 1e-6);  // the 4th of 8

  // Without a mask every pixel with truth is in all, and nonocc is not scored.
  truth.mask = cv::Mat();
  const Expected<Middlebury2014Score> unmasked = scoreMiddlebury2014(disparity, truth);
  ASSERT_TRUE(unmasked);
  EXPECT_FALSE(unmasked->hasNonocc);
  EXPECT_EQ(unmasked->all.evaluated, 9);
}

TEST(Middlebury2014Measures, QuantilesAreNearestRankWithUnknownPixelsRankedLast) {
  // Errors 0.01, 0.02, ..., 1.00 over 100 pixels.
  Middlebury2014Truth truth{cv::Mat(1, 100, CV_32FC1, cv::Scalar(0)), cv::Mat()};
  cv::Mat disparity(1, 100, CV_32FC1);
  for (int i = 0; i < 100; ++i) disparity.at<float>(0, i) = (i + 1) / 100.0f;
  const struct {
    int unknown;  // the largest errors made unknown
    double a50, a90, a95, a99;
  } cases[] = {
      {0, 0.50, 0.90, 0.95, 0.99},
      {1, 0.50, 0.90, 0.95, 0.99},  // the unknown pixel takes rank 100: A99 is still the 99th
      {2, 0.50, 0.90, 0.95, kInf},  // now rank 99 is unknown
      {10, 0.50, 0.90, kInf, kInf},
  };
  for (const auto& c : cases) {
    cv::Mat holed = disparity.clone();
    for (int i = 0; i < c.unknown; ++i) holed.at<float>(0, 99 - i) = NAN;
    const Expected<Middlebury2014Score> score = scoreMiddlebury2014(holed, truth);
    ASSERT_TRUE(score);
    const double expected[] = {c.a50, c.a90, c.a95, c.a99};
    for (int i = 0; i < 4; ++i) {
      if (std::isinf(expected[i])) {
        EXPECT_EQ(score->all.quantiles[i], kInf) << c.unknown << " unknown, A" << kMiddlebury2014Quantiles[i];
      } else {
        EXPECT_NEAR(score->all.quantiles[i], expected[i], 1e-6) << c.unknown << " unknown";
      }
    }
  }
}

TEST(Middlebury2014Measures, RefuseMapsThatDoNotFitTheTruth) {
  const Middlebury2014Truth truth{cv::Mat(3, 4, CV_32FC1, cv::Scalar(1)), cv::Mat(3, 4, CV_8UC1, cv::Scalar(255))};
  EXPECT_FALSE(scoreMiddlebury2014(cv::Mat(4, 3, CV_32FC1), truth));
  EXPECT_FALSE(scoreMiddlebury2014(cv::Mat(3, 4, CV_16UC1), truth));
  EXPECT_FALSE(scoreMiddlebury2014(cv::Mat(3, 4, CV_32FC1), {truth.disparity, cv::Mat(3, 5, CV_8UC1)}));
}

TEST(KittiMeasures, OutliersExceedThreePixelsAndFivePercentAndHolesAreFilledFromTheBackground) {
  KittiTruth truth;
  truth.occ = (cv::Mat_<float>(3, 5) << 100, 100, 10, 10, 50, 30, 30, 30, kInf, kInf, 20, 20, kInf, kInf, kInf);
  truth.noc = truth.occ.clone();
  truth.noc.at<float>(0, 4) = kInf;  // occluded
  truth.noc.at<float>(1, 2) = kInf;
  const cv::Mat disparity = (cv::Mat_<float>(3, 5) << 104, 106, 13.5f, 12.9f, kInf,  // hole: takes 12.9
                             30, kInf, 40, 0, 0,                                     // hole: lower of 30 and 40
                             kInf, kInf, kInf, kInf, kInf);                          // nothing to fill from
  const Expected<KittiScore> score = scoreKitti(disparity, truth);
  ASSERT_TRUE(score) << score.error().message;
  EXPECT_NEAR(score->density, 100.0 * 8 / 15, 1e-9);

  // occ errors: 4 (3 px but under 5 % of 100: no outlier), 6 (outlier), 3.5 (over 3 and 5 % of 10),
  // 2.9, 37.1 (the filled hole), 0, 0 (the hole filled with 30, not 40), 10, two unknown.
  const KittiRegionScore& occ = score->occ;
  EXPECT_EQ(occ.evaluated, 10);
  EXPECT_EQ(occ.unknown, 2);
  EXPECT_NEAR(occ.d1, 60, 1e-4);
  const double occBad[] = {80, 70, 50, 50};  // > 2, 3, 4, 5 px: 4 is not above 4
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(occ.bad[i], occBad[i], 1e-4) << kKittiThresholds[i];
  EXPECT_NEAR(occ.avgErr, 63.5 / 8, 1e-5);

  // noc leaves out 37.1 and 10: 4, 6, 3.5, 2.9, 0, two unknown.
  const KittiRegionScore& noc = score->noc;
  EXPECT_EQ(noc.evaluated, 8);
  EXPECT_NEAR(noc.d1, 50, 1e-4);
  const double nocBad[] = {75, 62.5, 37.5, 37.5};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(noc.bad[i], nocBad[i], 1e-4) << kKittiThresholds[i];
  EXPECT_NEAR(noc.avgErr, 16.4 / 6, 1e-5);
  EXPECT_EQ(disparity.at<float>(0, 4), kInf);  // the caller's map is not filled
}

TEST(KittiMeasures, ScoreWhicheverTruthIsThereAndRefuseWhatDoesNotFit) {
  const cv::Mat map(2, 3, CV_32FC1, cv::Scalar(5));
  const Expected<KittiScore> occOnly = scoreKitti(map, {cv::Mat(), cv::Mat(2, 3, CV_32FC1, cv::Scalar(5))});
  ASSERT_TRUE(occOnly);
  EXPECT_FALSE(occOnly->hasNoc);
  EXPECT_EQ(occOnly->occ.evaluated, 6);
  EXPECT_EQ(occOnly->occ.d1, 0);
  EXPECT_FALSE(scoreKitti(map, {}));
  EXPECT_FALSE(scoreKitti(map, {cv::Mat(3, 2, CV_32FC1, cv::Scalar(5)), cv::Mat()}));
  EXPECT_FALSE(scoreKitti(cv::Mat(2, 3, CV_16UC1), {cv::Mat(2, 3, CV_32FC1), cv::Mat()}));
}

}  // namespace
}  // namespace orbelt
