// The energy the solver works with: how the terms are installed, the
// truncated-power table, the checks on a caller's table, multipliers, and the
// terms that are missing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mrf/AlphaExpansion.h"
#include "tests/mrf/GridEnergy.h"
#include "tests/platform/ErrorAssertions.h"

namespace orbelt {
namespace {

using mrftest::GridEnergy;
using testing::failedWith;

// V(a, b) as the solver evaluates it: the pair cost of a 2 x 1 grid labelled (a, b).
float solverPairCost(AlphaExpansion& solver, int a, int b) {
  solver.assignLabel(0, a);
  solver.assignLabel(1, b);
  return static_cast<float>(*solver.pairCostSum());
}

struct TruncatedPowerCase {
  const char* name;
  int labelCount;
  int exponent;
  float maxCost;
  float lambda;
  std::vector<float> byDistance;  // V at label distance 0, 1, 2, ...
};

TEST(EnergyTerms, TruncatedPowerTableHoldsLambdaTimesTheTruncatedDistancePower) {
  const TruncatedPowerCase cases[] = {
      // The dialog's defaults: exponent 2, Smoothness Max 5, Lambda 0.033 * 30.
      {"defaults", 6, 2, 5.0f, 0.99f, {0.0f, 0.99f, 3.96f, 4.95f, 4.95f, 4.95f}},
      {"potts", 4, 1, 1.0f, 2.5f, {0.0f, 2.5f, 2.5f, 2.5f}},
      {"squared, Lambda 1.0", 6, 2, 10.0f, 30.0f, {0.0f, 30.0f, 120.0f, 270.0f, 300.0f, 300.0f}},
      {"truncated linear", 5, 1, 2.5f, 2.0f, {0.0f, 2.0f, 4.0f, 5.0f, 5.0f}},
      {"maxCost 0: data energy alone", 4, 1, 0.0f, 3.0f, {0.0f, 0.0f, 0.0f, 0.0f}},
      {"negative maxCost reaches the diagonal", 4, 1, -2.0f, 1.5f, {-3.0f, -3.0f, -3.0f, -3.0f}},
      {"negative lambda", 4, 2, 5.0f, -1.0f, {0.0f, -1.0f, -4.0f, -5.0f}},
      {"one label", 1, 2, 5.0f, 0.99f, {0.0f}},
      {"one label, negative maxCost", 1, 1, -1.0f, 2.0f, {-2.0f}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GridEnergy energy(2, 1, c.labelCount);
    energy.setTruncatedPower(c.exponent, c.maxCost, c.lambda);
    AlphaExpansion solver(2, 1, c.labelCount, &energy.terms);
    EXPECT_TRUE(solver.initialize());
    for (int a = 0; a < c.labelCount; ++a) {
      for (int b = 0; b < c.labelCount; ++b) {
        EXPECT_FLOAT_EQ(solverPairCost(solver, a, b), c.byDistance[static_cast<std::size_t>(std::abs(a - b))])
            << "labels " << a << ", " << b;
      }
    }
  }
}

TEST(EnergyTerms, TruncatedPowerAcceptsOnlyExponentsOneAndTwo) {
  for (const int exponent : {0, 3, -1}) {
    SCOPED_TRACE(exponent);
    GridEnergy energy(2, 2, 3);
    energy.setTruncatedPower(exponent, 5.0f, 1.0f);
    AlphaExpansion solver(2, 2, 3, &energy.terms);
    EXPECT_TRUE(failedWith(solver.initialize(), "Wrong exponent in setSmoothness()!\n"));
    // The caller carries on: the same solver takes a good exponent.
    energy.setTruncatedPower(2, 5.0f, 1.0f);
    AlphaExpansion corrected(2, 2, 3, &energy.terms);
    EXPECT_TRUE(corrected.initialize());
  }
}

TEST(EnergyTerms, CallersTableMustBeExactlySymmetric) {
  GridEnergy energy(2, 2, 3);
  energy.setTableFromTruncatedLinear(2.0f, 1.0f);
  // The smallest possible difference between an entry and its mirror.
  energy.pairTable[1 * 3 + 2] = std::nextafter(energy.pairTable[2 * 3 + 1], 10.0f);
  AlphaExpansion solver(2, 2, 3, &energy.terms);
  EXPECT_TRUE(failedWith(solver.initialize(), "Error in setSmoothness(): V is not symmetric!\n"));
  // Mended, the table is taken by the same solver.
  energy.pairTable[1 * 3 + 2] = energy.pairTable[2 * 3 + 1];
  EXPECT_TRUE(solver.initialize());
}

TEST(EnergyTerms, SymmetricTableWithNonZeroDiagonalIsUsedAsGiven) {
  GridEnergy energy(2, 1, 2);
  energy.smooth.form = CostForm::Table;
  energy.pairTable = {0.5f, 2.0f,  //
                      2.0f, 7.0f};
  energy.smooth.pairTable = energy.pairTable.data();
  AlphaExpansion solver(2, 1, 2, &energy.terms);
  EXPECT_TRUE(solver.initialize());
  EXPECT_EQ(solverPairCost(solver, 0, 0), 0.5f);
  EXPECT_EQ(solverPairCost(solver, 1, 0), 2.0f);
  EXPECT_EQ(solverPairCost(solver, 1, 1), 7.0f);
}

TEST(EnergyTerms, MultipliersScaleEachPairByItsLeftOrUpperPixel) {
  // 3 x 2 grid, Potts with lambda 2, every pixel labelled differently from
  // its neighbours, so every pair costs 2 * its multiplier.
  GridEnergy energy(3, 2, 2);
  energy.setTruncatedPower(1, 1.0f, 2.0f);
  energy.smooth.useMultipliers = true;
  energy.horizontal = {1.0f, 3.0f, NAN,  // the last column has no right neighbour: never read
                       0.5f, 4.0f, NAN};
  energy.vertical = {2.0f, 0.25f, 10.0f,  //
                     NAN,  NAN,   NAN};   // the last row has no lower neighbour: never read
  energy.smooth.horizontalMultipliers = energy.horizontal.data();
  energy.smooth.verticalMultipliers = energy.vertical.data();
  for (const CostForm form : {CostForm::TruncatedPower, CostForm::Table}) {
    if (form == CostForm::Table) energy.setTableFromTruncatedLinear(1.0f, 2.0f);
    AlphaExpansion solver(3, 2, 2, &energy.terms);
    EXPECT_TRUE(solver.initialize());
    mrftest::assignLabels(solver, {0, 1, 0,  //
                                   1, 0, 1});
    EXPECT_DOUBLE_EQ(*solver.pairCostSum(), 2.0 * (1.0 + 3.0 + 0.5 + 4.0 + 2.0 + 0.25 + 10.0));
  }
}

// A pair function weighted by position, symmetric under swapping the pixels
// together with their labels.
float weightedPotts(int p1, int p2, int l1, int l2) { return l1 == l2 ? 0.0f : static_cast<float>(1 + (p1 + p2) % 3); }
float indexCost(int pixel, int label) { return static_cast<float>(pixel * 10 + label); }

TEST(EnergyTerms, FunctionFormsAreCalledAndMultipliersIgnored) {
  GridEnergy energy(2, 2, 2);
  energy.data.form = CostForm::Function;
  energy.data.costFunction = indexCost;
  energy.smooth.form = CostForm::Function;
  energy.smooth.pairFunction = weightedPotts;
  energy.smooth.useMultipliers = true;  // read only by the table forms
  energy.smooth.horizontalMultipliers = nullptr;
  energy.smooth.verticalMultipliers = nullptr;
  AlphaExpansion solver(2, 2, 2, &energy.terms);
  EXPECT_TRUE(solver.initialize());
  const std::vector<int> labels = {0, 1,  //
                                   1, 1};
  mrftest::assignLabels(solver, labels);
  EXPECT_DOUBLE_EQ(*solver.dataCostSum(), 0 + 11 + 21 + 31);
  // Pairs (0,1) and (0,2) differ: weights 1 + 1 % 3 = 2 and 1 + 2 % 3 = 3.
  EXPECT_DOUBLE_EQ(*solver.pairCostSum(), 5.0);
  EXPECT_DOUBLE_EQ(*solver.dataCostSum() + *solver.pairCostSum(), energy.energy(labels));
}

float bigThenOnes(int pixel, int) { return pixel == 0 ? 1e8f : 1.0f; }

TEST(EnergyTerms, DataSumPrecisionFollowsTheForm) {
  // 1e8 + 1 + 1 + 1: a double accumulator keeps the ones, a float one
  // (spacing 8 at 1e8) loses every one of them.
  GridEnergy energy(4, 1, 1);
  energy.costs = {1e8f, 1.0f, 1.0f, 1.0f};
  energy.data.costTable = energy.costs.data();
  {
    AlphaExpansion solver(4, 1, 1, &energy.terms);
    EXPECT_TRUE(solver.initialize());
    EXPECT_EQ(*solver.dataCostSum(), 100000003.0);
  }
  energy.data.form = CostForm::Function;
  energy.data.costFunction = bigThenOnes;
  {
    AlphaExpansion solver(4, 1, 1, &energy.terms);
    EXPECT_TRUE(solver.initialize());
    EXPECT_EQ(*solver.dataCostSum(), 100000000.0);
  }
}

TEST(EnergyTerms, ArraysAreReadLiveButRecordFieldsOnlyAtInitialize) {
  GridEnergy energy(2, 1, 3);
  energy.setTruncatedPower(1, 5.0f, 1.0f);
  AlphaExpansion solver(2, 1, 3, &energy.terms);
  EXPECT_TRUE(solver.initialize());
  solver.assignLabel(1, 2);
  EXPECT_EQ(*solver.pairCostSum(), 2.0);

  energy.cost(1, 2) = 4.5f;  // the caller's table: seen at once
  EXPECT_EQ(*solver.dataCostSum(), 4.5);

  energy.smooth.lambda = 10.0f;  // a record field: the built table does not follow
  EXPECT_EQ(*solver.pairCostSum(), 2.0);
  EXPECT_TRUE(solver.initialize());  // ... until the terms are installed anew
  EXPECT_EQ(*solver.pairCostSum(), 20.0);
}

TEST(EnergyTermsDeathTest, MissingTermIsRefusedWhenASweepWouldReadIt) {
  struct Case {
    const char* name;
    CostForm dataForm;
    CostForm smoothForm;
    const char* message;
  };
  const Case cases[] = {
      {"data", CostForm::NotSet, CostForm::TruncatedPower,
       "\n You have to set up the data cost before running optimization \n"},
      {"smoothness", CostForm::Table, CostForm::NotSet,
       "\n You have to set up the smoothness cost before running optimization \n"},
      {"both: data first", CostForm::NotSet, CostForm::NotSet,
       "\n You have to set up the data cost before running optimization \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GridEnergy energy(3, 2, 3);
    energy.data.form = c.dataForm;
    energy.smooth.form = c.smoothForm;
    // A missing term is not judged as a truncated power with whatever
    // exponent the record holds.
    if (c.smoothForm == CostForm::NotSet) energy.smooth.exponent = 0;
    AlphaExpansion solver(3, 2, 3, &energy.terms);
    EXPECT_TRUE(solver.initialize());
    float seconds = 0.0f;
    EXPECT_TRUE(failedWith(solver.optimize(1, &seconds), c.message));
    // The energy queries refuse the same term, the data term first.
    if (c.dataForm == CostForm::NotSet) {
      EXPECT_TRUE(failedWith(solver.dataCostSum(), c.message));
    } else {
      EXPECT_TRUE(solver.dataCostSum());
      EXPECT_TRUE(failedWith(solver.pairCostSum(), c.message));
    }
  }
}

TEST(EnergyTerms, FormWhoseArrayOrFunctionIsNullIsRefusedAtInitialize) {
  struct Case {
    const char* name;
    void (*breakIt)(GridEnergy&);
    const char* message;
  };
  const Case cases[] = {
      {"data table", [](GridEnergy& e) { e.data.costTable = nullptr; },
       "the data term's form is Table but its costTable is null"},
      {"data function",
       [](GridEnergy& e) {
         e.data.form = CostForm::Function;
         e.data.costFunction = nullptr;
       },
       "the data term's costFunction is null (every form but Table reads it)"},
      {"pair table",
       [](GridEnergy& e) {
         e.smooth.form = CostForm::Table;
         e.smooth.pairTable = nullptr;
       },
       "the smoothness term's form is Table but its pairTable is null"},
      {"pair function",
       [](GridEnergy& e) {
         e.smooth.form = CostForm::Function;
         e.smooth.pairFunction = nullptr;
       },
       "the smoothness term's form is Function but its pairFunction is null"},
      {"multipliers",
       [](GridEnergy& e) {
         e.smooth.useMultipliers = true;
         e.smooth.verticalMultipliers = nullptr;
       },
       "useMultipliers is set but horizontalMultipliers or verticalMultipliers is null"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GridEnergy energy(2, 2, 2);
    c.breakIt(energy);
    AlphaExpansion solver(2, 2, 2, &energy.terms);
    EXPECT_TRUE(failedWith(solver.initialize(), std::string("\n initialize(): ") + c.message + " \n"));
  }
}

}  // namespace
}  // namespace orbelt
