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
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "mrf/AlphaExpansion.h"
#include "mrf/RecycledGridMoves.h"
#include "mrf/RowPlanarCosts.h"
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

using Pick = std::function<int(int, int)>;

// One energy family the change table runs on: how many labels a round draws,
// the smoothness term of a round (set after its data costs are drawn), and
// whether its pairs can break Ekk + Eaa <= Eka + Eak, so that a move is
// judged under the corrected pair terms (MoveEnergy.h) rather than by the
// energy itself.
struct EnergyFamily {
  int minLabels;
  int maxLabels;
  std::function<void(GridEnergy&, int round, const Pick&)> setSmoothness;
  bool corrected;
};

// What the checked moves started from, per thread count (index 0: one
// thread, 1: two), and how many of them had a pair the correction changed.
struct CheckedMoves {
  std::int64_t recycled[2] = {};
  std::int64_t borrowed[2] = {};
  std::int64_t corrected = 0;
};

// Runs 40 rounds per change, of 12 moves each, on tiny grids, and tallies
// them in `checked`. Every move is solved by a solver on one thread and by
// one on two (whose two bands then run at once), both from the same labels,
// and each outcome is checked against every expansion of those labels. The
// solvers live through their round, so a move starts from its label's kept
// flow (or, a label's first, from the flow of the move before it) whatever
// changed since.
void checkEveryMoveAfterEachChange(std::uint32_t seed, const EnergyFamily& family, CheckedMoves& checked) {
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
  std::mt19937 random(seed);
  const Pick pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  for (const Case& c : cases) {
    for (int round = 0; round < 40; ++round) {
      const int width = pick(1, 4);
      const int height = pick(1, 12 / width);
      const int labelCount = pick(family.minLabels, family.maxLabels);
      SCOPED_TRACE(::testing::Message() << c.name << ", round " << round << ": " << width << " x " << height << " x "
                                        << labelCount);
      GridEnergy e(width, height, labelCount);
      // Quarters: every sum is exact, so the brute force and the cut agree exactly.
      for (float& cost : e.costs) cost = 0.25f * static_cast<float>(pick(0, 24));
      family.setSmoothness(e, round, pick);
      e.smooth.useMultipliers = c.change == Change::Multipliers || round % 2 == 0;
      Probe one(width, height, labelCount, &e.terms);
      Probe two(width, height, labelCount, &e.terms);
      two.setThreadCount(2);
      Probe* const solvers[] = {&one, &two};
      std::vector<int> labels(static_cast<std::size_t>(width * height));
      for (int& l : labels) l = pick(0, labelCount - 1);
      for (Probe* solver : solvers) {
        EXPECT_TRUE(solver->initialize());
        mrftest::assignLabels(*solver, labels);
      }
      for (int move = 0; move < 12; ++move) {
        labels = mrftest::labelsOf(one);
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
        const int alpha = pick(0, labelCount - 1);
        const double best =
            family.corrected ? mrftest::bestMoveEnergy(e, labels, alpha) : bestExpansionEnergy(e, labels, alpha);
        for (int threads = 1; threads <= 2; ++threads) {
          SCOPED_TRACE(::testing::Message()
                       << "move " << move << ", alpha " << alpha << ", " << threads << " thread(s)");
          Probe& solver = *solvers[threads - 1];
          mrftest::assignLabels(solver, labels);
          solver.expandLabel(alpha);
          const std::vector<int> after = mrftest::labelsOf(solver);
          const mrftest::MoveJudgement judged = mrftest::judgeMove(e, labels, alpha, after);
          ASSERT_TRUE(judged.onlyKeptOrAlpha);
          if (family.corrected) {
            ASSERT_NEAR(judged.moveEnergy, best, mrftest::kMoveEnergyTolerance);
          } else {
            ASSERT_EQ(e.energy(after), best);
          }
          if (threads == 1 && judged.corrected) ++checked.corrected;
        }
      }
      for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(solvers[k]->recyclesFlows());
        checked.recycled[k] += solvers[k]->recycledMoveCounts().recycled;
        checked.borrowed[k] += solvers[k]->recycledMoveCounts().borrowed;
      }
    }
  }
}

// The table is about recycled moves: most of them must have been, on either
// thread count, and more than `borrowedFloor` first moves of a label, which
// start from another label's flow, must have been checked too.
void expectRecycledAndBorrowedMovesChecked(const CheckedMoves& checked, std::int64_t borrowedFloor) {
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(::testing::Message() << k + 1 << " thread(s)");
    EXPECT_GT(checked.recycled[k], 5 * 40 * 12 / 2);
    EXPECT_GT(checked.borrowed[k], borrowedFloor);
  }
}

