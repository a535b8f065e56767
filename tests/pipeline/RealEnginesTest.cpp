// The run on the real matcher and optimizer: the glue hands them what they
// need, passes their progress on, and keeps their own failure rules.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "pipeline/RunMemory.h"
#include "pipeline/RunStereo.h"

namespace orbelt {
namespace {

// A random texture and a right view that sees it `shift` columns to the
// left, so the true disparity is `shift` wherever the point is visible.
void shiftedPair(int width, int height, int shift, cv::Mat& left, cv::Mat& right) {
  cv::RNG rng(7);
  left.create(height, width, CV_8UC3);
  right.create(height, width, CV_8UC3);
  rng.fill(left, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
  rng.fill(right, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
  left(cv::Rect(shift, 0, width - shift, height)).copyTo(right(cv::Rect(0, 0, width - shift, height)));
}

StereoRequest smallRun(int width, int height, int shift, std::uint32_t seed) {
  StereoRequest request;
  shiftedPair(width, height, shift, request.left, request.right);
  request.options.matcher.disparityRange = 6;
  request.options.matcher.halfWinSize = 2;
  request.options.optimizer.seed = seed;
  return request;
}

TEST(RealEngines, FindTheShiftOfATexturedPairAndRepeatThemselvesWithASeed) {
  const Expected<StereoResult> firstRun = runStereo(smallRun(32, 20, 3, 11));
  const Expected<StereoResult> secondRun = runStereo(smallRun(32, 20, 3, 11));
  ASSERT_TRUE(firstRun) << firstRun.error().message;
  ASSERT_TRUE(secondRun) << secondRun.error().message;
  const DisparityResult& first = firstRun->left;
  const DisparityResult& second = secondRun->left;
  EXPECT_EQ(first.labels, second.labels);
  EXPECT_EQ(first.passEnergies, second.passEnergies);
  // Columns 0..2 see nothing in the right view; the rest should find 3.
  int right3 = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 3; x < 32; ++x) right3 += first.labels[static_cast<size_t>(y) * 32 + x] == 3;
  EXPECT_GT(right3, 29 * 20 * 9 / 10);
}

TEST(RealEngines, PassTheirProgressOn) {
  StereoRequest request = smallRun(16, 10, 1, 1);
  int rowCalls = 0, lastRow = 0, moveCalls = 0, lastMove = 0;
  request.progress.onRow = [&](StereoView view, int done, int height) {
    EXPECT_EQ(view, StereoView::Left);
    ++rowCalls;
    lastRow = done;
    EXPECT_EQ(height, 10);
  };
  request.progress.onMove = [&](StereoView view, int done, int perPass) {
    EXPECT_EQ(view, StereoView::Left);
    ++moveCalls;
    lastMove = done;
    EXPECT_EQ(perPass, 6);
  };
  request.options.useThreads(2);
  ASSERT_TRUE(runStereo(request));
  EXPECT_EQ(rowCalls, 10);
  EXPECT_EQ(lastRow, 10);
  EXPECT_EQ(moveCalls, 6 * kOptimizerPasses);
  EXPECT_EQ(lastMove, 6);
}

// A run given the least memory it accepts keeps only some labels' flows
// between passes, and labels the pair exactly as a run without a limit. A
// part of the default pair, big enough that the matcher's fixed working
// storage does not leave the optimizer room for every label's flow.
TEST(RealEngines, ARunUnderATightBudgetGivesTheUnlimitedRunsLabels) {
  const cv::Mat left = cv::imread(ORBELT_DATA_DIR "/Img0.png", cv::IMREAD_COLOR);
  const cv::Mat right = cv::imread(ORBELT_DATA_DIR "/Img1.png", cv::IMREAD_COLOR);
  ASSERT_FALSE(left.empty() || right.empty()) << "cannot read the default pair in " ORBELT_DATA_DIR;
  const cv::Rect part(0, 40, 320, 220);
  for (int exponent : {1, 2}) {
    SCOPED_TRACE("exponent " + std::to_string(exponent));
    StereoRequest request;
    request.left = left(part).clone();
    request.right = right(part).clone();
    request.options.matcher.disparityRange = 64;
    request.options.matcher.halfWinSize = 1;
    request.options.optimizer.smoothExponent = exponent;
    request.options.optimizer.seed = 4;
    request.options.useThreads(1);
    const Expected<StereoResult> unlimited = runStereo(request);
    ASSERT_TRUE(unlimited) << unlimited.error().message;
    EXPECT_EQ(unlimited->left.keptFlowLabels, 64);

    request.availableBytes = estimateRunBytes(part.width, part.height, request.options.matcher);
    const Expected<StereoResult> tight = runStereo(request);
    ASSERT_TRUE(tight) << tight.error().message;
    EXPECT_TRUE(tight->left.flowRecycling);
    EXPECT_GT(tight->left.keptFlowLabels, 0);
    EXPECT_LT(tight->left.keptFlowLabels, 64);
    EXPECT_EQ(tight->left.labels, unlimited->left.labels);
    EXPECT_EQ(tight->left.passEnergies, unlimited->left.passEnergies);
  }
}

// An exponent the options leave to the optimizer is refused by it, after the
// costs: its own message, as an engine's failure.
TEST(RealEngines, TheOptimizerRefusesAnExponentLeftToIt) {
  StereoRequest request = smallRun(16, 10, 1, 1);
  request.options.optimizer.smoothExponent = 3;
  request.options.optimizer.exponentLeftToSolver = true;
  int rows = 0;
  request.progress.onRow = [&rows](StereoView, int, int) { ++rows; };
  ASSERT_TRUE(checkStereoRequest(request));  // not the run's to refuse
  const Expected<StereoResult> refused = runStereo(request);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "Wrong exponent in setSmoothness()!\n");
  EXPECT_EQ(refused.error().kind, ErrorKind::EngineFailure);
  EXPECT_EQ(rows, 10);  // the cost volume was computed first
}

}  // namespace
}  // namespace orbelt
