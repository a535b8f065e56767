#pragma once
// The recorded optimizer runs: energies of every form the optimizer takes,
// each run from all labels 0 with label orders from a fixed seed, traced move
// by move. tools/record-mrf-goldens writes the traces of these runs into
// tests/mrf/RecordedMoves.inc; AlphaExpansionRecordedTest replays them.
//
// What a trace holds per move (skipped moves included): the label hash after
// it, the energy of the labels after it, and its move energy: the energy of
// its result under the pair terms the move itself works with (pairs of two
// pixels that may both switch, corrected as the optimizer documents when no
// cut can hold them). Two minimum cuts of one move have equal move energies,
// so a replay that picks another cut of a tied move can show that it did.
//
// Every energy is summed here in double, from the definition of the energy,
// never from the optimizer's own sums.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "mrf/AlphaExpansion.h"
#include "tests/mrf/GridEnergy.h"
#include "tests/mrf/MoveEnergy.h"

namespace orbelt::mrftest {

enum class GoldenForm : int {
  Squared,                        // the dialog's smoothness: squared distance, truncated at 5, lambda 0.99
  TruncatedLinear,                // |a - b| truncated at 3, lambda 1.3
  Potts,                          // 1.1 for any two different labels
  MetricTableWithMultipliers,     // a caller's truncated-linear table, scaled per pair
  NonMetricTableWithMultipliers,  // a caller's random symmetric table, scaled per pair
  Functions,                      // data and pair costs from functions
};

struct GoldenRun {
  int id;  // index in the recorded file
  std::string name;
  int width;
  int height;
  int labels;
  GoldenForm form;
  bool ties;                 // costs in quarters, full of tied cuts
  bool dataFunction;         // data costs through the function form
  std::uint32_t seed;        // fixLabelOrderSeed
  int passes;                // optimize(1) calls
  bool defaultPair = false;  // the matcher's costs of data/Img0.png, data/Img1.png
};

// Hashed value in [0, 1) of three integers: the same on every platform,
// unlike the standard distributions.
inline float hashed(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  std::uint32_t h = a * 2654435761u ^ b * 2246822519u ^ c * 3266489917u;
  h ^= h >> 15;
  h *= 0x2c1b3c6du;
  h ^= h >> 12;
  h *= 0x297a2d39u;
  h ^= h >> 15;
  return static_cast<float>(h % 4096u) / 4096.0f;
}

// The synthetic scene: a tilted floor, a box and a slanted wall.
inline int sceneLabel(int x, int y, int width, int height, int labels) {
  const float u = static_cast<float>(x) / static_cast<float>(width);
  const float v = static_cast<float>(y) / static_cast<float>(height);
  float d = 0.1f + 0.2f * v;
  if (u > 0.55f && u < 0.85f && v > 0.2f && v < 0.75f) d = 0.8f;
  if (u > 0.1f && u < 0.45f && v > 0.3f && v < 0.9f) d = 0.3f + 0.5f * u;
  return static_cast<int>(d * static_cast<float>(labels - 1) + 0.5f);
}

// The runs, in the order of the recorded file.
inline std::vector<GoldenRun> goldenRuns() {
  std::vector<GoldenRun> runs;
  auto add = [&](std::string name, int w, int h, int l, GoldenForm f, bool ties, bool dataFunction, std::uint32_t seed,
                 int passes) {
    runs.push_back({static_cast<int>(runs.size()), std::move(name), w, h, l, f, ties, dataFunction, seed, passes});
  };
  // Scenes with a known truth, ten passes as the pipeline runs them.
  add("squared 128x96x24", 128, 96, 24, GoldenForm::Squared, false, false, 7, 10);
  add("squared, tied costs 64x48x12", 64, 48, 12, GoldenForm::Squared, true, false, 17, 10);
  add("truncated linear 96x72x16", 96, 72, 16, GoldenForm::TruncatedLinear, false, false, 3, 10);
  add("Potts 96x72x16", 96, 72, 16, GoldenForm::Potts, false, true, 5, 10);
  add("metric table with multipliers 64x48x12", 64, 48, 12, GoldenForm::MetricTableWithMultipliers, false, false, 9,
      10);
  add("non-metric table with multipliers 64x48x12", 64, 48, 12, GoldenForm::NonMetricTableWithMultipliers, false, false,
      11, 10);
  add("functions 64x48x12", 64, 48, 12, GoldenForm::Functions, false, true, 13, 10);
  // Many small energies of every form and size, half of them full of ties,
  // so that labels hinge on the exact order of every scan.
  for (int k = 0; k < 42; ++k) {
    const auto form = static_cast<GoldenForm>(k % 6);
    const int w = 1 + static_cast<int>(hashed(k, 1, 91) * 24.0f);
    const int h = 1 + static_cast<int>(hashed(k, 2, 91) * 16.0f);
    const int l = 2 + static_cast<int>(hashed(k, 3, 91) * 8.0f);
    add("small #" + std::to_string(k), w, h, l, form, (k / 6) % 2 == 1, form == GoldenForm::Functions || k % 4 == 3,
        static_cast<std::uint32_t>(k + 1), 5);
  }
  // The dialog's run on the default pair: 400 x 300, 70 labels, seed 1.
  runs.push_back(
      {static_cast<int>(runs.size()), "default pair", 400, 300, 70, GoldenForm::Squared, false, false, 1, 10, true});
  return runs;
}

// The energy the function forms read: the one last built or traced.
inline const GridEnergy* gGoldenEnergy = nullptr;
inline float goldenDataFunction(int pixel, int label) {
  return gGoldenEnergy->costs[static_cast<std::size_t>(pixel) * static_cast<std::size_t>(gGoldenEnergy->labelCount) +
                              static_cast<std::size_t>(label)];
}
// Truncated linear weighted by the pair's position; symmetric under swapping
// the two pixels together with their labels.
inline float goldenPairFunction(int p1, int p2, int l1, int l2) {
  const int d = std::abs(l1 - l2);
  const auto lo = static_cast<std::uint32_t>(p1 < p2 ? p1 : p2);
  const auto hi = static_cast<std::uint32_t>(p1 < p2 ? p2 : p1);
  return (0.3f + hashed(lo, hi, 7)) * static_cast<float>(d < 3 ? d : 3);
}

// The true labelling of a synthetic run's scene.
inline std::vector<int> sceneTruth(const GoldenRun& run) {
  std::vector<int> truth(static_cast<std::size_t>(run.width * run.height));
  for (int y = 0; y < run.height; ++y)
    for (int x = 0; x < run.width; ++x)
      truth[static_cast<std::size_t>(y * run.width + x)] = sceneLabel(x, y, run.width, run.height, run.labels);
  return truth;
}

// Builds a synthetic run's energy (every run but the default pair's).
inline std::unique_ptr<GridEnergy> buildSyntheticEnergy(const GoldenRun& run) {
  auto e = std::make_unique<GridEnergy>(run.width, run.height, run.labels);
  const std::vector<int> truth = sceneTruth(run);
  const auto salt = static_cast<std::uint32_t>(run.id * 16 + 1);
  for (int p = 0; p < run.width * run.height; ++p)
    for (int d = 0; d < run.labels; ++d) {
      const auto up = static_cast<std::uint32_t>(p);
      const auto ud = static_cast<std::uint32_t>(d);
      const int distance = std::abs(d - truth[static_cast<std::size_t>(p)]);
      e->cost(p, d) = run.ties ? 0.25f * static_cast<float>((distance < 3 ? distance : 3) +
                                                            static_cast<int>(hashed(up, ud, salt) * 9.0f))
                               : 0.3f * static_cast<float>(distance < 6 ? distance : 6) + 1.7f * hashed(up, ud, salt);
    }
  auto multipliers = [&] {
    e->smooth.useMultipliers = true;
    for (int p = 0; p < run.width * run.height; ++p) {
      e->horizontal[static_cast<std::size_t>(p)] = 2.0f * hashed(static_cast<std::uint32_t>(p), 1, salt + 2);
      e->vertical[static_cast<std::size_t>(p)] = 2.0f * hashed(static_cast<std::uint32_t>(p), 2, salt + 2);
    }
  };
  switch (run.form) {
    case GoldenForm::Squared: e->setTruncatedPower(2, 5.0f, 0.99f); break;
    case GoldenForm::TruncatedLinear: e->setTruncatedPower(1, 3.0f, 1.3f); break;
    case GoldenForm::Potts: e->setTruncatedPower(1, 1.0f, 1.1f); break;
    case GoldenForm::MetricTableWithMultipliers:
      e->setTableFromTruncatedLinear(3.0f, 1.2f);
      multipliers();
      break;
    case GoldenForm::NonMetricTableWithMultipliers:
      e->smooth.form = CostForm::Table;
      for (int a = 0; a < run.labels; ++a)
        for (int b = a; b < run.labels; ++b) {
          const int d = b - a;
          const float v =
              d == 0 ? 0.0f
                     : 0.4f * static_cast<float>(d * d < 6 ? d * d : 6) +
                           0.6f * hashed(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b), salt + 3);
          e->pairTable[static_cast<std::size_t>(a * run.labels + b)] = v;
          e->pairTable[static_cast<std::size_t>(b * run.labels + a)] = v;
        }
      multipliers();
      break;
    case GoldenForm::Functions:
      e->smooth.form = CostForm::Function;
      e->smooth.pairFunction = goldenPairFunction;
      break;
  }
  if (run.dataFunction) {
    e->data.form = CostForm::Function;
    e->data.costFunction = goldenDataFunction;
  }
  gGoldenEnergy = e.get();
  return e;
}

