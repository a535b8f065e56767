#include "ancc/MatcherMemory.h"

#include <algorithm>
#include <limits>

#include "ancc/BlockedRowSweep.h"
#include "ancc/SweepSetup.h"

namespace orbelt {

namespace {

// The matcher's storage split into what is held once and what each worker
// adds, in doubles so that absurd sizes saturate instead of wrapping.
struct StorageShape {
  double shared = 0;      // signals plus the sweep's shared tables
  double perWorker = 0;   // one worker's row store
  double conversion = 0;  // signals plus one image's colour conversion, before the sweep exists
};

StorageShape storageShape(int width, int height, const MatcherOptions& options) {
  StorageShape shape;
  if (width <= 0 || height <= 0 || options.disparityRange <= 0) return shape;
  const double pixels = static_cast<double>(width) * height;
  const double signals = pixels * 2 * 3 * 3 * sizeof(double);
  shape.conversion = signals + pixels * (3 + 3 * sizeof(float) + 3 * sizeof(float));
  SweepSetup setup;
  setup.width = width;
  setup.height = height;
  setup.baseDisparity = options.baseDisparity;
  setup.disparityRange = options.disparityRange;
  setup.halfWinSize = std::min(std::max(options.halfWinSize, 0), std::max(width, height) - 1);
  if (options.useBaselineSweep) {
    const double n = 2.0 * setup.halfWinSize + 1;
    shape.shared = signals;
    shape.perWorker = 2.0 * 7 * sizeof(double) * n * n * width;
  } else {
    shape.shared = signals + BlockedRowSweep::sharedBytes(setup);
    shape.perWorker = BlockedRowSweep::workerBytes(setup);
  }
  return shape;
}

double peakOf(const StorageShape& shape, int workers) {
  return std::max(shape.conversion, shape.shared + static_cast<double>(std::max(workers, 0)) * shape.perWorker);
}

}  // namespace

std::uint64_t matcherWorkingBytes(int width, int height, const MatcherOptions& options, int workers) {
  const double peak = peakOf(storageShape(width, height, options), workers);
  if (!(peak < 1.8e19)) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(peak);
}

int matcherWorkerCount(int width, int height, const MatcherOptions& options, unsigned hardwareThreads,
                       std::uint64_t budgetBytes) {
  int workers = options.threadCount > 0 ? options.threadCount : static_cast<int>(std::max(hardwareThreads, 1u));
  workers = std::max(1, std::min(workers, height));
  if (options.useBaselineSweep) workers = 1;
  const StorageShape shape = storageShape(width, height, options);
  const double budget = static_cast<double>(budgetBytes);
  if (peakOf(shape, 1) > budget) return 0;
  if (shape.perWorker > 0) {
    const double fitting = (budget - shape.shared) / shape.perWorker;
    if (fitting < workers) workers = std::max(1, static_cast<int>(fitting));
  }
  return workers;
}

}  // namespace orbelt