// Each move must still be the best expansion of its label whatever changed
// since that label's last move, on truncated linear terms: metric, so the
// move reaches the lowest true energy among all expansions.
TEST(RecycledGridMoves, EveryMoveIsTheBestExpansionWhateverChangedSinceItsLabelsLastMove) {
  const EnergyFamily linear{2, 4,
                            [](GridEnergy& e, int round, const Pick& pick) {
                              const float lambda = 0.5f * static_cast<float>(pick(1, 6));
                              switch (round % 3) {
                                case 0: e.setTruncatedPower(1, 1.0f, lambda); break;
                                case 1: e.setTruncatedPower(1, 2.0f, lambda); break;
                                default: e.setTableFromTruncatedLinear(3.0f, lambda); break;
                              }
                            },
                            false};
  CheckedMoves checked;
  checkEveryMoveAfterEachChange(9001, linear, checked);
  if (HasFatalFailure()) return;
  expectRecycledAndBorrowedMovesChecked(checked, 5 * 40);
}

// The same on the dialog's energy, the squared label distance truncated at
// 4 to 25 (from two labels apart to five), as the optimizer's own power and
// as a caller's table: pairs of far-apart labels break
// Ekk + Eaa <= Eka + Eak, and each recycled or borrowed move must be the best
// expansion under the corrected pair terms, judged exactly as a move solved
// from no flow is (AlphaExpansionTest).
TEST(RecycledGridMoves, OnTheSquaredTruncatedEnergyEveryMoveIsTheBestExpansionOfItsCorrectedPairs) {
  const EnergyFamily squared{3, 6,
                             [](GridEnergy& e, int round, const Pick& pick) {
                               const float maxCost = static_cast<float>(pick(4, 25));
                               const float lambda = 0.25f * static_cast<float>(pick(1, 8));
                               if (round % 3 != 2) {
                                 e.setTruncatedPower(2, maxCost, lambda);
                               } else {
                                 e.setTableFromTruncatedPower(2, maxCost, lambda);
                               }
                             },
                             true};
  CheckedMoves checked;
  checkEveryMoveAfterEachChange(1402, squared, checked);
  if (HasFatalFailure()) return;
  // Measured with these draws: 1571 recycled and 629 borrowed moves per
  // thread count (of 2400, one fresh per round), 326 of them with a pair
  // the correction changed. The floors leave room for a change in which
  // moves the optimizer skips, not for the checks to go quiet.
  expectRecycledAndBorrowedMovesChecked(checked, 500);
  EXPECT_GT(checked.corrected, 250) << "too few moves needed the correction to show anything";
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
      // Each judged under the pair terms its cut sees (MoveEnergy.h).
      const double fresh = mrftest::judgeMove(e, start, alpha, mrftest::labelsOf(freshSolver)).moveEnergy;
      const double recycled = mrftest::judgeMove(e, start, alpha, mrftest::labelsOf(recycledSolver)).moveEnergy;
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

// A lazy move writes only the tiles that changed since its label's last
// move, opens the rest as its search reaches it and reads back only what it
// opened. It must give the labels of the same move written over the whole
// grid, to the bit, whatever happened in between: other labels' moves, a
// caller's relabelling, redrawn costs, either thread count. Where a label
// keeps no flow its moves borrow the previous move's, read differently after
// a lazy move; on exact costs (eighths, a metric pair term) the labels must
// still agree.
TEST(RecycledGridMoves, ALazyMoveGivesTheLabelsOfTheMoveWrittenOverTheWholeGrid) {
  enum class Disturbance { None, Relabel, Redraw };
  struct Case {
    const char* name;
    int width, height;
    int exponent;
    bool multipliers;
    int threads;
    Disturbance disturbance;
    bool exactWithShortBudget;  // eighths, and only half the labels keep flows
  };
  const Case cases[] = {
      {"squared term, nothing but the moves", 37, 29, 2, false, 1, Disturbance::None, false},
      {"squared term with multipliers, two threads", 64, 40, 2, true, 2, Disturbance::None, false},
      {"linear term, a caller relabels pixels", 50, 33, 1, true, 1, Disturbance::Relabel, false},
      {"squared term, costs redrawn now and then, two threads", 41, 45, 2, false, 2, Disturbance::Redraw, false},
      {"linear term on eighths, half the labels borrow", 48, 36, 1, false, 2, Disturbance::Relabel, true},
  };
  std::mt19937 random(60606);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int labelCount = 6;
    GridEnergy e(c.width, c.height, labelCount);
    // Costs shaped like a stereo pair's, so that moves settle and later ones
    // leave most of the grid as it was: a few regions of one true label, the
    // cost growing with the distance to it, plus noise (eighths when exact).
    auto drawCost = [&](int p, int label) {
      const int x = p % c.width;
      const int y = p / c.width;
      const int truth =
          (x * 3 / c.width + y * 2 / c.height + (x > c.width / 3 && y > c.height / 2 ? 2 : 0)) % labelCount;
      const float noise = c.exactWithShortBudget ? 0.125f * static_cast<float>(random() % 9)
                                                 : std::uniform_real_distribution<float>(0.0f, 1.0f)(random);
      return std::min(0.5f * static_cast<float>(std::abs(label - truth)), 2.0f) + noise;
    };
    for (int p = 0; p < c.width * c.height; ++p) {
      for (int label = 0; label < labelCount; ++label) e.cost(p, label) = drawCost(p, label);
    }
    e.setTableFromTruncatedPower(c.exponent, c.exponent == 2 ? 5.0f : 3.0f, c.exactWithShortBudget ? 1.0f : 0.99f);
    for (float& m : e.horizontal) m = c.multipliers ? std::uniform_real_distribution<float>(0.5f, 1.5f)(random) : 1.0f;
    for (float& m : e.vertical) m = c.multipliers ? std::uniform_real_distribution<float>(0.5f, 1.5f)(random) : 1.0f;
    const RecycledGridMoves::Costs costs{e.pairTable.data(), c.multipliers ? e.horizontal.data() : nullptr,
                                         c.multipliers ? e.vertical.data() : nullptr};
    RowPlanarCosts planes;
    planes.copyFrom(e.costs.data(), c.width, c.height, labelCount);
    RecycledGridMoves whole;
    RecycledGridMoves lazy;
    whole.setLazyMoves(false);
    lazy.setThreadCount(c.threads);
    const std::size_t pixels = static_cast<std::size_t>(c.width * c.height);
    std::vector<int> wholeLabels(pixels, 0);
    std::vector<int> lazyLabels(pixels, 0);
    for (RecycledGridMoves* moves : {&whole, &lazy}) {
      ASSERT_TRUE(moves->prepare(c.width, c.height, labelCount));
      if (c.exactWithShortBudget) moves->setKeptFlowBudget(3 * RecycledGridMoves::keptFlowBytes(c.width, c.height));
      moves->setDataCosts(&planes);
    }
    whole.loadLabelCosts(wholeLabels.data());
    lazy.loadLabelCosts(lazyLabels.data());
    std::vector<int> order(static_cast<std::size_t>(labelCount));
    for (int k = 0; k < labelCount; ++k) order[static_cast<std::size_t>(k)] = k;
    for (int sweep = 0; sweep < 10; ++sweep) {
      std::shuffle(order.begin(), order.end(), random);
      for (const int alpha : order) {
        SCOPED_TRACE(::testing::Message() << "sweep " << sweep << ", alpha " << alpha);
        if (c.disturbance == Disturbance::Relabel && random() % 3 == 0) {
          for (int k = 0; k < 3; ++k) {
            const std::size_t p = random() % pixels;
            wholeLabels[p] = lazyLabels[p] = static_cast<int>(random() % labelCount);
          }
          whole.loadLabelCosts(wholeLabels.data());
          lazy.loadLabelCosts(lazyLabels.data());
        }
        if (c.disturbance == Disturbance::Redraw && random() % 16 == 0) {
          for (int p = 0; p < c.width * c.height; ++p) {
            if (random() % 10 == 0) e.cost(p, static_cast<int>(random() % labelCount)) = drawCost(p, 0);
          }
          planes.copyFrom(e.costs.data(), c.width, c.height, labelCount);
          for (RecycledGridMoves* moves : {&whole, &lazy}) moves->setDataCosts(&planes);
          whole.loadLabelCosts(wholeLabels.data());
          lazy.loadLabelCosts(lazyLabels.data());
        }
        const bool wholeChanged = whole.expand(alpha, wholeLabels.data(), costs);
        const bool lazyChanged = lazy.expand(alpha, lazyLabels.data(), costs);
        ASSERT_EQ(lazyChanged, wholeChanged);
        ASSERT_EQ(lazyLabels, wholeLabels);
        // The roots alpha keeps must be every node its next move would
        // start with source residual, were it to start now. (Where other
        // moves change labels later, its next move writes those parts anew.)
        if (lazy.keepsRoots(alpha)) {
          const std::span<const std::int32_t> kept = lazy.keptRoots(alpha);
          ASSERT_EQ(std::vector<std::int32_t>(kept.begin(), kept.end()),
                    lazy.startRoots(alpha, lazyLabels.data(), costs))
              << "the roots alpha keeps";
        }
        // The flows show a difference long before the labels do: a root
        // left out, say, keeps excess a whole move would have routed.
        for (int label = 0; label < labelCount; ++label) {
          const std::uint16_t* a = whole.keptFlow(label);
          const std::uint16_t* b = lazy.keptFlow(label);
          ASSERT_EQ(a == nullptr, b == nullptr) << "label " << label;
          if (a != nullptr) {
            ASSERT_TRUE(std::equal(a, a + 2 * pixels, b)) << "the flow label " << label << " keeps";
          }
        }
      }
    }
    EXPECT_EQ(whole.moveCounts().lazy, 0);
    EXPECT_GT(lazy.moveCounts().lazy, 8) << "too few lazy moves to show anything";
    EXPECT_LT(lazy.moveCounts().lazyNodesOpened, lazy.moveCounts().lazy * static_cast<std::int64_t>(pixels) / 2)
        << "the lazy moves opened most of the grid";
  }
}

