// AlphaExpansion against the optimizer as it stood before the speed work
// (frozen in bench/mrf/baseline): on random energies of every form, from the
// same start and label-order seed, the labels must be identical after every
// pass. The live optimizer reuses one graph across moves and skips moves whose
// outcome is known; neither may move a label.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bench/mrf/baseline/AlphaExpansion.h"
#include "mrf/AlphaExpansion.h"
#include "tests/mrf/GridEnergy.h"

namespace orbelt {
namespace {

using mrftest::GridEnergy;

const GridEnergy* gEnergy = nullptr;
float dataViaFunction(int pixel, int label) {
  return gEnergy->costs[static_cast<std::size_t>(pixel * gEnergy->labelCount + label)];
}
// Truncated linear weighted by the pair's position; symmetric under swapping
// the two pixels together with their labels.
float weightedLinear(int p1, int p2, int l1, int l2) {
  const int d = l1 > l2 ? l1 - l2 : l2 - l1;
  return (0.25f + 0.125f * static_cast<float>((p1 + p2) % 5)) * static_cast<float>(d < 3 ? d : 3);
}

enum class Form { PipelineSquared, TruncatedLinear, NonMetricTableWithMultipliers, Functions };

template <typename Solver>
std::vector<int> labelsOf(Solver& solver) {
  std::vector<int> labels(static_cast<std::size_t>(solver.gridPixelCount()));
  for (int p = 0; p < solver.gridPixelCount(); ++p) labels[static_cast<std::size_t>(p)] = solver.labelAt(p);
  return labels;
}

TEST(AlphaExpansionBaseline, RandomEnergiesOfEveryFormGiveTheLabelsOfBefore) {
  std::mt19937 random(4242);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  for (int k = 0; k < 80; ++k) {
    const Form form = static_cast<Form>(k % 4);
    const int width = pick(1, 24);
    const int height = pick(1, 16);
    const int labelCount = pick(2, 9);
    SCOPED_TRACE(::testing::Message() << "energy " << k << ": " << width << " x " << height << " x " << labelCount
                                      << ", form " << static_cast<int>(form));
    GridEnergy e(width, height, labelCount);
    // Half the energies have noisy costs, so that borders hinge on exact
    // rounding; half have costs in quarters, full of ties, which the cut
    // breaks by the exact order of the graph's scans.
    const bool ties = k % 8 >= 4;
    for (float& c : e.costs) {
      c = ties ? 0.25f * static_cast<float>(pick(0, 12)) : std::uniform_real_distribution<float>(0.0f, 6.0f)(random);
    }
    switch (form) {
      case Form::PipelineSquared:
        e.setTruncatedPower(2, 5.0f, 0.99f);
        break;
      case Form::TruncatedLinear:
        e.setTruncatedPower(1, 3.0f, 1.3f);
        break;
      case Form::NonMetricTableWithMultipliers:
        e.smooth.form = CostForm::Table;
        for (int a = 0; a < labelCount; ++a)
          for (int b = a; b < labelCount; ++b) {
            const float v = a == b ? 0.0f : std::uniform_real_distribution<float>(0.2f, 3.0f)(random);
            e.pairTable[static_cast<std::size_t>(a * labelCount + b)] = v;
            e.pairTable[static_cast<std::size_t>(b * labelCount + a)] = v;
          }
        e.smooth.useMultipliers = true;
        for (float& m : e.horizontal) m = std::uniform_real_distribution<float>(0.0f, 2.0f)(random);
        for (float& m : e.vertical) m = std::uniform_real_distribution<float>(0.0f, 2.0f)(random);
        break;
      case Form::Functions:
        e.data.form = CostForm::Function;
        e.data.costFunction = dataViaFunction;
        e.smooth.form = CostForm::Function;
        e.smooth.pairFunction = weightedLinear;
        break;
    }
    gEnergy = &e;
    AlphaExpansion now(width, height, labelCount, &e.terms);
    baseline::AlphaExpansion before(width, height, labelCount, &e.terms);
    const auto seed = static_cast<std::uint32_t>(k + 1);
    now.fixLabelOrderSeed(seed);
    before.fixLabelOrderSeed(seed);
    ASSERT_TRUE(now.initialize());
    before.initialize();
    now.resetLabels();
    before.resetLabels();
    for (int pass = 1; pass <= 5; ++pass) {
      ASSERT_TRUE(now.optimize(1, nullptr));
      before.optimize(1, nullptr);
      ASSERT_EQ(labelsOf(now), labelsOf(before)) << "after pass " << pass;
    }
    gEnergy = nullptr;
  }
}

}  // namespace
}  // namespace orbelt
