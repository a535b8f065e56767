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

namespace orbelt {
namespace {

using mrftest::GridEnergy;

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
  owner->initialize();
  solver.waitMs = 3;
  float seconds = -1.0f;
  owner->optimize(7, &seconds);
  owner->optimize(-2, &seconds);
  owner->optimize(1, nullptr);  // the time is optional
  EXPECT_EQ(solver.sweepArguments, (std::vector<int>{7, -2, 1}));
  EXPECT_GE(seconds, 0.003f);
  // A whole number of process-clock milliseconds.
  EXPECT_NEAR(seconds * 1000.0f, std::round(seconds * 1000.0f), 1e-3f);
}

TEST(MrfSolverDeathTest, OptimizeNeedsInitializeAndAValidEnergy) {
  GridEnergy energy(2, 2, 2);
  for (const int maxSweeps : {-1, 0, 1, 10}) {
    AlphaExpansion solver(2, 2, 2, &energy.terms);
    float seconds = 0.0f;
    EXPECT_EXIT(solver.optimize(maxSweeps, &seconds), ::testing::ExitedWithCode(1), "^run initialize\\(\\) first!\n$");
  }
  RecordingSolver invalid(2, 2, 2, &energy.terms);
  invalid.initialize();
  invalid.valid = false;
  float seconds = 0.0f;
  EXPECT_EXIT(invalid.optimize(1, &seconds), ::testing::ExitedWithCode(1),
              "^optimize\\(\\) cannot be called for invalid energy!\n$");
}

TEST(MrfSolver, KindCodeAndEnergyFloor) {
  GridEnergy energy(2, 2, 2);
  AlphaExpansion solver(2, 2, 2, &energy.terms);
  EXPECT_EQ(solver.energyFloor(), 0.0);
  EXPECT_TRUE(solver.energyIsValid());
  EXPECT_FALSE(solver.isInitialized());
  solver.initialize();
  EXPECT_TRUE(solver.isInitialized());
  EXPECT_EQ(solver.kindCode(), 2);
}

TEST(MrfSolverDeathTest, KindCodeNeedsInitialize) {
  GridEnergy energy(2, 2, 2);
  AlphaExpansion solver(2, 2, 2, &energy.terms);
  EXPECT_EXIT(solver.kindCode(), ::testing::ExitedWithCode(1), "^Call initialize\\(\\) first,exiting!$");
}

TEST(MrfSolverDeathTest, EnergyQueriesBeforeInitializeAreRefusedNotRead) {
  GridEnergy energy(2, 2, 2);
  AlphaExpansion solver(2, 2, 2, &energy.terms);
  EXPECT_EXIT(solver.pairCostSum(), ::testing::ExitedWithCode(1),
              "pairCostSum\\(\\): no smoothness cost is installed; run initialize\\(\\) first");
  energy.data.form = CostForm::Function;
  energy.data.costFunction = [](int, int) { return 1.0f; };
  AlphaExpansion functionSolver(2, 2, 2, &energy.terms);
  EXPECT_EXIT(functionSolver.dataCostSum(), ::testing::ExitedWithCode(1),
              "dataCostSum\\(\\): no data cost is installed; run initialize\\(\\) first");
}

}  // namespace
}  // namespace orbelt
