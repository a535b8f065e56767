// The grid solver base: construction and its refusals, label access, the two
// energy sums over the 4-connected grid, and the label order option.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "mrf/AlphaExpansion.h"
#include "tests/mrf/GridEnergy.h"
#include "tests/platform/ErrorAssertions.h"

namespace orbelt {
namespace {

using mrftest::GridEnergy;
using testing::failedWith;

TEST(GraphCutSolver, ConstructionRefusesSizesThatNameNoGrid) {
  struct Case {
    int width, height, labelCount;
    const char* message;
  };
  const Case cases[] = {
      {-1, 4, 3, "\n Illegal negative parameters \n"},
      {4, -1, 3, "\n Illegal negative parameters \n"},
      {4, 4, -1, "\n Illegal negative parameters \n"},
      {4, 4, 0, "\n labelCount is 0: at least one disparity label is needed \n"},
      {70000, 70000, 3, "\n Illegal grid size: width x height exceeds 2147483647 pixels \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << " x " << c.labelCount);
    GridEnergy energy(1, 1, 1);
    AlphaExpansion solver(c.width, c.height, c.labelCount, &energy.terms);
    EXPECT_TRUE(failedWith(solver.status(), c.message));
    // Every later operation gives the same refusal; nothing is read.
    EXPECT_TRUE(failedWith(solver.initialize(), c.message));
    float seconds = -1.0f;
    EXPECT_TRUE(failedWith(solver.optimize(1, &seconds), c.message));
    EXPECT_EQ(seconds, -1.0f);
    EXPECT_TRUE(failedWith(solver.dataCostSum(), c.message));
    EXPECT_TRUE(failedWith(solver.pairCostSum(), c.message));
  }
}

TEST(GraphCutSolver, ConstructionRefusesMissingEnergyRecords) {
  GridEnergy energy(1, 1, 1);
  EnergyTerms noSmooth{&energy.data, nullptr};
  const char* message =
      "\n The energy terms are missing: EnergyTerms, its data term and its smoothness term must all be given \n";
  for (EnergyTerms* terms : {static_cast<EnergyTerms*>(nullptr), &noSmooth}) {
    AlphaExpansion solver(1, 1, 1, terms);
    EXPECT_TRUE(failedWith(solver.status(), message));
    EXPECT_TRUE(failedWith(solver.initialize(), message));
  }
}

TEST(GraphCutSolver, EmptyGridHasZeroEnergyAndEmptySweeps) {
  for (const auto& [width, height] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
    GridEnergy energy(1, 1, 3);
    energy.data.costTable = nullptr;  // nothing to read on an empty grid
    AlphaExpansion solver(width, height, 3, &energy.terms);
    EXPECT_TRUE(solver.initialize());
    float seconds = -1.0f;
    EXPECT_TRUE(solver.optimize(3, &seconds));
    EXPECT_EQ(*solver.dataCostSum(), 0.0);
    EXPECT_EQ(*solver.pairCostSum(), 0.0);
    EXPECT_GE(seconds, 0.0f);
  }
}

TEST(GraphCutSolver, StartsAtLabelZeroAndGivesDirectAccessToTheLabels) {
  GridEnergy energy(3, 2, 4);
  for (int p = 0; p < 6; ++p)
    for (int l = 0; l < 4; ++l) energy.cost(p, l) = static_cast<float>(p + 0.5 * l);
  AlphaExpansion solver(3, 2, 4, &energy.terms);
  EXPECT_TRUE(solver.initialize());
  EXPECT_EQ(mrftest::labelsOf(solver), std::vector<int>(6, 0));
  EXPECT_EQ(*solver.dataCostSum(), 0.0 + 1 + 2 + 3 + 4 + 5);  // the label-0 costs

  solver.assignLabel(4, 3);
  solver.labelBuffer()[1] = 2;
  EXPECT_EQ(mrftest::labelsOf(solver), (std::vector<int>{0, 2, 0, 0, 3, 0}));
  EXPECT_EQ(*solver.dataCostSum(), 15.0 + 1.0 + 1.5);

  solver.resetLabels();
  EXPECT_EQ(mrftest::labelsOf(solver), std::vector<int>(6, 0));
}

TEST(GraphCutSolver, PairSumCountsEachGridNeighbourPairOnce) {
  // Potts with lambda 1: the pair sum counts the neighbour pairs whose labels differ.
  struct Case {
    const char* name;
    int width, height;
    std::function<int(int x, int y)> label;
    double pairs;
  };
  const Case cases[] = {
      {"left half 0, right half 1 on 6 x 4: one boundary pair per row", 6, 4, [](int x, int) { return x < 3 ? 0 : 1; },
       4.0},
      {"left half 0, right half 1 on 2 x 7", 2, 7, [](int x, int) { return x; }, 7.0},
      {"1 x N row: horizontal pairs only", 5, 1, [](int x, int) { return x % 2; }, 4.0},
      {"N x 1 column: vertical pairs only", 1, 5, [](int, int y) { return y % 2; }, 4.0},
      {"checkerboard 3 x 3: every pair", 3, 3, [](int x, int y) { return (x + y) % 2; }, 12.0},
      {"stripes by row: vertical pairs only", 4, 3, [](int, int y) { return y; }, 8.0},
      {"1 x 1: no pairs", 1, 1, [](int, int) { return 1; }, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GridEnergy energy(c.width, c.height, 3);
    AlphaExpansion solver(c.width, c.height, 3, &energy.terms);
    EXPECT_TRUE(solver.initialize());
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) solver.assignLabel(y * c.width + x, c.label(x, y));
    EXPECT_EQ(*solver.pairCostSum(), c.pairs);
    EXPECT_EQ(*solver.dataCostSum() + *solver.pairCostSum(), energy.energy(mrftest::labelsOf(solver)));
  }
}

TEST(GraphCutSolver, LabelOrderOptionTakesOneFlag) {
  GridEnergy energy(4, 3, 8);
  const std::vector<int> identity = {0, 1, 2, 3, 4, 5, 6, 7};
  auto orderOf = [](const AlphaExpansion& s) {
    return std::vector<int>(s.currentLabelOrder().begin(), s.currentLabelOrder().end());
  };
  float seconds = 0.0f;

  // A wrong count is told on stdout and changes nothing: sweeps still shuffle.
  AlphaExpansion shuffled(4, 3, 8, &energy.terms);
  EXPECT_TRUE(shuffled.initialize());
  shuffled.fixLabelOrderSeed(11);
  const unsigned char off[2] = {0, 0};
  ::testing::internal::CaptureStdout();
  shuffled.setOptions(2, off);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "\nInvalid number of parameters, can only set one parameter\\that is boolean label order\n");
  EXPECT_TRUE(shuffled.optimize(1, &seconds));
  EXPECT_NE(orderOf(shuffled), identity);

  // A cleared flag before any sweep: every sweep expands 0, 1, 2, ...
  AlphaExpansion ordered(4, 3, 8, &energy.terms);
  EXPECT_TRUE(ordered.initialize());
  ordered.setOptions(1, off);
  EXPECT_TRUE(ordered.optimize(3, &seconds));
  EXPECT_EQ(orderOf(ordered), identity);

  // A cleared flag after shuffled sweeps freezes the order they left.
  const std::vector<int> left = orderOf(shuffled);
  shuffled.setOptions(1, off);
  EXPECT_TRUE(shuffled.optimize(3, &seconds));
  EXPECT_EQ(orderOf(shuffled), left);

  // Null values: told, nothing changed.
  ::testing::internal::CaptureStdout();
  shuffled.setOptions(1, nullptr);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("values is null"), std::string::npos);
}

// The solver prints nothing itself: a caller's sink receives the note, and
// standard output stays silent.
TEST(GraphCutSolver, NotesGoToTheCallersSink) {
  struct RecordingSink : MessageSink {
    void message(std::string_view text) override { told += text; }
    std::string told;
  } sink;
  GridEnergy energy(4, 3, 8);
  AlphaExpansion solver(4, 3, 8, &energy.terms);
  solver.setMessageSink(sink);
  const unsigned char off[2] = {0, 0};
  ::testing::internal::CaptureStdout();
  solver.setOptions(2, off);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(sink.told, "\nInvalid number of parameters, can only set one parameter\\that is boolean label order\n");
}

TEST(GraphCutSolver, GeneralNeighbourListsAreRefused) {
  GridEnergy energy(2, 2, 2);
  AlphaExpansion solver(2, 2, 2, &energy.terms);
  EXPECT_TRUE(solver.initialize());
  EXPECT_TRUE(failedWith(solver.addNeighbourPair(0, 3, 1.0f),
                         "addNeighbourPair: this solver works on the 4-connected grid only; general neighbour "
                         "lists are not supported\n"));
  // Touching nothing: the solver still optimizes.
  float seconds = 0.0f;
  EXPECT_TRUE(solver.optimize(1, &seconds));
}

}  // namespace
}  // namespace orbelt
