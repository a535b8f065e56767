#include "python/StereoCall.h"

#include <cmath>
#include <limits>
#include <new>

#include "pipeline/DisparityPipeline.h"
#include "platform/Timing.h"
#include "postprocess/LeftRightCheck.h"
#include "postprocess/MapRefinement.h"
#include "postprocess/SubpixelRefinement.h"

namespace orbelt {

namespace {

// The checks the command line makes before any work, with its messages.
Status checkPair(const cv::Mat& left, const cv::Mat& right, const StereoParams& params, std::uint64_t available) {
  if (!passesColorCheck(left, right)) {
    Error error = invalidInput(kColorFormatMessage);
    error.kind = ErrorKind::ColorFormat;
    return error;
  }
  if (Status bad = params.check(); !bad) return bad;
  if (Status bad = checkRunInputs(left, right, params, available); !bad) return bad;
  return {};
}

DisparityOptions optionsFor(const StereoCall& call, bool right, bool keepCosts) {
  DisparityOptions options;
  options.keepCosts = keepCosts;
  options.threadCount = call.threads;
  options.logChromWeight = call.logChromWeight;
  if (call.progress) {
    const char* costStage = right ? "right_cost_volume" : "cost_volume";
    const char* optimizeStage = right ? "right_optimize" : "optimize";
    options.onRow = [&call, costStage](int done, int total) { call.progress(costStage, done, total); };
    options.onPass = [&call, optimizeStage](int pass, double, double) {
      call.progress(optimizeStage, pass, kOptimizerPasses);
    };
  }
  return options;
}

}  // namespace

Expected<StereoCallResult> runStereoCall(const cv::Mat& left, const cv::Mat& right, const StereoCall& call) {
  const StereoParams& params = call.params;
  if (call.threads < 0) return invalidInput("threads is " + std::to_string(call.threads) + "; it must be 0 or more");
  // Named as the command line names them, so the messages are its own.
  if (Status bad = call.refinement.check({"--lr-check", "--fill", "--median"}); !bad) return std::move(bad).error();
  const bool lrCheck = call.refinement.lrCheck;
  // As on the command line: with the check, costs kept from the first run
  // are not available to the second.
  std::uint64_t available = availableMemoryBytes();
  const bool keepCosts = call.keepCosts || call.subpixel;
  if (lrCheck && keepCosts && available != UINT64_MAX) {
    const std::uint64_t kept = static_cast<std::uint64_t>(left.cols) * static_cast<std::uint64_t>(left.rows) *
                               static_cast<std::uint64_t>(params.disparityRange) * sizeof(float);
    available = kept < available ? available - kept : 0;
  }
  if (Status ok = checkPair(left, right, params, available); !ok) return std::move(ok).error();

  try {
    const PipelineEngines engines = defaultEngines(call.seed);
    Expected<DisparityResult> computed =
        computeDisparity(left, right, params, engines, optionsFor(call, false, keepCosts));
    if (!computed) return std::move(computed).error();
    DisparityResult run = std::move(computed).value();
    const int width = left.cols, height = left.rows;
    StereoCallResult result;
    result.costSeconds = run.costSeconds;
    result.flattenSeconds = run.flattenSeconds;
    result.optimizeSeconds = run.optimizeSeconds;
    result.passEnergies = run.passEnergies;
    result.passSeconds = run.passSeconds;

    std::vector<int> rightLabels;
    if (lrCheck) {
      const auto start = SteadyClock::now();
      const MirroredPair mirrored = mirroredPairForRightView(left, right);
      Expected<DisparityResult> rightComputed =
          computeDisparity(mirrored.reference, mirrored.target, params, engines, optionsFor(call, true, false));
      if (!rightComputed) return std::move(rightComputed).error();
      rightLabels = mirrorLabels(rightComputed->labels, width, height);
      result.lrSeconds = secondsSince(start);
    }
    std::vector<float> offsets;
    if (call.subpixel) {
      const auto start = SteadyClock::now();
      offsets = subpixelOffsets(run.labels, run.costs, params.disparityRange);
      result.subpixelSeconds = secondsSince(start);
    }
    Expected<RefinedMap> refined =
        refineDisparityMap(run.labels, lrCheck ? &rightLabels : nullptr, width, height, params.baseDisparity,
                           call.subpixel ? &offsets : nullptr, left, call.refinement);
    if (!refined) return std::move(refined).error();
    result.lrSeconds += refined->checkSeconds;
    result.fillSeconds = refined->fillSeconds;
    result.medianSeconds = refined->medianSeconds;
    result.disparity = std::move(refined->disparity);
    // Unknown is NaN in NumPy's world; the map files keep +inf.
    result.disparity.forEach<float>([](float& d, const int*) {
      if (!std::isfinite(d)) d = std::numeric_limits<float>::quiet_NaN();
    });
    result.consistent = std::move(refined->consistent);
    result.labels = std::move(run.labels);
    if (call.keepCosts) result.costs = std::move(run.costs);
    return result;
  } catch (const std::bad_alloc&) {
    return outOfMemory("Not enough memory for the run's results");
  }
}

Expected<std::vector<float>> computeCostsOnly(const cv::Mat& left, const cv::Mat& right, const StereoParams& params,
                                              std::optional<float> logChromWeight, int threads,
                                              const std::function<void(int, int)>& onRow) {
  if (threads < 0) return invalidInput("threads is " + std::to_string(threads) + "; it must be 0 or more");
  if (Status ok = checkPair(left, right, params, availableMemoryBytes()); !ok) return std::move(ok).error();
  if (!matcherRuns(params.colorMode)) return invalidInput("color_mode must be \"logchrom\" or \"rgb\"");
  const int width = left.cols, height = left.rows, range = params.disparityRange;
  try {
    CostVolume volume(width, height, range);
    cv::Mat preview(height, width, CV_8UC1, cv::Scalar(0));
    MatcherOptions matcher = stereoOptionsFor(params).matcher;
    matcher.threadCount = threads;
    if (logChromWeight) matcher.logChromWeight = *logChromWeight;
    if (Status costs = defaultEngines().computeCosts(volume, left, right, preview, matcher, onRow); !costs) {
      return std::move(costs).error();
    }
    std::vector<float> flat(static_cast<std::size_t>(width) * height * range);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const float* cell = volume.cell(x, y);
        std::copy(cell, cell + range, flat.data() + (static_cast<std::size_t>(y) * width + x) * range);
      }
    }
    return flat;
  } catch (const std::bad_alloc&) {
    return outOfMemory("Not enough memory for a " + std::to_string(width) + " x " + std::to_string(height) + " x " +
                       std::to_string(range) + " cost volume");
  }
}

}  // namespace orbelt