// Many bands, joined by one search afterwards, must cut where two do: on
// eighths with a metric pair term every sum is exact, so the smallest
// minimum cut each move takes is the same set however the bands split the
// flow. One row a band gives a band per row on these grids (up to
// kMaxBands), many joints and roots drained next to them; on a grid small
// enough, each move is also checked against every expansion.
TEST(RecycledGridMoves, ManyBandsCutWhereTwoDo) {
  struct Case {
    const char* name;
    int width, height;
    int bandRows;
    int threads;
  };
  const Case cases[] = {
      {"a band a row, tiny enough for the brute force", 3, 4, 1, 2},
      {"a band a row, more rows than bands", 9, 23, 1, 2},
      {"three rows a band, one thread", 13, 20, 3, 1},
      {"five rows a band, an uneven split", 17, 26, 5, 2},
  };
  std::mt19937 random(777);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int labelCount = 5;
    GridEnergy e(c.width, c.height, labelCount);
    for (float& cost : e.costs) cost = 0.125f * static_cast<float>(random() % 17);
    e.setTableFromTruncatedLinear(3.0f, 1.0f);
    const RecycledGridMoves::Costs costs{e.pairTable.data(), nullptr, nullptr};
    RowPlanarCosts planes;
    planes.copyFrom(e.costs.data(), c.width, c.height, labelCount);
    RecycledGridMoves two;
    RecycledGridMoves many;
    many.setBandRows(c.bandRows);
    many.setThreadCount(c.threads);
    const std::size_t pixels = static_cast<std::size_t>(c.width * c.height);
    std::vector<int> twoLabels(pixels, 0);
    std::vector<int> manyLabels(pixels, 0);
    for (RecycledGridMoves* moves : {&two, &many}) {
      ASSERT_TRUE(moves->prepare(c.width, c.height, labelCount));
      moves->setDataCosts(&planes);
    }
    two.loadLabelCosts(twoLabels.data());
    many.loadLabelCosts(manyLabels.data());
    const bool bruteForce = pixels <= 12;
    for (int move = 0; move < 8 * labelCount; ++move) {
      const int alpha = static_cast<int>(random() % labelCount);
      SCOPED_TRACE(::testing::Message() << "move " << move << ", alpha " << alpha);
      const std::vector<int> before = manyLabels;
      two.expand(alpha, twoLabels.data(), costs);
      many.expand(alpha, manyLabels.data(), costs);
      ASSERT_EQ(manyLabels, twoLabels);
      if (bruteForce) {
        ASSERT_EQ(e.energy(manyLabels), bestExpansionEnergy(e, before, alpha));
      }
    }
    EXPECT_GT(many.moveCounts().recycled, 0) << "no move started from a kept flow";
  }
}

}  // namespace
}  // namespace orbelt
