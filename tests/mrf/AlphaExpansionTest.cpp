// Expansion moves and sweeps: each move checked against a brute-force search
// over every change it may make, sweeps that never raise a metric energy, the
// stopping rule, the label order with its reproducible seeding, and the
// skipping of moves whose outcome is known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <vector>

#include "mrf/AlphaExpansion.h"
#include "tests/mrf/GridEnergy.h"
#include "tests/mrf/MoveEnergy.h"
#include "tests/platform/ErrorAssertions.h"

namespace orbelt {
namespace {

using mrftest::bestExpansionEnergy;
using mrftest::bestMoveEnergy;
using mrftest::GridEnergy;
using mrftest::lowestOverExpansions;

// Opens the moves to the tests.
class AlphaExpansionProbe : public AlphaExpansion {
 public:
  using AlphaExpansion::AlphaExpansion;
  using AlphaExpansion::expandLabel;
  using AlphaExpansion::expansionSweep;
  using AlphaExpansion::runSweeps;
};

// The energy the function forms below read; set by the test that uses them.
const GridEnergy* gFunctionEnergy = nullptr;
float tableViaFunction(int pixel, int label) {
  return gFunctionEnergy->costs[static_cast<std::size_t>(pixel * gFunctionEnergy->labelCount + label)];
}
// Potts weighted by position: metric for every pair, symmetric under swapping
// the two pixels together with their labels.
float halvedWeightedPotts(int p1, int p2, int l1, int l2) {
  return l1 == l2 ? 0.0f : 0.5f * static_cast<float>(1 + (p1 + p2) % 3);
}

// Random small metric energies. Every cost is a multiple of 1/8 and small, so
// float and double sums are exact and energies compare exactly.
class RandomMetricEnergies {
 public:
  explicit RandomMetricEnergies(std::uint32_t seed) : rng(seed) {}

  std::unique_ptr<GridEnergy> next() {
    const int width = pick(1, 6);
    const int height = pick(1, 12 / width);
    const int labelCount = pick(3, 4);
    auto e = std::make_unique<GridEnergy>(width, height, labelCount);
    for (float& c : e->costs) c = 0.25f * static_cast<float>(pick(0, 40));
    if (pick(0, 1) == 1) {
      e->data.form = CostForm::Function;
      e->data.costFunction = tableViaFunction;
    }
    const float lambda = 0.5f * static_cast<float>(pick(1, 8));
    const float maxCost = std::vector<float>{1.0f, 1.5f, 2.0f, 3.0f}[static_cast<std::size_t>(pick(0, 3))];
    switch (pick(0, 4)) {
      case 0:  // Potts
        e->setTruncatedPower(1, 1.0f, lambda);
        break;
      case 1:  // truncated linear
        e->setTruncatedPower(1, maxCost, lambda);
        break;
      case 2:  // the caller's table, with multipliers
        e->setTableFromTruncatedLinear(maxCost, lambda);
        randomMultipliers(*e);
        break;
      case 3:  // truncated linear with multipliers
        e->setTruncatedPower(1, maxCost, lambda);
        randomMultipliers(*e);
        break;
      default:  // a pair function
        e->smooth.form = CostForm::Function;
        e->smooth.pairFunction = halvedWeightedPotts;
        break;
    }
    return e;
  }

  std::vector<int> randomLabels(const GridEnergy& e) {
    std::vector<int> labels(static_cast<std::size_t>(e.width * e.height));
    for (int& l : labels) l = pick(0, e.labelCount - 1);
    return labels;
  }

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

 private:
  void randomMultipliers(GridEnergy& e) {
    e.smooth.useMultipliers = true;
    for (float& m : e.horizontal) m = 0.5f * static_cast<float>(pick(0, 4));
    for (float& m : e.vertical) m = 0.5f * static_cast<float>(pick(0, 4));
  }

