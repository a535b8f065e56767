// Data costs handed over to the optimizer: reordered in place, they must
// give the run the caller's table gives, every pass, on either way of
// solving moves; they must come back as they were; and a handover the
// optimizer cannot take must leave them with the caller.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "mrf/AlphaExpansion.h"
#include "tests/mrf/GridEnergy.h"

namespace orbelt {
namespace {

using mrftest::GridEnergy;

TEST(AdoptedDataCosts, RunAsTheCallersTableDoes) {
  struct Case {
    const char* name;
    bool recycling;
    bool multipliers;
  };
  const Case cases[] = {
      {"on the persistent grid", true, false},
      {"on the persistent grid, with multipliers", true, true},
      {"the fresh way", false, false},
      {"the fresh way, with multipliers", false, true},
  };
  std::mt19937 random(31337);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GridEnergy e(29, 13, 6);
    // Any floats: both runs must agree to the bit, not only on exact costs.
    for (float& cost : e.costs) cost = std::uniform_real_distribution<float>(0.0f, 4.0f)(random);
    for (float& m : e.horizontal) m = std::uniform_real_distribution<float>(0.5f, 2.0f)(random);
    e.setTruncatedPower(2, 5.0f, 0.99f);
    e.smooth.useMultipliers = c.multipliers;
    const std::vector<float> table = e.costs;
    AlphaExpansion borrowing(29, 13, 6, &e.terms);
    AlphaExpansion adopting(29, 13, 6, &e.terms);
    for (AlphaExpansion* s : {&borrowing, &adopting}) {
      s->setFlowRecycling(c.recycling);
      s->fixLabelOrderSeed(5);
      ASSERT_TRUE(s->initialize());
      s->resetLabels();
    }
    ASSERT_TRUE(adopting.adoptDataCosts(std::vector<float>(table)));
    for (int pass = 1; pass <= 5; ++pass) {
      ASSERT_TRUE(borrowing.optimize(1, nullptr));
      ASSERT_TRUE(adopting.optimize(1, nullptr));
      ASSERT_EQ(mrftest::labelsOf(adopting), mrftest::labelsOf(borrowing)) << "after pass " << pass;
      ASSERT_EQ(*adopting.dataCostSum(), *borrowing.dataCostSum()) << "after pass " << pass;
    }
    EXPECT_EQ(adopting.recyclesFlows(), c.recycling);
    EXPECT_EQ(adopting.releaseDataCosts(), table);
    // Given back, the costs are no longer the data term.
    EXPECT_FALSE(adopting.optimize(1, nullptr));
  }
}

TEST(AdoptedDataCosts, AHandoverThatCannotBeTakenLeavesTheCostsWithTheCaller) {
  GridEnergy e(5, 4, 3);
  for (std::size_t k = 0; k < e.costs.size(); ++k) e.costs[k] = static_cast<float>(k);
  struct Case {
    const char* name;
    std::size_t size;
    CostForm form;
  };
  const Case cases[] = {
      {"one cost short", 5 * 4 * 3 - 1, CostForm::Table},
      {"one cost too many", 5 * 4 * 3 + 1, CostForm::Table},
      {"the data term is a function", 5 * 4 * 3, CostForm::Function},
  };
  for (const Case& c : cases) {
    e.data.form = c.form;
    e.data.costFunction = [](int, int) { return 0.0f; };
    AlphaExpansion solver(5, 4, 3, &e.terms);
    ASSERT_TRUE(solver.initialize());
    std::vector<float> costs(c.size, 1.5f);
    const Status taken = solver.adoptDataCosts(std::move(costs));
    ASSERT_FALSE(taken) << c.name;
    EXPECT_EQ(taken.error().kind, ErrorKind::InvalidInput) << c.name;
    EXPECT_EQ(costs, std::vector<float>(c.size, 1.5f)) << c.name;  // NOLINT(bugprone-use-after-move): not moved
    EXPECT_TRUE(solver.releaseDataCosts().empty()) << c.name;
  }
}

TEST(AdoptedDataCosts, InitializeKeepsThemOnlyWhileTheRecordPointsAtThem) {
  GridEnergy e(6, 5, 4);
  for (float& cost : e.costs) cost = 1.0f;
  e.cost(7, 2) = 0.0f;  // pixel 7 prefers label 2 in the table handed over
  std::vector<float> handed = e.costs;
  std::vector<float> other(e.costs.size(), 1.0f);  // no preference: every pixel stays at 0
  e.data.costTable = handed.data();
  AlphaExpansion solver(6, 5, 4, &e.terms);
  ASSERT_TRUE(solver.initialize());
  ASSERT_TRUE(solver.adoptDataCosts(std::move(handed)));
  ASSERT_TRUE(solver.initialize());  // the record still points at the handed-over buffer
  solver.resetLabels();
  ASSERT_TRUE(solver.optimize(1, nullptr));
  EXPECT_EQ(solver.labelAt(7), 2);
  e.data.costTable = other.data();
  ASSERT_TRUE(solver.initialize());  // another table replaces them
  EXPECT_TRUE(solver.releaseDataCosts().empty());
  solver.resetLabels();
  ASSERT_TRUE(solver.optimize(1, nullptr));
  EXPECT_EQ(solver.labelAt(7), 0);
}

}  // namespace
}  // namespace orbelt
