// orbelt-mrf-bench: speed and memory of the optimizer on a run shaped like the
// pipeline's: a 450 x 375 grid with 60 labels (the size of the Middlebury
// Teddy pair at the dialog's Disparity Range), a Table data term from a
// synthetic cost volume, the default smoothness (squared label distance,
// truncated at 5, lambda 0.99), all labels reset to 0, then ten optimize(1)
// passes in label orders seeded with a fixed seed, so every run of the same
// build does the same work.
//
// The synthetic costs: a scene of slanted planes and boxes gives every pixel a
// true label; the cost of label d is |d - true| / 4, clipped at 2, plus hashed
// noise of up to 0.8, roughly the range and texture of the matcher's costs.
//
// Prints, per pass, the wall seconds (steady clock), the CPU seconds of the
// process (the fairer figure on a shared machine), the mean wall milliseconds
// per expansion move and the energy; then the totals, the peak resident
// memory of the process, and a hash of the final labels (equal hashes: equal
// labels).
//
//   cmake --build build --target orbelt-mrf-bench -j2
//   build/bin/orbelt-mrf-bench [--width 450] [--height 375] [--labels 60] [--passes 10] [--seed 7]
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mrf/AlphaExpansion.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

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

std::uint64_t labelHash(orbelt::MrfSolver& solver) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (int p = 0; p < solver.gridPixelCount(); ++p) {
    h ^= static_cast<std::uint64_t>(solver.labelAt(p));
    h *= 1099511628211ull;
  }
  return h;
}

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
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
    std::fprintf(stderr, "orbelt-mrf-bench: %s must be a positive whole number, got \"%s\"\n", name, text);
    std::exit(2);
  }
  return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
  int width = 450, height = 375, labels = 60, passes = 10, seed = 7;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "orbelt-mrf-bench: %s needs a value\n", option.c_str());
      return 2;
    }
    const char* value = argv[++i];
    if (option == "--width") width = positiveArgument("--width", value);
    else if (option == "--height") height = positiveArgument("--height", value);
    else if (option == "--labels") labels = positiveArgument("--labels", value);
    else if (option == "--passes") passes = positiveArgument("--passes", value);
    else if (option == "--seed") seed = positiveArgument("--seed", value);
    else {
      std::fprintf(stderr, "orbelt-mrf-bench: unknown option %s (options: --width --height --labels --passes --seed)\n",
                   option.c_str());
      return 2;
    }
  }

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

  orbelt::DataTerm data;
  data.costTable = costs.data();
  data.form = orbelt::CostForm::Table;
  orbelt::SmoothTerm smooth;
  smooth.form = orbelt::CostForm::TruncatedPower;
  smooth.exponent = 2;
  smooth.maxCost = 5.0f;
  smooth.lambda = 0.99f;
  orbelt::EnergyTerms terms{&data, &smooth};

  std::printf("orbelt-mrf-bench: %d x %d grid, %d labels, %d passes of optimize(1), seed %d\n", width, height,
              labels, passes, seed);
  orbelt::AlphaExpansion solver(width, height, labels, &terms);
  solver.fixLabelOrderSeed(static_cast<std::uint32_t>(seed));
  solver.initialize();
  solver.resetLabels();
  std::printf("start energy %.6f\n", solver.dataCostSum() + static_cast<float>(solver.pairCostSum()));

  double slowestMoveMs = 0.0;
  Clock::time_point moveStart = Clock::now();
  solver.setMoveObserver([&](int, int) {
    const double ms = secondsSince(moveStart) * 1000.0;
    if (ms > slowestMoveMs) slowestMoveMs = ms;
    moveStart = Clock::now();
  });

  double totalSeconds = 0.0;
  double totalCpu = 0.0;
  for (int pass = 1; pass <= passes; ++pass) {
    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    moveStart = start;
    solver.optimize(1, nullptr);
    const double seconds = secondsSince(start);
    const double cpu = cpuSeconds() - cpuStart;
    totalSeconds += seconds;
    totalCpu += cpu;
    const double energy = solver.dataCostSum() + static_cast<float>(solver.pairCostSum());
    std::printf("pass %2d: %8.3f s wall  %8.3f s cpu  %8.2f ms/move  energy %.6f\n", pass, seconds, cpu,
                seconds * 1000.0 / labels, energy);
  }
  std::printf("total %.3f s wall (%.3f s cpu) for %d passes: %.3f s per pass, %.2f ms per move (slowest move %.2f ms)\n",
              totalSeconds, totalCpu, passes, totalSeconds / passes, totalSeconds * 1000.0 / (passes * labels),
              slowestMoveMs);
  std::printf("peak resident memory %.1f MiB (cost table %.1f MiB)\n", peakResidentMiB(),
              static_cast<double>(costs.size() * sizeof(float)) / (1024.0 * 1024.0));
  std::printf("label hash %016llx\n", static_cast<unsigned long long>(labelHash(solver)));
  return 0;
}
