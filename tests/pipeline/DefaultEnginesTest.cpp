// The pipeline on the real matcher and optimizer: the glue hands them what
// they need, passes their progress on, and keeps their own failure rules.
#include <gtest/gtest.h>

#include "pipeline/DisparityPipeline.h"
#include "tests/pipeline/EngineDoubles.h"

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

StereoParams smallRun() {
  StereoParams params;
  params.disparityRange = 6;
  params.halfWinSize = 2;
  return params;
}

TEST(DefaultEngines, FindTheShiftOfATexturedPairAndRepeatThemselvesWithASeed) {
  cv::Mat left, right;
  shiftedPair(32, 20, 3, left, right);
  const Expected<DisparityResult> firstRun = computeDisparity(left, right, smallRun(), defaultEngines(11));
  const Expected<DisparityResult> secondRun = computeDisparity(left, right, smallRun(), defaultEngines(11));
  ASSERT_TRUE(firstRun) << firstRun.error().message;
  ASSERT_TRUE(secondRun) << secondRun.error().message;
  const DisparityResult& first = *firstRun;
  const DisparityResult& second = *secondRun;
  EXPECT_EQ(first.labels, second.labels);
  EXPECT_EQ(first.passEnergies, second.passEnergies);
  // Columns 0..2 see nothing in the right view; the rest should find 3.
  int right3 = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 3; x < 32; ++x) right3 += first.labels[static_cast<size_t>(y) * 32 + x] == 3;
  EXPECT_GT(right3, 29 * 20 * 9 / 10);
}

TEST(DefaultEngines, PassTheirProgressOn) {
  cv::Mat left, right;
  shiftedPair(16, 10, 1, left, right);
  DisparityOptions options;
  int rowCalls = 0, lastRow = 0, moveCalls = 0, lastMove = 0;
  options.onRow = [&](int done, int height) {
    ++rowCalls;
    lastRow = done;
    EXPECT_EQ(height, 10);
  };
  options.onMove = [&](int done, int perPass) {
    ++moveCalls;
    lastMove = done;
    EXPECT_EQ(perPass, 6);
  };
  options.threadCount = 2;
  ASSERT_TRUE(computeDisparity(left, right, smallRun(), defaultEngines(1), options));
  EXPECT_EQ(rowCalls, 10);
  EXPECT_EQ(lastRow, 10);
  EXPECT_EQ(moveCalls, 6 * kOptimizerPasses);
  EXPECT_EQ(lastMove, 6);
}

TEST(DefaultEngines, TheOptimizerRefusesAnExponentThePipelinePassedOn) {
  cv::Mat left, right;
  shiftedPair(16, 10, 1, left, right);
  StereoParams params = smallRun();
  params.smoothExponent = 3;
  ASSERT_TRUE(checkRunInputs(left, right, params));  // not the pipeline's to refuse
  testing::RecordingMessageBox messages;
  PipelineContext context;
  context.messages = &messages;
  context.savePath = "/nonexistent/never-written.bmp";
  ImageSlots slots{left, right};
  Error ending;
  EXPECT_EQ(runDisparityPipeline(params, slots, context, nullptr, &ending), RunOutcome::Ended);
  EXPECT_EQ(ending.message, "Wrong exponent in setSmoothness()!\n");
  EXPECT_EQ(ending.exitStatus, 1);
  EXPECT_EQ(ending.stream, ErrorStream::Stderr);
  EXPECT_TRUE(messages.shown.empty());  // the dialog prints it on stderr, not in a box
  // Nothing was saved and the slots are as they were.
  EXPECT_EQ(slots.refImage.data, left.data);
  EXPECT_EQ(slots.targetImage.data, right.data);
}

}  // namespace
}  // namespace orbelt