  std::mt19937 rng;
};

TEST(AlphaExpansion, EachMoveReachesTheBestExpansionOfItsLabel) {
  RandomMetricEnergies source(20240611);
  for (int round = 0; round < 400; ++round) {
    const auto e = source.next();
    gFunctionEnergy = e.get();
    const std::vector<int> start = source.randomLabels(*e);
    const int alpha = source.pick(0, e->labelCount - 1);
    SCOPED_TRACE(::testing::Message() << "round " << round << ": " << e->width << " x " << e->height << " x "
                                      << e->labelCount << ", alpha " << alpha);

    AlphaExpansionProbe solver(e->width, e->height, e->labelCount, &e->terms);
    EXPECT_TRUE(solver.initialize());
    mrftest::assignLabels(solver, start);
    solver.expandLabel(alpha);
    const std::vector<int> after = mrftest::labelsOf(solver);

    for (std::size_t p = 0; p < after.size(); ++p)
      ASSERT_TRUE(after[p] == start[p] || after[p] == alpha) << "pixel " << p << " became " << after[p];
    ASSERT_EQ(e->energy(after), bestExpansionEnergy(*e, start, alpha));
  }
}

// Squared label distances, truncated, on grids of up to twelve pixels: pairs
// whose labels lie far apart break Ekk + Eaa <= Eka + Eak, and the move must
// then be the best expansion under the corrected pair terms the optimizer
// documents (a third of the excess off Eaa, a third onto Eka, the rest onto
// Eak). Costs, lambdas and multipliers are multiples of 1/4, so two move
// energies that differ at all differ by at least 1/12 (float rounding of the
// thirds stays far below the tolerance). The same rounds show that the check
// can tell where the excess goes: under each other spread, some move found
// would not be the best. RecycledGridMovesTest judges the recycled and
// borrowed moves of the same energy the same way.
TEST(AlphaExpansion, EachMoveOfASquaredTermReachesTheBestExpansionOfItsCorrectedPairs) {
  const mrftest::ExcessSpread documented;
  const mrftest::ExcessSpread others[] = {{1.0, 0.0}, {0.0, 0.5}, {0.0, 1.0}, {0.5, 0.5}};
  int corrected = 0;
  int distinguished[std::size(others)] = {};
  std::mt19937 rng(6021);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 400; ++round) {
    const int width = pick(1, 6);
    const int height = pick(1, 12 / width);
    const int labelCount = pick(3, 6);
    GridEnergy e(width, height, labelCount);
    for (float& c : e.costs) c = 0.25f * static_cast<float>(pick(0, 40));
    const float maxCost = std::vector<float>{4.0f, 5.0f, 9.0f, 25.0f}[static_cast<std::size_t>(pick(0, 3))];
    const float lambda = 0.25f * static_cast<float>(pick(1, 8));
    switch (pick(0, 2)) {
      case 0:  // the dialog's form
        e.setTruncatedPower(2, maxCost, lambda);
        break;
      case 1:  // with multipliers
        e.setTruncatedPower(2, maxCost, lambda);
        e.smooth.useMultipliers = true;
        for (float& m : e.horizontal) m = 0.5f * static_cast<float>(pick(0, 4));
        for (float& m : e.vertical) m = 0.5f * static_cast<float>(pick(0, 4));
        break;
      default:  // the caller's table holding the same squared distances
        e.setTableFromTruncatedPower(2, maxCost, lambda);
        break;
    }
    std::vector<int> start(static_cast<std::size_t>(width * height));
    for (int& l : start) l = pick(0, labelCount - 1);
    const int alpha = pick(0, labelCount - 1);
    SCOPED_TRACE(::testing::Message() << "round " << round << ": " << width << " x " << height << " x " << labelCount
                                      << ", alpha " << alpha << ", truncated at " << maxCost);

    AlphaExpansionProbe solver(width, height, labelCount, &e.terms);
    ASSERT_TRUE(solver.initialize());
    mrftest::assignLabels(solver, start);
    solver.expandLabel(alpha);
    const std::vector<int> after = mrftest::labelsOf(solver);

    const mrftest::MoveJudgement judged = mrftest::judgeMove(e, start, alpha, after);
    ASSERT_TRUE(judged.onlyKeptOrAlpha);
    ASSERT_NEAR(judged.moveEnergy, bestMoveEnergy(e, start, alpha, documented), mrftest::kMoveEnergyTolerance);
    if (!judged.corrected) continue;
    ++corrected;
    for (std::size_t k = 0; k < std::size(others); ++k) {
      const double found = mrftest::judgeMove(e, start, alpha, after, others[k]).moveEnergy;
      if (found > bestMoveEnergy(e, start, alpha, others[k]) + mrftest::kMoveEnergyTolerance) ++distinguished[k];
    }
  }
  EXPECT_GE(corrected, 100) << "too few moves needed the correction to show anything";
  for (std::size_t k = 0; k < std::size(others); ++k) {
    EXPECT_GT(distinguished[k], 0) << "no move tells the documented spread from spread " << k;
  }
}

TEST(AlphaExpansion, SweepsNeverRaiseAMetricEnergyAndConvergeToAnExpansionOptimum) {
  RandomMetricEnergies source(77);
  for (int round = 0; round < 150; ++round) {
    const auto e = source.next();
    gFunctionEnergy = e.get();
    SCOPED_TRACE(::testing::Message() << "round " << round);
    AlphaExpansionProbe solver(e->width, e->height, e->labelCount, &e->terms);
    EXPECT_TRUE(solver.initialize());
    solver.fixLabelOrderSeed(static_cast<std::uint32_t>(round));
    mrftest::assignLabels(solver, source.randomLabels(*e));

    double before = e->energy(mrftest::labelsOf(solver));
    for (int sweep = 0; sweep < 4; ++sweep) {
      const double reported = solver.expansionSweep();
      const double after = e->energy(mrftest::labelsOf(solver));
      ASSERT_LE(after, before) << "sweep " << sweep;
      ASSERT_EQ(reported, after);
      before = after;
    }
    solver.runSweeps(50);
    const std::vector<int> converged = mrftest::labelsOf(solver);
    for (int alpha = 0; alpha < e->labelCount; ++alpha)
      ASSERT_EQ(bestExpansionEnergy(*e, converged, alpha), e->energy(converged)) << "alpha " << alpha;
  }
}

// Counts sweeps through the move observer.
struct SweepCounter {
  int moves = 0;
  int labelCount = 0;
  std::vector<int> moveIndexes;
  void attach(AlphaExpansion& solver) {
    solver.setMoveObserver([this](int moveIndex, int count) {
      ++moves;
      labelCount = count;
      moveIndexes.push_back(moveIndex);
    });
  }
  int sweeps() const { return labelCount == 0 ? 0 : moves / labelCount; }
};

TEST(AlphaExpansion, CheapestLabelEverywhereIsReachedInOneSweepAndTheNextOneStops) {
  GridEnergy e(7, 5, 6);
  for (int p = 0; p < 35; ++p)
    for (int l = 0; l < 6; ++l) e.cost(p, l) = l == 3 ? 0.0f : 10.0f;
  e.setTruncatedPower(1, 1.0f, 1.0f);  // Potts
  AlphaExpansion solver(7, 5, 6, &e.terms);
  EXPECT_TRUE(solver.initialize());
  solver.resetLabels();
  SweepCounter counter;
  counter.attach(solver);
  float seconds = 0.0f;
  EXPECT_TRUE(solver.optimize(10, &seconds));
  EXPECT_EQ(mrftest::labelsOf(solver), std::vector<int>(35, 3));
  EXPECT_EQ(counter.sweeps(), 2);
  EXPECT_EQ(counter.moveIndexes, (std::vector<int>{1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(*solver.dataCostSum() + *solver.pairCostSum(), 0.0);
}

TEST(AlphaExpansion, SweepCountStaysWithinOneAndMaxSweeps) {
  struct Case {
    const char* name;
    int labelCount;
    int exponent;
    float maxCost;
    float lambda;
    int maxSweeps;
    int fewest, most;
  };
  const Case cases[] = {
      {"maxSweeps 1: exactly one", 5, 2, 5.0f, 0.99f, 1, 1, 1},
      {"maxSweeps 0: one all the same", 5, 2, 5.0f, 0.99f, 0, 1, 1},
      {"negative maxSweeps: one", 5, 2, 5.0f, 0.99f, -3, 1, 1},
      {"one label: no move changes anything, so one", 1, 2, 5.0f, 0.99f, 8, 1, 1},
      {"negative lambda: finite", 5, 1, 1.0f, -2.0f, 5, 1, 5},
      {"negative lambda, squared: finite", 5, 2, 5.0f, -0.5f, 5, 1, 5},
      {"squared truncated power", 5, 2, 5.0f, 3.0f, 6, 1, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GridEnergy e(9, 7, c.labelCount);
    std::mt19937 rng(5);
    for (float& cost : e.costs) cost = static_cast<float>(rng() % 100) * 0.1f;
    e.setTruncatedPower(c.exponent, c.maxCost, c.lambda);
    AlphaExpansion solver(9, 7, c.labelCount, &e.terms);
    EXPECT_TRUE(solver.initialize());
    solver.fixLabelOrderSeed(3);
    SweepCounter counter;
    counter.attach(solver);
    float seconds = 0.0f;
    EXPECT_TRUE(solver.optimize(c.maxSweeps, &seconds));
    EXPECT_GE(counter.sweeps(), c.fewest);
    EXPECT_LE(counter.sweeps(), c.most);
    for (const int label : mrftest::labelsOf(solver)) ASSERT_TRUE(label >= 0 && label < c.labelCount);
  }
}

TEST(AlphaExpansion, MoveOfTheCurrentLabelEverywhereChangesNothing) {
  GridEnergy e(4, 4, 3);
  for (int p = 0; p < 16; ++p) e.cost(p, 0) = 100.0f;  // label 0 is the worst
  AlphaExpansionProbe solver(4, 4, 3, &e.terms);
  EXPECT_TRUE(solver.initialize());
  solver.resetLabels();
  solver.expandLabel(0);
  EXPECT_EQ(mrftest::labelsOf(solver), std::vector<int>(16, 0));
}

// One pixel with costs 5, 3, 3: from label 0, whichever of labels 1 and 2 is
// expanded first takes the pixel, and the other one, at equal cost, does not
// take it from there (a tie keeps the label).
constexpr float kTieCosts[] = {5.0f, 3.0f, 3.0f};

int firstOfOneAndTwo(std::span<const int> order) {
  for (const int l : order)
    if (l == 1 || l == 2) return l;
  return -1;
}

TEST(AlphaExpansion, MovesFollowTheLabelOrderAndTiesKeepTheLabel) {
  GridEnergy e(1, 1, 3);
  std::copy(std::begin(kTieCosts), std::end(kTieCosts), e.costs.begin());

  AlphaExpansion identity(1, 1, 3, &e.terms);
  EXPECT_TRUE(identity.initialize());
  const unsigned char off = 0;
  identity.setOptions(1, &off);
  float seconds = 0.0f;
  EXPECT_TRUE(identity.optimize(1, &seconds));
  EXPECT_EQ(identity.labelAt(0), 1);

  bool sawTwoFirst = false;
  for (std::uint32_t seed = 0; seed < 16; ++seed) {
    AlphaExpansion shuffled(1, 1, 3, &e.terms);
    EXPECT_TRUE(shuffled.initialize());
    shuffled.fixLabelOrderSeed(seed);
    EXPECT_TRUE(shuffled.optimize(1, &seconds));
    const int first = firstOfOneAndTwo(shuffled.currentLabelOrder());
    EXPECT_EQ(shuffled.labelAt(0), first) << "seed " << seed;
    sawTwoFirst = sawTwoFirst || first == 2;
  }
  EXPECT_TRUE(sawTwoFirst) << "no seed put label 2 first; the case shows nothing";
}

TEST(AlphaExpansion, PairThatNoCutCanHoldIsMadeCuttableBySpreadingItsExcess) {
  // Squared distances with lambda 3: for labels (0, 2) and alpha 1 the pair
  // costs Ekk 12, Eka 3, Eak 3, Eaa 0, and 12 + 0 > 3 + 3. The move works with
  // Eaa -2, Eka 5, Eak 5 instead (the excess 6 spread in thirds), under which
  // switching both pixels is best, although keeping one is truly cheaper.
  GridEnergy e(2, 1, 3);
  e.setTruncatedPower(2, 10.0f, 3.0f);
  const float costs[] = {0.0f,  4.0f, 50.0f,  // pixel 0 keeps 0 for free
                         50.0f, 4.0f, 0.0f};  // pixel 1 keeps 2 for free
  std::copy(std::begin(costs), std::end(costs), e.costs.begin());
  AlphaExpansionProbe solver(2, 1, 3, &e.terms);
  EXPECT_TRUE(solver.initialize());
  mrftest::assignLabels(solver, {0, 2});
  solver.expandLabel(1);
  EXPECT_EQ(mrftest::labelsOf(solver), (std::vector<int>{1, 1}));
  EXPECT_EQ(e.energy({1, 1}), 8.0);
  EXPECT_EQ(e.energy({1, 2}), 7.0);  // the move does not see this one
}

// A 10 x 8 x 6 energy with the pipeline's smoothness (squared, truncated at 5).
void fillPipelineLikeEnergy(GridEnergy& e) {
  std::mt19937 rng(99);
  for (float& c : e.costs) c = static_cast<float>(rng() % 1000) * 0.01f;
  e.setTruncatedPower(2, 5.0f, 0.99f);
}

TEST(AlphaExpansion, FixedLabelOrderGivesIdenticalLabellings) {
  GridEnergy e(10, 8, 6);
  fillPipelineLikeEnergy(e);
  auto run = [&](auto configure) {
    AlphaExpansion solver(10, 8, 6, &e.terms);
    EXPECT_TRUE(solver.initialize());
    solver.resetLabels();
    configure(solver);
    float seconds = 0.0f;
    for (int pass = 0; pass < 4; ++pass) EXPECT_TRUE(solver.optimize(1, &seconds));
    return mrftest::labelsOf(solver);
  };
  const unsigned char off = 0;
  const auto ordered = [&](AlphaExpansion& s) { s.setOptions(1, &off); };
  const auto seeded = [](AlphaExpansion& s) { s.fixLabelOrderSeed(42); };
  EXPECT_EQ(run(ordered), run(ordered));
  EXPECT_EQ(run(seeded), run(seeded));
}

TEST(AlphaExpansion, ShuffleReadsItsClockOncePerSweepAndAFixedSeedCountsUp) {
  GridEnergy e(3, 3, 7);
  fillPipelineLikeEnergy(e);
  auto orderAfterSweeps = [&](auto configure, int sweeps) {
    AlphaExpansion solver(3, 3, 7, &e.terms);
    EXPECT_TRUE(solver.initialize());
    configure(solver);
    float seconds = 0.0f;
    for (int i = 0; i < sweeps; ++i) EXPECT_TRUE(solver.optimize(1, &seconds));
    return std::vector<int>(solver.currentLabelOrder().begin(), solver.currentLabelOrder().end());
  };

  std::vector<std::int64_t> readings;
  orderAfterSweeps(
      [&](AlphaExpansion& s) {
        s.setShuffleClock([&] {
          readings.push_back(static_cast<std::int64_t>(readings.size()) + 100);
          return readings.back();
        });
      },
      3);
  EXPECT_EQ(readings.size(), 3u);

  // fixLabelOrderSeed(s) is the clock s, s + 1, s + 2, ...
  for (const int sweeps : {1, 2, 3}) {
    const auto viaSeed = orderAfterSweeps([](AlphaExpansion& s) { s.fixLabelOrderSeed(500); }, sweeps);
    const auto viaClock = orderAfterSweeps(
        [](AlphaExpansion& s) { s.setShuffleClock([n = std::int64_t{500}]() mutable { return n++; }); }, sweeps);
    EXPECT_EQ(viaSeed, viaClock) << sweeps << " sweeps";
    std::vector<int> sorted = viaSeed;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<int>{0, 1, 2, 3, 4, 5, 6})) << "not a permutation";
  }
  EXPECT_NE(orderAfterSweeps([](AlphaExpansion& s) { s.fixLabelOrderSeed(1); }, 1),
            orderAfterSweeps([](AlphaExpansion& s) { s.fixLabelOrderSeed(2); }, 1));
}

TEST(AlphaExpansion, ShuffleSwapsDrawnPairsTwiceLabelCountTimesFromWhereTheLastSweepLeft) {
  GridEnergy e(2, 2, 3);
  AlphaExpansion solver(2, 2, 3, &e.terms);
  EXPECT_TRUE(solver.initialize());
  solver.setShuffleClock([n = std::int64_t{41}]() mutable { return n++; });
  std::vector<std::uint32_t> seeds;
  // Each shuffle draws these twelve values: the pairs (2,0) (1,2) (0,0) (2,1) (1,0) (0,2).
  solver.setShuffleGenerator([&](std::uint32_t seed) {
    seeds.push_back(seed);
    return [values = std::vector<std::uint32_t>{2, 0, 4, 5, 0, 3, 8, 7, 1, 6, 9, 2}, k = std::size_t{0}]() mutable {
      return values[k++];
    };
  });
  auto order = [&] { return std::vector<int>(solver.currentLabelOrder().begin(), solver.currentLabelOrder().end()); };
  float seconds = 0.0f;
  EXPECT_TRUE(solver.optimize(1, &seconds));
  // 012 -> 210 -> 201 -> 201 -> 210 -> 120 -> 021
  EXPECT_EQ(order(), (std::vector<int>{0, 2, 1}));
  EXPECT_TRUE(solver.optimize(1, &seconds));
  // 021 -> 120 -> 102 -> 102 -> 120 -> 210 -> 012
  EXPECT_EQ(order(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(seeds, (std::vector<std::uint32_t>{41, 42}));
}

// Skipping: a solver with a table data term skips moves known to change
// nothing; its twin reads the same costs through a data function, so it
// solves every move. Their labels must agree after every pass, also when
// something the skipped moves depend on changes between two optimize() calls.
struct ChangeBetweenCalls {
  const char* name;
  bool callerTableWithMultipliers;  // the pair costs from the caller's table, scaled
  void (*change)(GridEnergy& e, AlphaExpansion& skipping, AlphaExpansion& solvingAll);
};

TEST(AlphaExpansionSkipping, SkippedMovesLeaveTheLabelsOfSolvingEveryMoveAndChangesAreSeen) {
  const ChangeBetweenCalls cases[] = {
      {"data costs", false,
       [](GridEnergy& e, AlphaExpansion&, AlphaExpansion&) {
         // The left half comes to prefer label 1 strongly.
         for (int y = 0; y < e.height; ++y)
           for (int x = 0; x < e.width / 2; ++x) e.cost(y * e.width + x, 1) = -20.0f;
       }},
      {"labels", false,
       [](GridEnergy& e, AlphaExpansion& skipping, AlphaExpansion& solvingAll) {
         const std::vector<int> scattered(static_cast<std::size_t>(e.width * e.height), 5);
         mrftest::assignLabels(skipping, scattered);
         mrftest::assignLabels(solvingAll, scattered);
       }},
      {"caller's pair table", true,
       [](GridEnergy& e, AlphaExpansion&, AlphaExpansion&) {
         for (float& v : e.pairTable) v = 0.0f;  // every pixel now takes its cheapest label
       }},
      {"multipliers", true,
       [](GridEnergy& e, AlphaExpansion&, AlphaExpansion&) {
         for (float& m : e.horizontal) m = 0.0f;
         for (float& m : e.vertical) m = 0.0f;
       }},
  };
  for (const ChangeBetweenCalls& c : cases) {
    SCOPED_TRACE(c.name);
    GridEnergy e(12, 10, 6);
    fillPipelineLikeEnergy(e);
    if (c.callerTableWithMultipliers) {
      e.setTableFromTruncatedLinear(3.0f, 2.0f);
      e.smooth.useMultipliers = true;
      for (std::size_t k = 0; k < e.horizontal.size(); ++k) {
        e.horizontal[k] = 0.5f + static_cast<float>(k % 3);
        e.vertical[k] = 0.5f + static_cast<float>(k % 4);
      }
    }
    AlphaExpansion skipping(12, 10, 6, &e.terms);
    EnergyTerms viaFunction = e.terms;
    DataTerm dataFunction = e.data;
    dataFunction.form = CostForm::Function;
    dataFunction.costFunction = tableViaFunction;
    viaFunction.data = &dataFunction;
    gFunctionEnergy = &e;
    AlphaExpansion solvingAll(12, 10, 6, &viaFunction);
    for (AlphaExpansion* solver : {&skipping, &solvingAll}) {
      solver->fixLabelOrderSeed(5);
      EXPECT_TRUE(solver->initialize());
      solver->resetLabels();
    }

    auto pass = [&](int number) {
      EXPECT_TRUE(skipping.optimize(1, nullptr));
      EXPECT_TRUE(solvingAll.optimize(1, nullptr));
      ASSERT_EQ(mrftest::labelsOf(skipping), mrftest::labelsOf(solvingAll)) << "after pass " << number;
    };
    for (int number = 1; number <= 5; ++number) pass(number);
    // By now whole passes change nothing and are skipped.
    ASSERT_GT(skipping.moveCounts().skipped, 0);
    const std::vector<int> settled = mrftest::labelsOf(skipping);

    c.change(e, skipping, solvingAll);
    for (int number = 6; number <= 8; ++number) pass(number);
    EXPECT_NE(mrftest::labelsOf(skipping), settled) << "the change should have moved some label";
    EXPECT_EQ(solvingAll.moveCounts().skipped, 0);
    EXPECT_EQ(solvingAll.moveCounts().solved, 8 * 6);
  }
  gFunctionEnergy = nullptr;
}

TEST(AlphaExpansion, MissingTermStopsTheSweep) {
  // The sweep itself refuses, before any move (the energy queries refuse too;
  // see EnergyTermsTest).
  GridEnergy e(2, 2, 2);
  e.smooth.form = CostForm::NotSet;
  AlphaExpansionProbe solver(2, 2, 2, &e.terms);
  EXPECT_TRUE(solver.initialize());
  const Expected<double> swept = catchFailure([&] { return solver.expansionSweep(); }, Error{});
  EXPECT_TRUE(testing::failedWith(swept, "\n You have to set up the smoothness cost before running optimization \n"));
  EXPECT_EQ(solver.moveCounts().solved, 0);
}

}  // namespace
}  // namespace orbelt
