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
#include "ancc/WinnerPreview.h"
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

// Checks one input image; empty when it can be matched.
std::string checkImage(const cv::Mat& image, const char* name) {
  if (image.empty()) return std::string(name) + " is empty";
  if (image.type() != CV_8UC3)
    return std::string(name) + " must be 8-bit with 3 channels (CV_8UC3), but is " + describeType(image);
  if (image.dims != 2) return std::string(name) + " must be a 2-dimensional image";
  return {};
}

std::string mebibytes(std::uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB"; }

// The matcher's failures end a run with status 1, like every engine's; the
// message is printed on a line of its own.
Error matcherError(ErrorKind kind, const std::string& why) { return Error{kind, why + "\n", 1, ErrorStream::Stderr}; }

}  // namespace

AnccMatcher::AnccMatcher(CostVolume& volume, const cv::Mat& ref, const cv::Mat& target, cv::Mat& preview,
                         const MatcherOptions& matcherOptions)
    : options(matcherOptions),
      width(ref.cols),
      height(ref.rows),
      costVolume(volume),
      refImage(ref),
      targetImage(target),
      previewImage(preview) {}

AnccMatcher::~AnccMatcher() = default;

std::string AnccMatcher::checkInputs() const {
  if (auto e = checkImage(refImage, "reference image"); !e.empty()) return e;
  if (width != refImage.cols || height != refImage.rows)
    return "matcher size " + describeSize(width, height) + " does not match the reference image " +
           describeSize(refImage.cols, refImage.rows);
  if (auto e = checkImage(targetImage, "target image"); !e.empty()) return e;
  if (targetImage.cols != width || targetImage.rows != height)
    return "target image is " + describeSize(targetImage.cols, targetImage.rows) + " but the reference image is " +
           describeSize(width, height);
  if (previewImage.type() != CV_8UC1 || previewImage.cols != width || previewImage.rows != height)
    return "preview image must be CV_8UC1 of " + describeSize(width, height) + ", but is " +
           (previewImage.empty()
                ? std::string("empty")
                : describeType(previewImage) + " of " + describeSize(previewImage.cols, previewImage.rows));
  const int labels = options.disparityRange < 0 ? 0 : options.disparityRange;
  if (costVolume.width() != width || costVolume.height() != height || costVolume.disparityRange() != labels)
    return "cost volume is " + describeSize(costVolume.width(), costVolume.height()) + "x" +
           std::to_string(costVolume.disparityRange()) + " but the run needs " + describeSize(width, height) + "x" +
           std::to_string(labels);
  return {};
}

Status AnccMatcher::computeCostVolume(float logChromWeight) {
  options.logChromWeight = logChromWeight;
  return computeCostVolume();
}

Status AnccMatcher::computeCostVolume() {
  if (std::string refusal = checkInputs(); !refusal.empty()) return matcherError(ErrorKind::InvalidInput, refusal);
  // A matcher with no labels still draws its preview; at least one label is
  // the rule of a run, not of the matcher.
  MatcherOptions judged = options;
  if (judged.disparityRange == 0) judged.disparityRange = 1;
  if (Status refused = judged.check(); !refused) {
    Error error = std::move(refused).error();
    error.exitStatus = 1;  // as every failure of the matcher: the run's inputs were the caller's to check
    return error;
  }
  try {
    return sweep();
  } catch (const std::bad_alloc&) {
    return matcherError(ErrorKind::OutOfMemory, storageShortage());
  }
}

std::string AnccMatcher::storageShortage() const {
  return "not enough memory for the matcher's working storage (" + describeSize(width, height) + ", halfWinSize " +
         std::to_string(options.halfWinSize) + ")";
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
    const std::uint64_t budget = availableMemoryBytes();
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
      return matcherError(ErrorKind::OutOfMemory, storageShortage());
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

  renderPreview(costVolume, previewImage, baseDisparity, options.displayLevel);
  return {};
}

}  // namespace orbelt
