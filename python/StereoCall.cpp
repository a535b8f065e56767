#include "python/StereoCall.h"

#include <cmath>
#include <limits>
#include <new>

#include "pipeline/DisparityPipeline.h"
#include "pipeline/RunStereo.h"

namespace orbelt {

Expected<StereoCallResult> runStereoCall(const cv::Mat& left, const cv::Mat& right, const StereoCall& call) {
  if (call.threads < 0) return invalidInput("threads is " + std::to_string(call.threads) + "; it must be 0 or more");
  // Named as the command line names them, so the messages are its own.
  if (Status bad = call.refinement.check({"--lr-check", "--fill", "--median"}); !bad) return std::move(bad).error();

  StereoRequest request;
  request.left = left;
  request.right = right;
  request.options = stereoOptionsFor(call.params);
  request.options.useThreads(call.threads);
  if (call.logChromWeight) request.options.matcher.logChromWeight = *call.logChromWeight;
  request.options.optimizer.seed = call.seed;
  request.options.keepCosts = call.keepCosts;
  request.options.subpixel = call.subpixel;
  if (call.refinement.lrCheck) request.options.leftRightThreshold = call.refinement.lrThreshold;
  request.options.fill = call.refinement.fill;
  request.options.medianRadius = call.refinement.medianRadius;
  // The command line's names, so a refusal reads as it does there.
  request.fieldNames = kDialogFieldNames;
  if (call.progress) {
    request.progress.onRow = [&call](StereoView view, int done, int height) {
      call.progress(view == StereoView::Left ? "cost_volume" : "right_cost_volume", done, height);
    };
    request.progress.onPass = [&call](StereoView view, int pass, double, double) {
      call.progress(view == StereoView::Left ? "optimize" : "right_optimize", pass, kOptimizerPasses);
    };
  }

  Expected<StereoResult> run = runStereo(request);
  if (!run) return std::move(run).error();
  try {
    StereoResult& stereo = *run;
    DisparityResult& view = stereo.left;
    StereoCallResult result;
    result.costSeconds = view.costSeconds;
    result.flattenSeconds = view.flattenSeconds;
    result.optimizeSeconds = view.optimizeSeconds;
    result.passEnergies = std::move(view.passEnergies);
    result.passSeconds = std::move(view.passSeconds);
    result.lrSeconds = stereo.leftRightSeconds;
    result.subpixelSeconds = stereo.subpixelSeconds;
    result.fillSeconds = stereo.fillSeconds;
    result.medianSeconds = stereo.medianSeconds;
    result.disparity = std::move(stereo.disparity);
    // Unknown is NaN in NumPy's world; the map files keep +inf.
    result.disparity.forEach<float>([](float& d, const int*) {
      if (!std::isfinite(d)) d = std::numeric_limits<float>::quiet_NaN();
    });
    result.consistent = std::move(stereo.consistent);
    result.labels = std::move(view.labels);
    result.costs = std::move(view.costs);
    return result;
  } catch (const std::bad_alloc&) {
    return outOfMemory("Not enough memory for the run's results");
  }
}

Expected<std::vector<float>> computeCostsOnly(const cv::Mat& left, const cv::Mat& right, const StereoParams& params,
                                              std::optional<float> logChromWeight, int threads,
                                              const std::function<void(int, int)>& onRow) {
  if (threads < 0) return invalidInput("threads is " + std::to_string(threads) + "; it must be 0 or more");
  // The run's own checks before any work, with the command line's messages.
  StereoRequest request;
  request.left = left;
  request.right = right;
  request.options = stereoOptionsFor(params);
  request.fieldNames = kDialogFieldNames;
  if (Status ok = checkStereoRequest(request); !ok) return std::move(ok).error();
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
    volume.copyRowMajor(flat.data());
    return flat;
  } catch (const std::bad_alloc&) {
    return outOfMemory("Not enough memory for a " + std::to_string(width) + " x " + std::to_string(height) + " x " +
                       std::to_string(range) + " cost volume");
  }
}

}  // namespace orbelt
