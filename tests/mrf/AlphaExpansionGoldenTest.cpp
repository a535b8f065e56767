// Recorded labels of a fixed run, so that a change meant to make the solver
// (or the flow graph under it) faster can show that it leaves every label of
// a pipeline-like run exactly as it was.
//
// The run: a 40 x 30 grid with 8 labels, data costs from the formula in
// goldenCost() (a scene of three depth regions, the distance to the true label
// clipped at 3, plus hashed noise of up to 4, strong enough that the labels
// along the region borders hinge on the exact energies), the pipeline's
// default smoothness (squared distance, truncated at 5, lambda 0.99), label
// orders seeded with 2024, all labels reset to 0, then ten optimize(1) passes.
//
// The expected labels live in GoldenLabels40x30.inc, one string per row, one
// digit per pixel. A behaviour change that is meant to alter them is recorded
// anew with
//   ORBELT_PRINT_GOLDEN_LABELS=1 <build>/bin/orbelt_mrf_tests --gtest_filter='AlphaExpansionGolden.*'
// which prints the file's new contents (they are printed on a mismatch too).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mrf/AlphaExpansion.h"

namespace orbelt {
namespace {

constexpr int kWidth = 40;
constexpr int kHeight = 30;
constexpr int kLabels = 8;
constexpr std::uint32_t kSeed = 2024;

constexpr const char* kGoldenRows[] = {
#include "tests/mrf/GoldenLabels40x30.inc"
};
static_assert(sizeof(kGoldenRows) / sizeof(kGoldenRows[0]) == kHeight, "one string per row");

int trueLabel(int x, int y) {
  if (x >= 26 && x < 36 && y >= 10 && y < 26) return 7;        // a near square
  if (x >= 5 && x < 25 && y >= 4 && y < 20) return 3 + (x - 5) / 8;  // a slanted plane, 3..5
  return 1;                                                      // the background
}

// Noise in [0, 1) from a hash of the position and the label.
float noise(int x, int y, int d) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u ^
                    static_cast<std::uint32_t>(d) * 83492791u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<float>(h % 1000u) / 1000.0f;
}

float goldenCost(int x, int y, int d) {
  const int distance = std::abs(d - trueLabel(x, y));
  return static_cast<float>(distance < 3 ? distance : 3) + 4.0f * noise(x, y, d);
}

std::vector<int> runGoldenCase() {
  std::vector<float> costs(static_cast<std::size_t>(kWidth * kHeight * kLabels));
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      for (int d = 0; d < kLabels; ++d)
        costs[static_cast<std::size_t>((y * kWidth + x) * kLabels + d)] = goldenCost(x, y, d);
  DataTerm data;
  data.costTable = costs.data();
  data.form = CostForm::Table;
  SmoothTerm smooth;
  smooth.form = CostForm::TruncatedPower;
  smooth.exponent = 2;
  smooth.maxCost = 5.0f;
  smooth.lambda = 0.99f;
  EnergyTerms terms{&data, &smooth};

  AlphaExpansion solver(kWidth, kHeight, kLabels, &terms);
  solver.fixLabelOrderSeed(kSeed);
  solver.initialize();
  solver.resetLabels();
  float seconds = 0.0f;
  for (int pass = 0; pass < 10; ++pass) solver.optimize(1, &seconds);

  std::vector<int> labels(static_cast<std::size_t>(kWidth * kHeight));
  for (int p = 0; p < kWidth * kHeight; ++p) labels[static_cast<std::size_t>(p)] = solver.labelAt(p);
  return labels;
}

std::string asIncludeFile(const std::vector<int>& labels) {
  std::string text;
  for (int y = 0; y < kHeight; ++y) {
    text += '"';
    for (int x = 0; x < kWidth; ++x) text += static_cast<char>('0' + labels[static_cast<std::size_t>(y * kWidth + x)]);
    text += "\",\n";
  }
  return text;
}

TEST(AlphaExpansionGolden, TenSeededPassesGiveTheRecordedLabels) {
  const std::vector<int> labels = runGoldenCase();
  const std::string actual = asIncludeFile(labels);
  std::string expected;
  for (const char* row : kGoldenRows) expected += std::string("\"") + row + "\",\n";

  if (std::getenv("ORBELT_PRINT_GOLDEN_LABELS") != nullptr) std::printf("%s", actual.c_str());
  int differing = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      differing += labels[static_cast<std::size_t>(y * kWidth + x)] != kGoldenRows[y][x] - '0';
  EXPECT_EQ(differing, 0) << "labels differ from the recording; this run gives:\n" << actual;
}

}  // namespace
}  // namespace orbelt
