// Teddy laid out as a Middlebury 2014 set and Cones as KITTI frames (made by
// the dataset fixtures from the public 2003 sets), read back through the
// layouts and scored: the new measures must agree with the 2003 scoring on
// the same pixels, and each truth must score as perfect against itself.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include "eval/DisparityEvaluation.h"
#include "eval/KittiMeasures.h"
#include "eval/Middlebury2014Measures.h"
#include "tests/pipeline/TempFolder.h"
#include "tools/dataset-fixtures/DatasetFixtures.h"

namespace orbelt {
namespace {

using testing::TempFolder;

std::string publicSet(const char* name) { return std::string(ORBELT_SHARED_DATA_DIR) + "/middlebury2003/" + name; }

#define SKIP_WITHOUT(set)                          \
  if (!std::filesystem::is_directory(set))         \
  GTEST_SKIP() << "no public dataset at " << (set) \
               << "; the "                         \
                  "fixtures are made from it"

// A map that is the truth plus errors of 0.3, 0.8, 1.5 and 3 px in vertical
// bands, and unknown in a fifth band.
cv::Mat bandedMap(const cv::Mat& truth) {
  cv::Mat map = truth.clone();
  const float offsets[] = {0.3f, 0.8f, 1.5f, 3.0f, NAN};
  for (int y = 0; y < map.rows; ++y) {
    for (int x = 0; x < map.cols; ++x) {
      const float offset = offsets[(x / 16) % 5];
      map.at<float>(y, x) = std::isnan(offset) ? std::numeric_limits<float>::infinity() : map.at<float>(y, x) + offset;
    }
  }
  return map;
}

TEST(PublicSetFixtures, TeddyAsA2014SetScoresAsThe2003ScoringDoes) {
  const std::string teddy = publicSet("teddy");
  SKIP_WITHOUT(teddy);
  TempFolder folder;
  const std::string target = folder.file("trainingQ/Teddy");
  ASSERT_TRUE(fixtures::makeMiddlebury2014Set(teddy, target));
  const Expected<Middlebury2014Set> set = findMiddlebury2014Set(target);
  ASSERT_TRUE(set) << set.error().message;
  EXPECT_EQ(set->calibration.labelCount, 60);
  EXPECT_EQ(set->calibration.width, 450);
  EXPECT_EQ(set->calibration.camera.cx, 224.5);
  const Expected<Middlebury2014Truth> truth = readMiddlebury2014Truth(*set);
  ASSERT_TRUE(truth) << truth.error().message;
  ASSERT_TRUE(set->calibration.vmin && set->calibration.vmax);
  double low = 0, high = 0;
  cv::minMaxLoc(truth->disparity, &low, &high, nullptr, nullptr,
                truth->disparity != std::numeric_limits<float>::infinity());
  EXPECT_EQ(*set->calibration.vmin, std::floor(low));
  EXPECT_EQ(*set->calibration.vmax, std::ceil(high));

  const Expected<Middlebury2014Score> perfect = scoreMiddlebury2014(truth->disparity, *truth);
  ASSERT_TRUE(perfect);
  EXPECT_GT(perfect->nonocc.evaluated, 100000);
  EXPECT_GT(perfect->all.evaluated, perfect->nonocc.evaluated);  // the 128 pixels join all
  EXPECT_EQ(perfect->all.bad[0], 0);
  EXPECT_EQ(perfect->all.quantiles[3], 0);

  // The same map scored the 2003 way, against disp2.png x4 within nonocc.png
  // and all.png, must give the same bad shares and (known-pixel) mean error.
  const cv::Mat map = bandedMap(truth->disparity);
  const Expected<Middlebury2014Score> score = scoreMiddlebury2014(map, *truth);
  ASSERT_TRUE(score);
  const cv::Mat disp2 = cv::imread(teddy + "/disp2.png", cv::IMREAD_GRAYSCALE);
  const struct {
    const char* mask;
    const Middlebury2014RegionScore& region;
  } regions[] = {{"nonocc.png", score->nonocc}, {"all.png", score->all}};
  for (const auto& r : regions) {
    const Expected<DisparityScore> scored =
        evaluateDisparity(map, disp2, cv::imread(teddy + "/" + r.mask, cv::IMREAD_GRAYSCALE), {4.0, 0});
    ASSERT_TRUE(scored) << scored.error().message;
    const DisparityScore& old = *scored;
    EXPECT_EQ(r.region.evaluated, old.evaluated) << r.mask;
    EXPECT_EQ(r.region.unknown, old.invalid) << r.mask;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(r.region.bad[i], old.badAt(i), 1e-9) << r.mask << " " << i;
    EXPECT_NEAR(r.region.avgErr, old.meanError, 1e-6) << r.mask;
    EXPECT_EQ(r.region.quantiles[3], std::numeric_limits<double>::infinity());  // a fifth is unknown
    EXPECT_NEAR(r.region.quantiles[0], 1.5, 1e-4) << r.mask;  // half the known bands err by 1.5 or less
  }
}

TEST(PublicSetFixtures, ConesAsKittiFramesReadsBackItsCalibrationAndTruths) {
  const std::string cones = publicSet("cones");
  SKIP_WITHOUT(cones);
  TempFolder folder;
  ASSERT_TRUE(fixtures::makeKittiFrame(cones, folder.file("kitti2015/training"), KittiEdition::Stereo2015));
  ASSERT_TRUE(
      fixtures::makeKittiFrame(cones, folder.file("kitti2012/training"), KittiEdition::Stereo2012, "000003_10"));
  const cv::Mat disp2 = cv::imread(cones + "/disp2.png", cv::IMREAD_GRAYSCALE);
  const cv::Mat nonocc = cv::imread(cones + "/nonocc.png", cv::IMREAD_GRAYSCALE);
  for (const char* root : {"kitti2015", "kitti2012"}) {
    const Expected<std::vector<KittiFrame>> frames = listKittiFrames(folder.file(root));
    ASSERT_TRUE(frames) << frames.error().message;
    ASSERT_EQ(frames->size(), 1u) << root;
    const KittiFrame& frame = frames->front();
    const Expected<CameraCalibration> calibration = readKittiFrameCalibration(frame);
    ASSERT_TRUE(calibration) << calibration.error().message;
    EXPECT_NEAR(calibration->focal, 1000, 1e-3) << root;
    EXPECT_NEAR(calibration->baseline, 0.16, 1e-6) << root;
    EXPECT_NEAR(calibration->cx, 224.5, 1e-3) << root;

    const Expected<KittiTruth> truth = readKittiTruth(frame);
    ASSERT_TRUE(truth) << truth.error().message;
    for (int y = 0; y < disp2.rows; y += 7) {
      for (int x = 0; x < disp2.cols; x += 5) {
        const float noc = truth->noc.at<float>(y, x);
        if (nonocc.at<uchar>(y, x) == 255 && disp2.at<uchar>(y, x) > 0) {
          EXPECT_EQ(noc, disp2.at<uchar>(y, x) / 4.0f) << x << "," << y;  // quarter pixels are exact at x256
        } else {
          EXPECT_EQ(noc, std::numeric_limits<float>::infinity()) << x << "," << y;
        }
      }
    }
    const Expected<KittiScore> perfect = scoreKitti(truth->occ, *truth);
    ASSERT_TRUE(perfect);
    EXPECT_GT(perfect->noc.evaluated, 100000);
    EXPECT_EQ(perfect->noc.d1, 0);
    EXPECT_EQ(perfect->occ.bad[0], 0);
  }
}

}  // namespace
}  // namespace orbelt
