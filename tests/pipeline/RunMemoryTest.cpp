// The memory a run is judged by before any work: the estimate, which never
// overflows and counts the matcher as the matcher counts itself, and the
// refusal of a run that does not fit.
#include "pipeline/RunMemory.h"

#include <gtest/gtest.h>

#include "ancc/MatcherMemory.h"
#include "mrf/RecycledGridMoves.h"

namespace orbelt {
namespace {

// The volume is handed to the optimizer, not copied, so it counts once; but
// the optimizer's grid graph must fit beside it.
TEST(EstimateRunBytes, NeverOverflowsAndCoversTheVolumeAndTheOptimizersGraph) {
  MatcherOptions params;
  EXPECT_GE(estimateRunBytes(400, 300, params),
            estimateLabellingHeldBytes(400, 300, 70) + RecycledGridMoves::baseStateBytes(400, 300));
  EXPECT_GE(estimateLabellingHeldBytes(400, 300, 70), 400ull * 300 * 70 * 4);
  params.disparityRange = kMaxDisparityRange;
  params.halfWinSize = 2000000000;
  EXPECT_EQ(estimateRunBytes(2000000000, 2000000000, params), UINT64_MAX);
}

TEST(EstimateRunBytes, AWindowWiderThanTheImageCostsNoMoreThanOneThatJustCoversIt) {
  MatcherOptions covering;
  covering.halfWinSize = 39;  // max(40, 30) - 1
  MatcherOptions huge = covering;
  huge.halfWinSize = 1000000;
  EXPECT_EQ(estimateRunBytes(40, 30, huge), estimateRunBytes(40, 30, covering));
}

// The pipeline's matcher phase must be the matcher's own sizing: a budget of
// exactly the pipeline's figure lets the matcher run one worker, one byte
// less makes it refuse. Covers the blocked and the cached sweep, a window
// clamped to the image, a blend that skips a signal set and many labels.
TEST(EstimateRunBytes, TheMatcherPhaseIsTheMatchersOwnFigure) {
  struct Case {
    int width, height, labels, halfWinSize;
    bool baseline;
  };
  const Case cases[] = {
      {400, 300, 70, 15, false}, {40, 30, 8, 2, false},    {40, 30, 70, 1000000, false}, {1, 1, 1, 0, false},
      {37, 5, 300, 4, false},    {400, 300, 70, 15, true}, {9, 17, 3, 40, true},         {1000, 2, 2000, 7, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " labels " + std::to_string(c.labels) +
                 " r " + std::to_string(c.halfWinSize) + (c.baseline ? " cached" : " blocked"));
    MatcherOptions matcher;
    matcher.disparityRange = c.labels;
    matcher.halfWinSize = c.halfWinSize;
    matcher.useBaselineSweep = c.baseline;
    matcher.threadCount = 4;
    const std::uint64_t working = estimateMatcherWorkingBytes(c.width, c.height, matcher);
    EXPECT_EQ(working, matcherWorkingBytes(c.width, c.height, matcher, 1));
    EXPECT_EQ(matcherWorkerCount(c.width, c.height, matcher, 1, working), 1);
    EXPECT_EQ(matcherWorkerCount(c.width, c.height, matcher, 1, working - 1), 0);
    const std::uint64_t volumeBytes = std::uint64_t(c.width) * c.height * c.labels * sizeof(float);
    EXPECT_GE(estimateRunBytes(c.width, c.height, matcher), volumeBytes + working);
  }
}

TEST(EstimateRunBytes, TheMatcherFigureNeverOverflows) {
  MatcherOptions matcher;
  matcher.disparityRange = kMaxDisparityRange;
  matcher.halfWinSize = 2000000000;
  EXPECT_EQ(matcherWorkingBytes(2000000000, 2000000000, matcher, 1), UINT64_MAX);
  EXPECT_EQ(estimateMatcherWorkingBytes(2000000000, 2000000000, matcher), UINT64_MAX);
}

TEST(CheckRunFits, RefusesARunThatNeedsMoreThanIsAvailable) {
  const MatcherOptions params;
  const std::uint64_t need = estimateRunBytes(40, 30, params);
  EXPECT_TRUE(checkRunFits(40, 30, params, need, "Disparity Range", "HalfWinSize"));
  const Status refused = checkRunFits(40, 30, params, need - 1, "Disparity Range", "HalfWinSize");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, ErrorKind::RunTooLarge);
  const std::string refusal = refused.error().message;
  EXPECT_NE(refusal.find("needs about"), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("available"), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("lower Disparity Range or HalfWinSize"), std::string::npos) << refusal;
}

}  // namespace
}  // namespace orbelt
