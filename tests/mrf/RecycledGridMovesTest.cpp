// Moves solved from recycled flows: each must still be the best expansion of
// its label whatever changed since that label's last move (labels, data
// costs, multipliers), and so must a label's first move, started from the
// flow of another label's move; a recycled move must cut as much as a move
// solved fresh on the non-metric default energy; the fresh way the optimizer
// falls back to must give the same labels; and the thread count must not
// change any label.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "mrf/AlphaExpansion.h"
#include "mrf/RecycledGridMoves.h"
#include "tests/mrf/GridEnergy.h"
#include "tests/mrf/MoveEnergy.h"

namespace orbelt {
namespace {

using mrftest::bestExpansionEnergy;
using mrftest::GridEnergy;

class Probe : public AlphaExpansion {
 public:
  using AlphaExpansion::AlphaExpansion;
  using AlphaExpansion::expandLabel;
};

enum class Change { Nothing, FewLabels, ManyLabels, DataCosts, Multipliers };

TEST(RecycledGridMoves, EveryMoveIsTheBestExpansionWhateverChangedSinceItsLabelsLastMove) {
  struct Case {
    const char* name;
    Change change;
  };
  const Case cases[] = {
      {"nothing changed but the other labels' moves", Change::Nothing},
      {"a pixel or two relabelled by the caller", Change::FewLabels},
      {"half the pixels relabelled by the caller", Change::ManyLabels},
      {"data costs redrawn", Change::DataCosts},
      {"multipliers redrawn", Change::Multipliers},
  };
  std::mt19937 random(9001);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  std::int64_t recycled = 0;
  std::int64_t borrowed = 0;
  for (const Case& c : cases) {
    for (int round = 0; round < 40; ++round) {
      const int width = pick(1, 4);
      const int height = pick(1, 12 / width);
      const int labelCount = pick(2, 4);
      SCOPED_TRACE(::testing::Message() << c.name << ", round " << round << ": " << width << " x " << height << " x "
                                        << labelCount);
      GridEnergy e(width, height, labelCount);
      // Quarters: every sum is exact, so the brute force and the cut agree exactly.
      for (float& cost : e.costs) cost = 0.25f * static_cast<float>(pick(0, 24));
      const float lambda = 0.5f * static_cast<float>(pick(1, 6));
      switch (round % 3) {
        case 0: e.setTruncatedPower(1, 1.0f, lambda); break;
        case 1: e.setTruncatedPower(1, 2.0f, lambda); break;
        default: e.setTableFromTruncatedLinear(3.0f, lambda); break;
      }
      e.smooth.useMultipliers = c.change == Change::Multipliers || round % 2 == 0;
      Probe solver(width, height, labelCount, &e.terms);
      EXPECT_TRUE(solver.initialize());
      std::vector<int> labels(static_cast<std::size_t>(width * height));
      for (int& l : labels) l = pick(0, labelCount - 1);
      mrftest::assignLabels(solver, labels);
      for (int move = 0; move < 12; ++move) {
        labels = mrftest::labelsOf(solver);
        switch (c.change) {
          case Change::Nothing: break;
          case Change::FewLabels:
            for (int k = pick(1, 2); k > 0; --k)
              labels[static_cast<std::size_t>(pick(0, width * height - 1))] = pick(0, labelCount - 1);
            break;
          case Change::ManyLabels:
            for (int& l : labels)
              if (pick(0, 1) == 1) l = pick(0, labelCount - 1);
            break;
          case Change::DataCosts:
            for (float& cost : e.costs)
              if (pick(0, 3) == 0) cost = 0.25f * static_cast<float>(pick(0, 24));
            break;
          case Change::Multipliers:
            for (float& m : e.horizontal) m = 0.5f * static_cast<float>(pick(0, 4));
            for (float& m : e.vertical) m = 0.5f * static_cast<float>(pick(0, 4));
            break;
        }
        mrftest::assignLabels(solver, labels);
        const int alpha = pick(0, labelCount - 1);
        solver.expandLabel(alpha);
        const std::vector<int> after = mrftest::labelsOf(solver);
        for (std::size_t p = 0; p < after.size(); ++p)
          ASSERT_TRUE(after[p] == labels[p] || after[p] == alpha) << "move " << move << ", pixel " << p;
        ASSERT_EQ(e.energy(after), bestExpansionEnergy(e, labels, alpha)) << "move " << move << ", alpha " << alpha;
      }
      ASSERT_TRUE(solver.recyclesFlows());
      recycled += solver.recycledMoveCounts().recycled;
      borrowed += solver.recycledMoveCounts().borrowed;
    }
  }
  // The table above is about recycled moves: most of them must have been,
  // and a label's first move, which starts from another label's flow, must
  // have been checked too.
  EXPECT_GT(recycled, 5 * 40 * 12 / 2);
  EXPECT_GT(borrowed, 5 * 40);
}

// The energy of a move's outcome as its cut sees it: pairs that no cut can
// hold are corrected as the optimizer documents (the excess x of
// Ekk + Eaa over Eka + Eak: a third off Eaa, a third onto Eka, the rest
// onto Eak), computed here in double.
double cutEnergy(const GridEnergy& e, const std::vector<int>& start, const std::vector<int>& after, int alpha) {
  double total = 0.0;
  for (int p = 0; p < e.width * e.height; ++p) total += e.dataCost(p, after[static_cast<std::size_t>(p)]);
  auto pair = [&](int p, int q, bool horizontal) {
    const int lp = start[static_cast<std::size_t>(p)];
    const int lq = start[static_cast<std::size_t>(q)];
    const bool pa = after[static_cast<std::size_t>(p)] == alpha && lp != alpha;
    const bool qa = after[static_cast<std::size_t>(q)] == alpha && lq != alpha;
    if (lp == alpha || lq == alpha)
      return e.pairCost(p, q, horizontal, pa || lp == alpha ? alpha : lp, qa || lq == alpha ? alpha : lq);
    const double ekk = e.pairCost(p, q, horizontal, lp, lq);
    double eka = e.pairCost(p, q, horizontal, lp, alpha);
    double eak = e.pairCost(p, q, horizontal, alpha, lq);
    double eaa = e.pairCost(p, q, horizontal, alpha, alpha);
    if (ekk + eaa > eka + eak) {
      const double x = ekk + eaa - eka - eak;
      eaa -= x / 3;
      eka += x / 3;
      eak += x - 2 * x / 3;
    }
    return pa ? (qa ? eaa : eak) : (qa ? eka : ekk);
  };
  for (int y = 0; y < e.height; ++y) {
    for (int x = 0; x < e.width; ++x) {
      const int p = y * e.width + x;
      if (x + 1 < e.width) total += pair(p, p + 1, true);
      if (y + 1 < e.height) total += pair(p, p + e.width, false);
    }
  }
  return total;
}

TEST(RecycledGridMoves, OnTheSquaredTruncatedEnergyARecycledMoveCutsAsMuchAsAFreshOne) {
  std::mt19937 random(31337);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  for (int round = 0; round < 12; ++round) {
    const int width = pick(8, 40);
    const int height = pick(8, 30);
    const int labelCount = pick(4, 12);
    SCOPED_TRACE(::testing::Message() << "round " << round << ": " << width << " x " << height << " x " << labelCount);
    GridEnergy e(width, height, labelCount);
    for (float& cost : e.costs) cost = std::uniform_real_distribution<float>(0.0f, 3.0f)(random);
    e.setTruncatedPower(2, 5.0f, 0.99f);
    Probe recycledSolver(width, height, labelCount, &e.terms);
    EXPECT_TRUE(recycledSolver.initialize());
    recycledSolver.resetLabels();
    for (int move = 0; move < 4 * labelCount; ++move) {
      const std::vector<int> start = mrftest::labelsOf(recycledSolver);
      const int alpha = pick(0, labelCount - 1);
      Probe freshSolver(width, height, labelCount, &e.terms);
      freshSolver.setFlowRecycling(false);
      EXPECT_TRUE(freshSolver.initialize());
      mrftest::assignLabels(freshSolver, start);
      freshSolver.expandLabel(alpha);
      recycledSolver.expandLabel(alpha);
      const double fresh = cutEnergy(e, start, mrftest::labelsOf(freshSolver), alpha);
      const double recycled = cutEnergy(e, start, mrftest::labelsOf(recycledSolver), alpha);
      ASSERT_NEAR(recycled, fresh, 1e-6 * std::abs(fresh)) << "move " << move << ", alpha " << alpha;
    }
    EXPECT_GT(recycledSolver.recycledMoveCounts().recycled, 0);
  }
}

TEST(RecycledGridMoves, TheFreshWayItFallsBackToGivesTheSameLabels) {
  struct Case {
    const char* name;
    bool recyclingOn;
    std::uint64_t memoryLimit;  // kOneByteShort: one byte below what recycling needs before any flow is kept
  };
  constexpr std::uint64_t kOneByteShort = 1;
  const Case cases[] = {
      {"recycling turned off", false, UINT64_MAX},
      {"the state does not fit the memory limit", true, 0},
      {"the limit is one byte short", true, kOneByteShort},
  };
  std::mt19937 random(2718);
  for (const Case& c : cases) {
    for (int round = 0; round < 4; ++round) {
      SCOPED_TRACE(::testing::Message() << c.name << ", round " << round);
      GridEnergy e(23, 17, 7);
      // Eighths keep every sum exact: the reachable source side is unique,
      // so both ways must cut exactly alike.
      for (float& cost : e.costs) cost = 0.125f * static_cast<float>(random() % 40);
      e.setTruncatedPower(round % 2 == 0 ? 2 : 1, round % 2 == 0 ? 5.0f : 3.0f, 0.5f);
      AlphaExpansion recycling(23, 17, 7, &e.terms);
      AlphaExpansion fallback(23, 17, 7, &e.terms);
      fallback.setFlowRecycling(c.recyclingOn);
      fallback.setRecyclingMemoryLimit(c.memoryLimit == kOneByteShort ? fallback.recyclingBaseBytes() - 1
                                                                      : c.memoryLimit);
      for (AlphaExpansion* s : {&recycling, &fallback}) {
        s->fixLabelOrderSeed(static_cast<std::uint32_t>(round + 1));
        EXPECT_TRUE(s->initialize());
        s->resetLabels();
      }
      for (int pass = 1; pass <= 6; ++pass) {
        EXPECT_TRUE(recycling.optimize(1, nullptr));
        EXPECT_TRUE(fallback.optimize(1, nullptr));
        ASSERT_EQ(mrftest::labelsOf(fallback), mrftest::labelsOf(recycling)) << "after pass " << pass;
      }
      EXPECT_TRUE(recycling.recyclesFlows());
      EXPECT_FALSE(fallback.recyclesFlows());
    }
  }
}

// The grid is split into the same bands whatever the thread count, so the
// labels must agree to the bit, on any costs, not only on exact ones.
TEST(RecycledGridMoves, TheLabelsDoNotDependOnTheThreadCount) {
  std::mt19937 random(4242);
  for (int round = 0; round < 4; ++round) {
    const int width = 20 + static_cast<int>(random() % 30);
    const int height = 2 + static_cast<int>(random() % 40);
    SCOPED_TRACE(::testing::Message() << "round " << round << ": " << width << " x " << height);
    GridEnergy e(width, height, 9);
    for (float& cost : e.costs) cost = std::uniform_real_distribution<float>(0.0f, 3.0f)(random);
    e.setTruncatedPower(round % 2 == 0 ? 2 : 1, 5.0f, 0.99f);
    AlphaExpansion one(width, height, 9, &e.terms);
    AlphaExpansion two(width, height, 9, &e.terms);
    one.setThreadCount(1);
    two.setThreadCount(2);
    for (AlphaExpansion* s : {&one, &two}) {
      s->fixLabelOrderSeed(static_cast<std::uint32_t>(round + 1));
      EXPECT_TRUE(s->initialize());
      s->resetLabels();
    }
    for (int pass = 1; pass <= 5; ++pass) {
      EXPECT_TRUE(one.optimize(1, nullptr));
      EXPECT_TRUE(two.optimize(1, nullptr));
      ASSERT_EQ(mrftest::labelsOf(two), mrftest::labelsOf(one)) << "after pass " << pass;
    }
  }
}

}  // namespace
}  // namespace orbelt
