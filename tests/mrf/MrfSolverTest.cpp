// The solver interface as a caller drives it: initialize before optimize,
// the sweep time, the kind code and floor, and a solver whose optimisation
// step is replaced (as front-end tests replace it).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "mrf/AlphaExpansion.h"
#include "platform/ProcessServices.h"
#include "tests/mrf/GridEnergy.h"
#include "tests/platform/ErrorAssertions.h"

namespace orbelt {
namespace {

using mrftest::GridEnergy;
using testing::failedWith;

// A solver whose optimisation step only records its calls and waits until
// the process clock has moved on by `waitMs`, so the reported time is known
// to be at least that.
class RecordingSolver : public GraphCutSolver {
 public:
  using GraphCutSolver::GraphCutSolver;
  std::vector<int> sweepArguments;
  bool valid = true;
  std::int64_t waitMs = 0;
  bool energyIsValid() const override { return valid; }

 protected:
  double runSweeps(int maxSweeps) override {
    sweepArguments.push_back(maxSweeps);
    const std::int64_t until = processClockMs() + waitMs;
    while (processClockMs() < until) {
    }
    return 123.0;
  }
};

TEST(MrfSolver, OptimizeHandsMaxSweepsToTheStepAndReportsItsTimeInMilliseconds) {
  GridEnergy energy(3, 3, 2);
  std::unique_ptr<MrfSolver> owner = std::make_unique<RecordingSolver>(3, 3, 2, &energy.terms);
  auto& solver = static_cast<RecordingSolver&>(*owner);
  ASSERT_TRUE(owner->initialize());
  solver.waitMs = 3;
  float seconds = -1.0f;
  ASSERT_TRUE(owner->optimize(7, &seconds));
  ASSERT_TRUE(owner->optimize(-2, &seconds));
  ASSERT_TRUE(owner->optimize(1, nullptr));  // the time is optional
  EXPECT_EQ(solver.sweepArguments, (std::vector<int>{7, -2, 1}));
  EXPECT_GE(seconds, 0.003f);
  // A whole number of process-clock milliseconds.
  EXPECT_NEAR(seconds * 1000.0f, std::round(seconds * 1000.0f), 1e-3f);
}

TEST(MrfSolver, OptimizeNeedsInitializeAndAValidEnergy) {
  GridEnergy energy(2, 2, 2);
  for (const int maxSweeps : {-1, 0, 1, 10}) {
    AlphaExpansion solver(2, 2, 2, &energy.terms);
    float seconds = 0.0f;
    EXPECT_TRUE(failedWith(solver.optimize(maxSweeps, &seconds), "run initialize() first!\n"));
    // Refused, not half done: once initialized the same solver runs.
    ASSERT_TRUE(solver.initialize());
    EXPECT_TRUE(solver.optimize(maxSweeps, &seconds));
  }
  RecordingSolver invalid(2, 2, 2, &energy.terms);
  ASSERT_TRUE(invalid.initialize());
  invalid.valid = false;
  float seconds = 0.0f;
  EXPECT_TRUE(failedWith(invalid.optimize(1, &seconds), "optimize() cannot be called for invalid energy!\n"));
  EXPECT_TRUE(invalid.sweepArguments.empty());
}

TEST(MrfSolver, KindCodeAndEnergyFloor) {
  GridEnergy energy(2, 2, 2);
  AlphaExpansion solver(2, 2, 2, &energy.terms);
  EXPECT_EQ(solver.energyFloor(), 0.0);
  EXPECT_TRUE(solver.energyIsValid());
  EXPECT_FALSE(solver.isInitialized());
  ASSERT_TRUE(solver.initialize());
  EXPECT_TRUE(solver.isInitialized());
  ASSERT_TRUE(solver.kindCode());
  EXPECT_EQ(*solver.kindCode(), 2);
}

TEST(MrfSolver, KindCodeNeedsInitialize) {
  GridEnergy energy(2, 2, 2);
  AlphaExpansion solver(2, 2, 2, &energy.terms);
  EXPECT_TRUE(failedWith(solver.kindCode(), "Call initialize() first,exiting!"));
}

TEST(MrfSolver, EnergyQueriesBeforeInitializeAreRefusedNotRead) {
  GridEnergy energy(2, 2, 2);
  AlphaExpansion solver(2, 2, 2, &energy.terms);
  EXPECT_TRUE(
      failedWith(solver.pairCostSum(), "\n pairCostSum(): no smoothness cost is installed; run initialize() first \n"));
  energy.data.form = CostForm::Function;
  energy.data.costFunction = [](int, int) { return 1.0f; };
  AlphaExpansion functionSolver(2, 2, 2, &energy.terms);
  EXPECT_TRUE(failedWith(functionSolver.dataCostSum(),
                         "\n dataCostSum(): no data cost is installed; run initialize() first \n"));
  // The caller carries on: the same solvers answer once initialized.
  ASSERT_TRUE(functionSolver.initialize());
  ASSERT_TRUE(functionSolver.dataCostSum());
  EXPECT_EQ(*functionSolver.dataCostSum(), 4.0);
}

}  // namespace
}  // namespace orbelt
