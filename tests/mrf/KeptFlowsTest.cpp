// The kept flows' life: a label's halves are taken once and made present
// part by part by whoever writes them; a label whose pages the system could
// not supply keeps nothing, and no label takes a flow afterwards.
#include "mrf/KeptFlows.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace orbelt {
namespace {

TEST(KeptFlows, AFlowIsTakenOnceAndARefusedOneStopsEveryLaterOne) {
  constexpr int kPixels = 3000;  // halves over more than one page
  KeptFlows kept;
  kept.reset(kPixels, 3);
  bool fresh = false;
  std::uint16_t* halves = kept.flowsToWrite(0, fresh);
  ASSERT_NE(halves, nullptr);
  EXPECT_TRUE(fresh);
  EXPECT_TRUE(kept.makePresent(0, 0, kPixels));
  EXPECT_TRUE(kept.makePresent(0, kPixels, 2 * kPixels));
  halves[2 * kPixels - 1] = 7;
  EXPECT_EQ(kept.flowsToWrite(0, fresh), halves);
  EXPECT_FALSE(fresh) << "a label's second flow goes where its first is";
  EXPECT_EQ(kept.keptLabels(), 1);

  ASSERT_NE(kept.flowsToWrite(1, fresh), nullptr);
  kept.refuseFlows(1);
  EXPECT_EQ(kept.flows(1), nullptr);
  EXPECT_EQ(kept.keptLabels(), 1);
  EXPECT_EQ(kept.flowsToWrite(2, fresh), nullptr);
  EXPECT_FALSE(fresh);
  EXPECT_EQ(kept.flows(0), halves) << "the flows kept before stay";
}

}  // namespace
}  // namespace orbelt
