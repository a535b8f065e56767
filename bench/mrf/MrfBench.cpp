// orbelt-mrf-bench: speed and memory of the optimizer on a run shaped like the
// pipeline's, measured beside the optimizer as it stood before the speed work
// (bench/mrf/baseline, namespace orbelt::baseline) in the same process, so
// that one run on a noisy shared machine still gives a stable before/after
// ratio and proves that the labels did not change.
//
// The run: a Table data term, the default smoothness (squared label distance,
// truncated at 5, lambda 0.99), all labels reset to 0, then ten optimize(1)
// passes in label orders seeded with a fixed seed, so both optimizers do the
// same work. Passes alternate between the two (baseline first on odd passes,
// the live one first on even passes) so that a change in the machine's load
// hits both alike.
//
// The costs: by default a synthetic 450 x 375 x 60 volume (the size of the
// Middlebury Teddy pair at the dialog's Disparity Range): a scene of slanted
// planes and boxes gives every pixel a true label; the cost of label d is
// |d - true| / 4, clipped at 2, plus hashed noise of up to 0.8, roughly the
// range and texture of the matcher's costs. With --costs, a float32 .npy of
// shape (height, width, labels) instead, such as `orbelt-cli --save-cost`
// writes for a real pair.
//
// Prints, per pass, the CPU seconds of each optimizer (the fairer figure on a
// shared machine; the bench is single-threaded), their ratio, the energy,
// how many moves the live optimizer solved (it skips moves whose outcome is
// known) and whether the labels agree; then the totals, the mean
// milliseconds per expansion move (per move of the pass, and per move the
// live optimizer actually solved), the peak resident memory of the process
// and a hash of the final labels. Exits with status 1 when the labels ever
// differ.
//
//   cmake --build build --target orbelt-mrf-bench -j2
//   build/bin/orbelt-mrf-bench [--width 450] [--height 375] [--labels 60] [--passes 10] [--seed 7]
//                              [--costs file.npy] [--baseline 0|1] [--before frozen|fresh]
// --before fresh sets the live optimizer with flow recycling turned off (every
// move on a graph built anew, the way it ran before recycling) beside the
// live one with recycling, instead of the frozen copy: like with like, one
// process, the same thread.
// On a real pair's costs, as the pipeline's seeded run sees them:
//   build/bin/orbelt-cli --seed 1 --save-cost /tmp/costs.npy data/Img0.png data/Img1.png
//   build/bin/orbelt-mrf-bench --costs /tmp/costs.npy --seed 1
#include <sys/resource.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/mrf/baseline/AlphaExpansion.h"
#include "maxflow/FlowObserver.h"
#include "mrf/AlphaExpansion.h"

namespace {

// The true label of a pixel in a scene of three planes and two boxes.
int trueLabel(int x, int y, int width, int height, int labels) {
  const double u = static_cast<double>(x) / width;
  const double v = static_cast<double>(y) / height;
  double d = 0.15 + 0.1 * v;                                    // floor, rising towards the bottom
  if (u > 0.1 && u < 0.55 && v > 0.15 && v < 0.7) d = 0.35 + 0.25 * u;  // slanted wall
  if (u > 0.6 && u < 0.9 && v > 0.3 && v < 0.8) d = 0.8;             // near box
  if (u > 0.25 && u < 0.4 && v > 0.5 && v < 0.9) d = 0.6;            // middle box
  const int label = static_cast<int>(d * (labels - 1) + 0.5);
  return label < 0 ? 0 : (label >= labels ? labels - 1 : label);
}

float noise(int x, int y, int d) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u ^
                    static_cast<std::uint32_t>(d) * 83492791u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<float>(h % 1024u) / 1024.0f;
}

