#include "pipeline/RunStereo.h"

#include <new>
#include <utility>

#include "pipeline/DisparityPipeline.h"
#include "platform/AvailableMemory.h"
#include "platform/Timing.h"
#include "postprocess/FloatDisparity.h"
#include "postprocess/LeftRightCheck.h"
#include "postprocess/MapRefinement.h"
#include "postprocess/SubpixelRefinement.h"

namespace orbelt {

namespace {

// The request's progress for one view, in the form labelView reports it.
DisparityOptions progressOf(const StereoProgress& progress, StereoView view) {
  DisparityOptions options;
  if (progress.onRow) options.onRow = [&progress, view](int done, int height) { progress.onRow(view, done, height); };
  if (progress.onMove) {
    options.onMove = [&progress, view](int done, int perPass) { progress.onMove(view, done, perPass); };
  }
  if (progress.onPass) {
    options.onPass = [&progress, view](int pass, double energy, double seconds) {
      progress.onPass(view, pass, energy, seconds);
    };
  }
  return options;
}

PipelineEngines withDefaults(const PipelineEngines& given) {
  if (given.computeCosts && given.createOptimizer) return given;
  PipelineEngines real = defaultEngines();
  if (given.computeCosts) real.computeCosts = given.computeCosts;
  if (given.createOptimizer) real.createOptimizer = given.createOptimizer;
  return real;
}

}  // namespace

Status checkStereoRequest(const StereoRequest& request) {
  const cv::Mat& left = request.left;
  const cv::Mat& right = request.right;
  const StereoOptions& options = request.options;
  if (!passesColorCheck(left, right)) return colorFormatError();

  // Sub-pixel refinement reads the costs, so they are kept for it. With the
  // left-right check the kept costs of the left view stay in memory while
  // the right view's run needs its own peak, so they are not available to it.
  const bool keepCosts = options.keepCosts || options.subpixel;
  std::uint64_t available = request.availableBytes ? *request.availableBytes : availableMemoryBytes();
  if (options.leftRightThreshold && keepCosts && available != UINT64_MAX) {
    const std::uint64_t kept = static_cast<std::uint64_t>(left.cols) * static_cast<std::uint64_t>(left.rows) *
                               static_cast<std::uint64_t>(std::max(options.matcher.disparityRange, 0)) * sizeof(float);
    available = kept < available ? available - kept : 0;
  }
  return checkRunInputs(left, right, options, request.fieldNames, available);
}

Expected<StereoResult> runStereo(const StereoRequest& request) {
  if (Status refused = checkStereoRequest(request); !refused) return std::move(refused).error();
  const cv::Mat& left = request.left;
  const cv::Mat& right = request.right;
  const StereoOptions& options = request.options;
  const bool keepCosts = options.keepCosts || options.subpixel;
  const int width = left.cols;
  const int height = left.rows;
  const MatcherOptions& matcher = options.matcher;
  const PipelineEngines engines = withDefaults(request.engines);
  try {
    StereoResult result;
    result.width = width;
    result.height = height;
    StereoOptions leftOptions = options;
    leftOptions.keepCosts = keepCosts;
    Expected<DisparityResult> leftView =
        labelView(left, right, leftOptions, engines, progressOf(request.progress, StereoView::Left));
    if (!leftView) return std::move(leftView).error();
    result.left = std::move(leftView).value();

    std::vector<int> rightLabels;
    if (options.leftRightThreshold) {
      const auto start = SteadyClock::now();
      const MirroredPair mirrored = mirroredPairForRightView(left, right);
      StereoOptions rightOptions = options;
      rightOptions.keepCosts = false;
      Expected<DisparityResult> rightView = labelView(mirrored.reference, mirrored.target, rightOptions, engines,
                                                      progressOf(request.progress, StereoView::Right));
      if (!rightView) return std::move(rightView).error();
      rightLabels = mirrorLabels(rightView->labels, width, height);
      result.right = std::move(rightView).value();
      result.leftRightSeconds = secondsSince(start);
    }

    if (options.subpixel) {
      const auto start = SteadyClock::now();
      result.subpixelOffsets = subpixelOffsets(result.left.labels, result.left.costs, matcher.disparityRange);
      result.subpixelSeconds = secondsSince(start);
    }
    // The check's comparison, the fill and the median, in that order.
    Expected<RefinedMap> refined = refineDisparityMap(
        result.left.labels, options.leftRightThreshold ? &rightLabels : nullptr, width, height, matcher.baseDisparity,
        options.subpixel ? &result.subpixelOffsets : nullptr, left, options.refinement());
    if (!refined) return std::move(refined).error();
    result.disparity = std::move(refined->disparity);
    if (options.leftRightThreshold) {
      result.consistent = std::move(refined->consistent);
      result.consistentCount = static_cast<std::int64_t>(refined->consistentCount);
      result.leftRightSeconds += refined->checkSeconds;
    }
    result.fill = refined->fill;
    result.fillSeconds = refined->fillSeconds;
    result.medianSeconds = refined->medianSeconds;
    if (!options.keepCosts) std::vector<float>().swap(result.left.costs);
    return result;
  } catch (const std::bad_alloc&) {
    return runOutOfMemory(width, height, matcher);
  }
}

}  // namespace orbelt
