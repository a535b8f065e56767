// What the run hands its matcher: the pair as given, the matcher's options
// whole (its blend and threads included) and the memory the run may take.
#include "pipeline/Matcher.h"

#include <gtest/gtest.h>

#include "ancc/AnccMatcher.h"
#include "pipeline/RunStereo.h"
#include "tests/pipeline/EngineDoubles.h"
#include "tests/pipeline/PatternedImages.h"

namespace orbelt {
namespace {

using testing::EngineLog;
using testing::patterned;
using testing::sameImage;

TEST(Matcher, TheRunHandsItItsValuesAndTheColourWeight) {
  for (const float weight : {1.0f, 0.0f, 0.25f}) {
    EngineLog log;
    StereoRequest request;
    request.left = patterned(8, 5, 1);
    request.right = patterned(8, 5, 2);
    request.options.matcher.baseDisparity = -3;
    request.options.matcher.disparityRange = 7;
    request.options.matcher.halfWinSize = 2;
    request.options.matcher.spatialSigma = 11.5f;
    request.options.matcher.colorSigma = 4.25f;
    request.options.matcher.logChromWeight = weight;
    request.options.useThreads(3);
    request.engines = testing::recordingEngines(log, [](int, int, int) { return 1.0f; });
    EXPECT_TRUE(runStereo(request));
    ASSERT_EQ(log.costCalls, 1);
    EXPECT_EQ(log.logChromWeight, weight);
    EXPECT_EQ(log.settings.baseDisparity, -3);
    EXPECT_EQ(log.settings.disparityRange, 7);
    EXPECT_EQ(log.settings.halfWinSize, 2);
    EXPECT_EQ(log.settings.spatialSigma, 11.5f);
    EXPECT_EQ(log.settings.colorSigma, 4.25f);
    EXPECT_EQ(log.settings.threadCount, 3);
    EXPECT_TRUE(sameImage(log.refSeen, request.left));
    EXPECT_TRUE(sameImage(log.targetSeen, request.right));
  }
}

// The real matcher behind the interface: the volume it returns is the one
// AnccMatcher fills, and a budget below its storage is refused in its words.
TEST(Matcher, TheAnccMatcherFillsTheVolumeWithinItsBudget) {
  const cv::Mat left = patterned(12, 9, 3);
  const cv::Mat right = patterned(12, 9, 4);
  MatcherOptions options;
  options.disparityRange = 3;
  options.halfWinSize = 2;
  options.threadCount = 1;
  const std::shared_ptr<const Matcher> matcher = createAnccMatcher();
  int rows = 0;
  StereoProgress progress;
  progress.onRow = [&rows](StereoView view, int, int) {
    EXPECT_EQ(view, StereoView::Right);
    ++rows;
  };
  const Expected<CostVolume> costs = matcher->compute(left, right, options, 1u << 30, progress, StereoView::Right);
  ASSERT_TRUE(costs) << costs.error().message;
  EXPECT_EQ(costs->width(), 12);
  EXPECT_EQ(costs->height(), 9);
  EXPECT_EQ(costs->disparityRange(), 3);
  EXPECT_EQ(rows, 9);
  CostVolume expected(12, 9, 3);
  AnccMatcher direct(expected, left, right, options);
  ASSERT_TRUE(direct.computeCostVolume());
  for (int x = 0; x < 12; ++x)
    for (int y = 0; y < 9; ++y)
      for (int d = 0; d < 3; ++d) ASSERT_EQ(costs->at(x, y, d), expected.at(x, y, d));

  // The volume counts against the budget; what is left is too little.
  const Expected<CostVolume> refused =
      matcher->compute(left, right, options, costs->bytes() + 1000, {}, StereoView::Left);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, ErrorKind::OutOfMemory);
}

}  // namespace
}  // namespace orbelt
