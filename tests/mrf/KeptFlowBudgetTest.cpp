// Kept flows under a memory budget: the labels past the budget keep no flow
// and start every move from the flow the previous move left in the graph.
// That start must still give each move its best expansion, a run under a
// tight budget must end with the labels of a run without one, and the
// budget must be kept to.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "mrf/AlphaExpansion.h"
#include "mrf/RecycledGridMoves.h"
#include "tests/mrf/GridEnergy.h"
#include "tests/mrf/MoveEnergy.h"

namespace orbelt {
namespace {

using mrftest::GridEnergy;

class Probe : public AlphaExpansion {
 public:
  using AlphaExpansion::AlphaExpansion;
  using AlphaExpansion::expandLabel;
};

// Room for `labels` kept flows beside what recycling needs anyway.
std::uint64_t budgetFor(const AlphaExpansion& solver, int width, int height, int labels) {
  return solver.recyclingBaseBytes() +
         static_cast<std::uint64_t>(labels) * RecycledGridMoves::keptFlowBytes(width, height);
}

TEST(KeptFlowBudget, MovesOfLabelsWithoutAKeptFlowAreStillTheBestExpansion) {
  std::mt19937 random(6174);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  std::int64_t borrowed = 0;
  for (int round = 0; round < 60; ++round) {
    const int width = pick(1, 4);
    const int height = pick(1, 12 / width);
    const int labelCount = pick(2, 4);
    SCOPED_TRACE(::testing::Message() << "round " << round << ": " << width << " x " << height << " x " << labelCount);
    GridEnergy e(width, height, labelCount);
    // Quarters: every sum is exact, so the brute force and the cut agree exactly.
    for (float& cost : e.costs) cost = 0.25f * static_cast<float>(pick(0, 24));
    e.setTruncatedPower(1, round % 2 == 0 ? 1.0f : 2.0f, 0.5f * static_cast<float>(pick(1, 6)));
    Probe solver(width, height, labelCount, &e.terms);
    EXPECT_TRUE(solver.initialize());
    // One label at most keeps its flow: the others borrow on every move.
    solver.setRecyclingMemoryLimit(budgetFor(solver, width, height, round % 2));
    std::vector<int> labels(static_cast<std::size_t>(width * height));
    for (int& l : labels) l = pick(0, labelCount - 1);
    mrftest::assignLabels(solver, labels);
    for (int move = 0; move < 12; ++move) {
      if (pick(0, 2) == 0) {
        // The caller relabels a pixel between moves now and then.
        labels[static_cast<std::size_t>(pick(0, width * height - 1))] = pick(0, labelCount - 1);
        mrftest::assignLabels(solver, labels);
      }
      const int alpha = pick(0, labelCount - 1);
      solver.expandLabel(alpha);
      const std::vector<int> after = mrftest::labelsOf(solver);
      ASSERT_EQ(e.energy(after), mrftest::bestExpansionEnergy(e, labels, alpha)) << "move " << move;
      labels = after;
    }
    ASSERT_TRUE(solver.recyclesFlows());
    EXPECT_LE(solver.keptFlowLabels(), round % 2);
    borrowed += solver.recycledMoveCounts().borrowed;
  }
  // Nearly every move after the first of each round borrowed.
  EXPECT_GT(borrowed, 60 * 11 / 2);
}

TEST(KeptFlowBudget, ATightBudgetGivesTheLabelsOfNone) {
  struct Case {
    const char* name;
    int keptLabels;  // labels the budget has room for
  };
  const Case cases[] = {
      {"no label keeps its flow", 0},
      {"one label keeps its flow", 1},
      {"all but one keep theirs", 6},
  };
  std::mt19937 random(1618);
  for (const Case& c : cases) {
    for (int round = 0; round < 3; ++round) {
      SCOPED_TRACE(::testing::Message() << c.name << ", round " << round);
      GridEnergy e(23, 17, 7);
      // Eighths keep every sum exact: the reachable source side is unique,
      // so both runs must cut exactly alike.
      for (float& cost : e.costs) cost = 0.125f * static_cast<float>(random() % 40);
      e.setTruncatedPower(round % 2 == 0 ? 2 : 1, round % 2 == 0 ? 5.0f : 3.0f, 0.5f);
      AlphaExpansion unlimited(23, 17, 7, &e.terms);
      AlphaExpansion tight(23, 17, 7, &e.terms);
      tight.setRecyclingMemoryLimit(budgetFor(tight, 23, 17, c.keptLabels));
      for (AlphaExpansion* s : {&unlimited, &tight}) {
        s->fixLabelOrderSeed(static_cast<std::uint32_t>(round + 1));
        EXPECT_TRUE(s->initialize());
        s->resetLabels();
      }
      for (int pass = 1; pass <= 6; ++pass) {
        EXPECT_TRUE(unlimited.optimize(1, nullptr));
        EXPECT_TRUE(tight.optimize(1, nullptr));
        ASSERT_EQ(mrftest::labelsOf(tight), mrftest::labelsOf(unlimited)) << "after pass " << pass;
        ASSERT_LE(tight.keptFlowLabels(), c.keptLabels) << "after pass " << pass;
      }
      EXPECT_TRUE(tight.recyclesFlows());
      EXPECT_EQ(unlimited.keptFlowLabels(), 7);
      // Lowering the budget mid-run drops flows, and the labels still agree.
      tight.setRecyclingMemoryLimit(budgetFor(tight, 23, 17, c.keptLabels / 2));
      EXPECT_LE(tight.keptFlowLabels(), c.keptLabels / 2);
      EXPECT_TRUE(unlimited.optimize(1, nullptr));
      EXPECT_TRUE(tight.optimize(1, nullptr));
      EXPECT_EQ(mrftest::labelsOf(tight), mrftest::labelsOf(unlimited));
    }
  }
}

}  // namespace
}  // namespace orbelt