std::vector<float> syntheticCosts(int width, int height, int labels) {
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<float> costs(pixels * static_cast<std::size_t>(labels));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int truth = trueLabel(x, y, width, height, labels);
      float* pixelCosts = &costs[(static_cast<std::size_t>(y) * width + x) * labels];
      for (int d = 0; d < labels; ++d) {
        const float distance = 0.25f * static_cast<float>(std::abs(d - truth));
        pixelCosts[d] = (distance < 2.0f ? distance : 2.0f) + 0.8f * noise(x, y, d);
      }
    }
  }
  return costs;
}

[[noreturn]] void refuse(const std::string& message) {
  std::fprintf(stderr, "orbelt-mrf-bench: %s\n", message.c_str());
  std::exit(2);
}

// Reads a little-endian float32 C-order .npy of shape (height, width, labels).
std::vector<float> readCostFile(const std::string& path, int& width, int& height, int& labels) {
  std::ifstream in(path, std::ios::binary);
  if (!in) refuse("cannot open the cost file " + path);
  char magic[8] = {};
  in.read(magic, 8);
  if (!in || std::memcmp(magic, "\x93NUMPY", 6) != 0) refuse(path + " is not a .npy file");
  std::uint32_t headerLength = 0;
  if (magic[6] == 1) {
    unsigned char bytes[2] = {};
    in.read(reinterpret_cast<char*>(bytes), 2);
    headerLength = bytes[0] | (bytes[1] << 8);
  } else {
    unsigned char bytes[4] = {};
    in.read(reinterpret_cast<char*>(bytes), 4);
    headerLength = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  }
  std::string header(headerLength, '\0');
  in.read(header.data(), headerLength);
  if (!in) refuse(path + ": the .npy header is cut short");
  if (header.find("'<f4'") == std::string::npos) refuse(path + ": the costs must be little-endian float32 ('<f4')");
  if (header.find("'fortran_order': False") == std::string::npos) refuse(path + ": the costs must be in C order");
  long h = 0, w = 0, l = 0;
  const std::size_t shape = header.find("'shape': (");
  if (shape == std::string::npos ||
      std::sscanf(header.c_str() + shape, "'shape': (%ld, %ld, %ld)", &h, &w, &l) != 3 || h <= 0 || w <= 0 ||
      l <= 0 || h > 100000 || w > 100000 || l > 10000) {
    refuse(path + ": the costs must have the shape (height, width, labels)");
  }
  height = static_cast<int>(h);
  width = static_cast<int>(w);
  labels = static_cast<int>(l);
  std::vector<float> costs(static_cast<std::size_t>(h) * static_cast<std::size_t>(w) * static_cast<std::size_t>(l));
  in.read(reinterpret_cast<char*>(costs.data()), static_cast<std::streamsize>(costs.size() * sizeof(float)));
  if (!in) refuse(path + ": the file holds fewer costs than its shape says");
  return costs;
}

template <typename Solver>
std::uint64_t labelHash(Solver& solver) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (int p = 0; p < solver.gridPixelCount(); ++p) {
    h ^= static_cast<std::uint64_t>(solver.labelAt(p));
    h *= 1099511628211ull;
  }
  return h;
}

template <typename Solver>
double energyOf(Solver& solver) {
  return solver.dataCostSum() + static_cast<float>(solver.pairCostSum());
}

// Counts the search's growth steps (one per node grown from), augmentations
// and adoptions.
struct SearchCounter : orbelt::FlowObserver {
  std::int64_t growths = 0;
  std::int64_t augmentations = 0;
  std::int64_t adoptions = 0;
  void onGrowth(std::int32_t) override { ++growths; }
  void onAugmentation(std::int32_t, std::int32_t, float) override { ++augmentations; }
  void onAdoption(std::int32_t, bool) override { ++adoptions; }
};

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One optimize(1) pass; returns its CPU seconds.
template <typename Solver>
double timedPass(Solver& solver) {
  const double start = cpuSeconds();
  solver.optimize(1, nullptr);
  return cpuSeconds() - start;
}

double peakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