// FNV-1a over the labels, row-major.
inline std::uint64_t labelHash(const int* labels, std::size_t count) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::size_t p = 0; p < count; ++p) {
    h ^= static_cast<std::uint64_t>(labels[p]);
    h *= 1099511628211ull;
  }
  return h;
}

// One traced move.
struct MoveRecord {
  int run;
  int pass;  // 1-based
  int move;  // 1-based, within the pass
  int alpha;
  std::uint64_t hash;  // labels after the move
  double energy;       // true energy after the move
  double moveEnergy;   // the result's energy under the move's own pair terms
};

// What the replay also checks, beside the record.
struct MoveExtras {
  double startEnergy = 0.0;
  MoveJudgement judgement;
};

// Runs one call of the optimizer that a golden run cannot do without. The
// calls return a Status here and nothing in the earlier trees that
// tools/build-reference.sh builds this header against; a golden run whose
// optimizer refuses has no trace to give, so it stops the program.
template <class Call>
void mustSucceed(Call&& call) {
  if constexpr (std::is_void_v<decltype(call())>) {
    call();
  } else if (const auto done = call(); !done) {
    std::fprintf(stderr, "golden run: %s", done.error().message.c_str());
    std::abort();
  }
}

// Solves `run` on energy `e` and traces every move. `extras` (optional)
// receives one entry per move.
inline std::vector<MoveRecord> traceRun(const GoldenRun& run, GridEnergy& e,
                                        std::vector<MoveExtras>* extras = nullptr) {
  gGoldenEnergy = &e;
  AlphaExpansion solver(run.width, run.height, run.labels, &e.terms);
  solver.fixLabelOrderSeed(run.seed);
  mustSucceed([&] { return solver.initialize(); });
  solver.resetLabels();
  const std::size_t pixels = static_cast<std::size_t>(run.width * run.height);
  std::vector<int> before(pixels, 0);
  double beforeEnergy = e.energy(before);
  std::vector<MoveRecord> records;
  int pass = 0;
  solver.setMoveObserver([&](int moveIndex, int labelCount) {
    const int alpha = solver.currentLabelOrder()[static_cast<std::size_t>(moveIndex - 1)];
    const int* now = solver.labelBuffer();
    std::vector<int> after(now, now + pixels);
    MoveExtras x;
    x.startEnergy = beforeEnergy;
    double energy = beforeEnergy;
    if (after == before) {
      // Keeping every label leaves every pair term as it is.
      x.judgement.moveEnergy = beforeEnergy;
    } else {
      x.judgement = judgeMove(e, before, alpha, after);
      energy = e.energy(after);
    }
    records.push_back({run.id, pass, moveIndex, alpha, labelHash(now, pixels), energy, x.judgement.moveEnergy});
    if (extras) extras->push_back(x);
    before = std::move(after);
    beforeEnergy = energy;
    (void)labelCount;
  });
  for (pass = 1; pass <= run.passes; ++pass) mustSucceed([&] { return solver.optimize(1, nullptr); });
  return records;
}

}  // namespace orbelt::mrftest
