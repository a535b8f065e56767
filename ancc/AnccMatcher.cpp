#include "ancc/AnccMatcher.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
#include <thread>

#include <vector>

#include "ancc/BlockedRowSweep.h"
#include "ancc/CachedRowSweep.h"
#include "ancc/MatcherMemory.h"
#include "ancc/ColorTransform.h"
#include "ancc/SweepSetup.h"
#include "platform/AvailableMemory.h"
#include "platform/TaskPool.h"

namespace orbelt {

namespace {

std::string describeType(const cv::Mat& m) {
  std::ostringstream s;
  s << cv::typeToString(m.type());
  return s.str();
}

std::string describeSize(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }

// The matcher's failures are told on a line of their own.
Error matcherError(ErrorKind kind, const std::string& why) { return Error{kind, why + "\n"}; }

// Why one input image cannot be matched; success when it can.
Status checkImage(const cv::Mat& image, const char* name) {
  if (image.empty()) return matcherError(ErrorKind::InvalidInput, std::string(name) + " is empty");
  if (image.type() != CV_8UC3) {
    return matcherError(ErrorKind::InvalidInput,
                        std::string(name) + " must be 8-bit with 3 channels (CV_8UC3), but is " + describeType(image));
  }
  if (image.dims != 2) {
    return matcherError(ErrorKind::InvalidInput, std::string(name) + " must be a 2-dimensional image");
  }
  return {};
}

std::string mebibytes(std::uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB"; }

}  // namespace

AnccMatcher::AnccMatcher(CostVolume& volume, const cv::Mat& ref, const cv::Mat& target,
                         const MatcherOptions& matcherOptions)
    : options(matcherOptions),
      width(ref.cols),
      height(ref.rows),
      costVolume(volume),
      refImage(ref),
      targetImage(target) {}

AnccMatcher::~AnccMatcher() = default;

Status AnccMatcher::checkInputs() const {
  const auto refuse = [](const std::string& why) -> Status { return matcherError(ErrorKind::InvalidInput, why); };
  if (Status image = checkImage(refImage, "reference image"); !image) return image;
  if (width != refImage.cols || height != refImage.rows) {
    return refuse("matcher size " + describeSize(width, height) + " does not match the reference image " +
                  describeSize(refImage.cols, refImage.rows));
  }
  if (Status image = checkImage(targetImage, "target image"); !image) return image;
  if (targetImage.cols != width || targetImage.rows != height) {
    return refuse("target image is " + describeSize(targetImage.cols, targetImage.rows) +
                  " but the reference image is " + describeSize(width, height));
  }
  const int labels = options.disparityRange < 0 ? 0 : options.disparityRange;
  if (costVolume.width() != width || costVolume.height() != height || costVolume.disparityRange() != labels) {
    return refuse("cost volume is " + describeSize(costVolume.width(), costVolume.height()) + "x" +
                  std::to_string(costVolume.disparityRange()) + " but the run needs " + describeSize(width, height) +
                  "x" + std::to_string(labels));
  }
  // A matcher with no labels has nothing to write and is no error; at least
  // one label is the rule of a run, not of the matcher.
  MatcherOptions judged = options;
  if (judged.disparityRange == 0) judged.disparityRange = 1;
  return judged.check();
}

Status AnccMatcher::computeCostVolume(float logChromWeight) {
  options.logChromWeight = logChromWeight;
  return computeCostVolume();
}

Status AnccMatcher::computeCostVolume() {
  if (Status refused = checkInputs(); !refused) return refused;
  try {
    return sweep();
  } catch (const std::bad_alloc&) {
    return storageShortage();
  }
}

Error AnccMatcher::storageShortage() const {
  return matcherError(ErrorKind::OutOfMemory, "not enough memory for the matcher's working storage (" +
                                                  describeSize(width, height) + ", halfWinSize " +
                                                  std::to_string(options.halfWinSize) + ")");
}

Status AnccMatcher::sweep() {
  const int baseDisparity = options.baseDisparity;
  const int disparityRange = options.disparityRange;
  const int halfWinSize = options.halfWinSize;
  const float logChromWeight = options.logChromWeight;
  const bool useBaselineSweep = options.useBaselineSweep;
  if (disparityRange > 0) {
    // Beyond max(width, height) - 1 a larger window adds only offsets outside
    // the image, which are never read; the weights depend on the offset from
    // the centre, not on r, so the costs are the same and the storage stays
    // bounded.
    const int r = std::min(halfWinSize, std::max(width, height) - 1);

    SweepSetup setup;
    setup.width = width;
    setup.height = height;
    setup.baseDisparity = baseDisparity;
    setup.disparityRange = disparityRange;
    setup.halfWinSize = r;
    setup.spatialSigma = options.spatialSigma;
    setup.colorSigma = options.colorSigma;
    setup.logChromWeight = logChromWeight;

    // Fewer workers when the machine cannot hold one row store per thread,
    // a refusal when it cannot hold even one. What the process may still
    // take (machine, container and address-space limits alike) is asked
    // first, so a window too large is refused up front instead of ending in
    // the out-of-memory killer halfway through.
    const std::uint64_t budget = memoryBudget ? *memoryBudget : availableMemoryBytes();
    const int workers = matcherWorkerCount(width, height, options, std::thread::hardware_concurrency(), budget);
    if (workers == 0) {
      return matcherError(ErrorKind::OutOfMemory,
                          "halfWinSize " + std::to_string(halfWinSize) + " on " + describeSize(width, height) +
                              " needs " + mebibytes(matcherWorkingBytes(width, height, options, 1)) +
                              " of working storage, more than the " + mebibytes(budget) + " this machine allows");
    }

    ImageSignals refSignals, targetSignals;
    std::unique_ptr<BlockedSweepTables> tables;
    std::vector<std::unique_ptr<RowSweep>> sweeps;
    try {
      refSignals = computeImageSignals(refImage);
      targetSignals = computeImageSignals(targetImage);
      setup.ref = &refSignals;
      setup.target = &targetSignals;
      if (useBaselineSweep) {
        sweeps.push_back(std::make_unique<CachedRowSweep>(setup));
      } else {
        tables = std::make_unique<BlockedSweepTables>(setup);
        for (int i = 0; i < workers; ++i) sweeps.push_back(std::make_unique<BlockedRowSweep>(setup, *tables));
      }
    } catch (const std::bad_alloc&) {
      return storageShortage();
    } catch (const cv::Exception& e) {
      return matcherError(ErrorKind::EngineFailure, std::string("colour conversion failed: ") + e.what());
    }

    std::atomic<int> nextRow{0};
    std::mutex observerMutex;
    int rowsDone = 0;
    auto work = [&](RowSweep& sweep) {
      for (int y = nextRow.fetch_add(1); y < height; y = nextRow.fetch_add(1)) {
        sweep.computeRow(y, costVolume);
        std::lock_guard<std::mutex> lock(observerMutex);
        ++rowsDone;
        if (rowObserver) rowObserver(rowsDone, height);
      }
    };
    // One part per sweep; a pool that got fewer threads than sweeps runs
    // the rest after, and they find the rows already taken.
    const int parts = static_cast<int>(sweeps.size());
    TaskPool(parts).run(parts, [&](int k) { work(*sweeps[static_cast<std::size_t>(k)]); });
  }
  return {};
}

}  // namespace orbelt