int positiveArgument(const char* name, const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value <= 0 || value > 1000000) {
    refuse(std::string(name) + " must be a positive whole number, got \"" + text + "\"");
  }
  return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
  int width = 450, height = 375, labels = 60, passes = 10, seed = 7;
  bool withBaseline = true;
  bool freshBefore = false;
  std::string costFile;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) refuse(option + " needs a value");
    const char* value = argv[++i];
    if (option == "--width") width = positiveArgument("--width", value);
    else if (option == "--height") height = positiveArgument("--height", value);
    else if (option == "--labels") labels = positiveArgument("--labels", value);
    else if (option == "--passes") passes = positiveArgument("--passes", value);
    else if (option == "--seed") seed = positiveArgument("--seed", value);
    else if (option == "--costs") costFile = value;
    else if (option == "--before" && (std::strcmp(value, "frozen") == 0 || std::strcmp(value, "fresh") == 0))
      freshBefore = value[1] == 'r' && value[2] == 'e';
    else if (option == "--baseline" && (std::strcmp(value, "0") == 0 || std::strcmp(value, "1") == 0))
      withBaseline = value[0] == '1';
    else
      refuse("unknown option " + option + " " + value +
             " (options: --width --height --labels --passes --seed --costs FILE.npy --baseline 0|1"
             " --before frozen|fresh)");
  }

  std::vector<float> costs = costFile.empty() ? syntheticCosts(width, height, labels)
                                              : readCostFile(costFile, width, height, labels);

  orbelt::DataTerm data;
  data.costTable = costs.data();
  data.form = orbelt::CostForm::Table;
  orbelt::SmoothTerm smooth;
  smooth.form = orbelt::CostForm::TruncatedPower;
  smooth.exponent = 2;
  smooth.maxCost = 5.0f;
  smooth.lambda = 0.99f;
  orbelt::EnergyTerms terms{&data, &smooth};

  std::printf("orbelt-mrf-bench: %d x %d grid, %d labels (%s), %d passes of optimize(1), seed %d\n", width,
              height, labels, costFile.empty() ? "synthetic costs" : costFile.c_str(), passes, seed);

  orbelt::AlphaExpansion now(width, height, labels, &terms);
  now.fixLabelOrderSeed(static_cast<std::uint32_t>(seed));
  now.initialize();
  now.resetLabels();
  const bool frozenBefore = withBaseline && !freshBefore;
  orbelt::baseline::AlphaExpansion before(frozenBefore ? width : 0, frozenBefore ? height : 0, labels, &terms);
  before.fixLabelOrderSeed(static_cast<std::uint32_t>(seed));
  before.initialize();
  before.resetLabels();
  orbelt::AlphaExpansion fresh(withBaseline && freshBefore ? width : 0, withBaseline && freshBefore ? height : 0,
                               labels, &terms);
  fresh.setFlowRecycling(false);
  fresh.fixLabelOrderSeed(static_cast<std::uint32_t>(seed));
  fresh.initialize();
  fresh.resetLabels();
  auto timedBefore = [&] { return freshBefore ? timedPass(fresh) : timedPass(before); };
  auto hashBefore = [&] { return freshBefore ? labelHash(fresh) : labelHash(before); };
  if (withBaseline) {
    std::printf("before: %s\n", freshBefore ? "the live optimizer with flow recycling off (each move on a new graph)"
                                            : "the frozen copy from before the speed work");
  }
  // Counts what the live optimizer's searches touch.
  SearchCounter counter;
  now.setFlowObserver(&counter);
  std::printf("start energy %.6f\n", energyOf(now));

  double totalBefore = 0.0;
  double totalNow = 0.0;
  // Both optimizers' time in the passes where the live one solved every move.
  double fullSecondsNow = 0.0;
  double fullSecondsBefore = 0.0;
  std::int64_t fullPasses = 0;
  bool identical = true;
  for (int pass = 1; pass <= passes; ++pass) {
    const std::int64_t solvedBefore = now.moveCounts().solved;
    double secondsBefore = 0.0;
    double secondsNow = 0.0;
    const SearchCounter touched = counter;
    if (withBaseline && pass % 2 == 1) secondsBefore = timedBefore();
    secondsNow = timedPass(now);
    if (withBaseline && pass % 2 == 0) secondsBefore = timedBefore();
    totalBefore += secondsBefore;
    totalNow += secondsNow;
    const double energy = energyOf(now);
    const std::int64_t solved = now.moveCounts().solved - solvedBefore;
    if (solved == labels) {
      fullSecondsNow += secondsNow;
      fullSecondsBefore += secondsBefore;
      ++fullPasses;
    }
    if (withBaseline) {
      const bool same = labelHash(now) == hashBefore();
      identical = identical && same;
      std::printf("pass %2d: baseline %7.3f s  now %7.3f s cpu  x%7.2f  %6.2f -> %6.2f ms/move  %2lld/%d solved  "
                  "energy %.6f  %s\n",
                  pass, secondsBefore, secondsNow, secondsBefore / secondsNow, secondsBefore * 1000.0 / labels,
                  secondsNow * 1000.0 / labels, static_cast<long long>(solved), labels, energy,
                  same ? "labels identical" : "LABELS DIFFER");
    } else {
      std::printf("pass %2d: %7.3f s cpu  %6.2f ms/move  %2lld/%d solved  energy %.6f\n", pass, secondsNow,
                  secondsNow * 1000.0 / labels, static_cast<long long>(solved), labels, energy);
    }
    if (solved > 0) {
      const double perMove = 1.0 / static_cast<double>(solved);
      std::printf("         per solved move: %.0f growth steps, %.0f augmentations, %.0f adoptions (%.1f%% of the "
                  "pixels grown from)\n",
                  static_cast<double>(counter.growths - touched.growths) * perMove,
                  static_cast<double>(counter.augmentations - touched.augmentations) * perMove,
                  static_cast<double>(counter.adoptions - touched.adoptions) * perMove,
                  100.0 * static_cast<double>(counter.growths - touched.growths) * perMove /
                      (static_cast<double>(width) * height));
    }
  }
  const double moves = static_cast<double>(passes) * labels;
  const orbelt::AlphaExpansion::MoveCounts counts = now.moveCounts();
  std::printf("live optimizer: %lld moves solved, %lld skipped as known to change nothing\n",
              static_cast<long long>(counts.solved), static_cast<long long>(counts.skipped));
  if (fullPasses > 0) {
    const double fullMoves = static_cast<double>(fullPasses) * labels;
    if (withBaseline) {
      std::printf("in the %lld passes that solved every move: baseline %.2f ms, now %.2f ms per move: %.2fx faster\n",
                  static_cast<long long>(fullPasses), fullSecondsBefore * 1000.0 / fullMoves,
                  fullSecondsNow * 1000.0 / fullMoves, fullSecondsBefore / fullSecondsNow);
    } else {
      std::printf("in the %lld passes that solved every move: %.2f ms per move\n", static_cast<long long>(fullPasses),
                  fullSecondsNow * 1000.0 / fullMoves);
    }
  }
  if (withBaseline) {
    std::printf("%d passes: baseline %.3f s, now %.3f s cpu: %.2fx faster; %.2f -> %.2f ms per move\n", passes,
                totalBefore, totalNow, totalBefore / totalNow, totalBefore * 1000.0 / moves, totalNow * 1000.0 / moves);
    std::printf("labels after every pass: %s\n", identical ? "identical to the baseline" : "DIFFERENT from the baseline");
  } else {
    std::printf("%d passes: %.3f s cpu, %.2f ms per move\n", passes, totalNow, totalNow * 1000.0 / moves);
  }
  std::printf("peak resident memory of the process %.1f MiB (cost table %.1f MiB)\n", peakResidentMiB(),
              static_cast<double>(costs.size() * sizeof(float)) / (1024.0 * 1024.0));
  std::printf("label hash %016llx\n", static_cast<unsigned long long>(labelHash(now)));
  return identical ? 0 : 1;
}
