#include "pipeline/RunStereo.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "pipeline/ColorCheck.h"
#include "pipeline/RunMemory.h"
#include "platform/AvailableMemory.h"
#include "platform/Timing.h"
#include "postprocess/LeftRightCheck.h"
#include "postprocess/MapRefinement.h"
#include "postprocess/SubpixelRefinement.h"

namespace orbelt {

namespace {

const char* depthName(int depth) {
  switch (depth) {
    case CV_8U: return "8-bit unsigned";
    case CV_8S: return "8-bit signed";
    case CV_16U: return "16-bit unsigned";
    case CV_16S: return "16-bit signed";
    case CV_32S: return "32-bit integer";
    case CV_32F: return "32-bit float";
    case CV_64F: return "64-bit float";
    case CV_16F: return "16-bit float";
    default: return "unknown";
  }
}

// Why a pair that passed the colour check cannot run: an empty image, a
// depth other than 8 bits per channel, a target whose size differs from the
// reference's.
Status checkPair(const cv::Mat& ref, const cv::Mat& target) {
  const auto refuse = [](const std::string& message) { return invalidInput(message + "\n"); };
  if (ref.empty()) return refuse("The reference image is empty");
  if (target.empty()) return refuse("The target image is empty");
  if (ref.depth() != CV_8U) {
    return refuse(std::string("The reference image has ") + depthName(ref.depth()) +
                  " channels; only 8 bits per channel (unsigned) are supported");
  }
  if (target.depth() != CV_8U) {
    return refuse(std::string("The target image has ") + depthName(target.depth()) +
                  " channels; only 8 bits per channel (unsigned) are supported");
  }
  if (ref.size() != target.size()) {
    return refuse("The target image is " + std::to_string(target.cols) + " x " + std::to_string(target.rows) +
                  " pixels but the reference image is " + std::to_string(ref.cols) + " x " + std::to_string(ref.rows) +
                  "; both images of a pair must have the same size");
  }
  return {};
}

// Sub-pixel refinement reads the costs, so they are kept for it.
bool keepsCosts(const StereoOptions& options) { return options.keepCosts || options.subpixel; }

// Bytes of the left view's kept costs, which stay in memory while the right
// view's run (with the left-right check) needs its own peak.
std::uint64_t heldDuringRightView(const StereoRequest& request) {
  if (!request.options.leftRightThreshold || !keepsCosts(request.options)) return 0;
  return static_cast<std::uint64_t>(request.left.cols) * static_cast<std::uint64_t>(request.left.rows) *
         static_cast<std::uint64_t>(std::max(request.options.matcher.disparityRange, 0)) * sizeof(float);
}

std::uint64_t remaining(std::uint64_t budget, std::uint64_t held) { return held < budget ? budget - held : 0; }

Status checkRequest(const StereoRequest& request, std::uint64_t budget) {
  const cv::Mat& left = request.left;
  if (!passesColorCheck(left, request.right)) return colorFormatError();
  if (Status pair = checkPair(left, request.right); !pair) return pair;
  const StereoFieldNames& names = request.fieldNames;
  if (Status options = request.options.check(names); !options) return options;
  const std::uint64_t available = budget == UINT64_MAX ? budget : remaining(budget, heldDuringRightView(request));
  return checkRunFits(left.cols, left.rows, request.options.matcher, available, names.matcher.disparityRange,
                      names.matcher.halfWinSize);
}

// What one view's run works with: the request, its engines and the bytes it
// may take.
struct ViewRun {
  const StereoRequest& request;
  const Matcher& matcher;
  const Labeller& labeller;
  std::uint64_t budget;
};

// The cost volume of a view: the matcher's, or all zero when the options
// leave the matcher out (the smoothness term alone then decides).
Expected<CostVolume> costsOf(const ViewRun& run, const cv::Mat& ref, const cv::Mat& target, StereoView view,
                             DisparityResult& result) {
  const StereoOptions& options = run.request.options;
  if (!options.computeCosts) return CostVolume(ref.cols, ref.rows, options.matcher.disparityRange);
  const auto start = SteadyClock::now();
  Expected<CostVolume> volume =
      run.matcher.compute(ref, target, options.matcher, run.budget, run.request.progress, view);
  result.costSeconds = secondsSince(start);
  return volume;
}

// One view from its pair to its labels (or, with costsOnly, its flat costs).
// The labeller's allocation failures are told in the run's terms.
Expected<DisparityResult> runView(const ViewRun& run, const cv::Mat& ref, const cv::Mat& target, StereoView view,
                                  bool keepCosts) {
  DisparityResult result;
  result.width = ref.cols;
  result.height = ref.rows;
  Expected<CostVolume> volume = costsOf(run, ref, target, view, result);
  // The matcher's working storage is gone; what the allocator kept of it
  // goes back too, so the labeller's peak is the volume and the optimizer's
  // arrays, not those on top of a retained heap.
  returnFreedMemory();
  if (!volume) return std::move(volume).error();
  const StereoOptions& options = run.request.options;
  if (options.costsOnly) {
    const auto start = SteadyClock::now();
    result.costs = std::move(*volume).takeCosts();
    result.flattenSeconds = secondsSince(start);
    return result;
  }
  Expected<Labelling> labelled =
      run.labeller.label(std::move(*volume), options.optimizer, keepCosts, run.budget, run.request.progress, view);
  if (!labelled) {
    if (labelled.error().kind != ErrorKind::OutOfMemory) return std::move(labelled).error();
    const StereoFieldNames& names = run.request.fieldNames;
    return runOutOfMemory(ref.cols, ref.rows, options.matcher, names.matcher.disparityRange, names.matcher.halfWinSize);
  }
  static_cast<Labelling&>(result) = std::move(*labelled);
  return result;
}

// The right view's labels at the right view's own columns: the mirrored pair
// run as a left view, its labels mirrored back.
Expected<std::vector<int>> labelRightView(const ViewRun& run, StereoResult& result) {
  const auto start = SteadyClock::now();
  const MirroredPair mirrored = mirroredPairForRightView(run.request.left, run.request.right);
  Expected<DisparityResult> rightView = runView(run, mirrored.reference, mirrored.target, StereoView::Right, false);
  if (!rightView) return std::move(rightView).error();
  Expected<std::vector<int>> labels = mirrorLabels(rightView->labels, result.width, result.height);
  if (!labels) return std::move(labels).error();
  result.right = std::move(rightView).value();
  result.leftRightSeconds = secondsSince(start);
  return labels;
}

// The sub-pixel offsets, the check's comparison, the fill and the median, in
// that order, into `result`.
Status refine(const StereoRequest& request, const std::vector<int>* rightLabels, StereoResult& result) {
  const StereoOptions& options = request.options;
  const MatcherOptions& matcher = options.matcher;
  if (options.subpixel) {
    const auto start = SteadyClock::now();
    Expected<std::vector<float>> offsets =
        subpixelOffsets(result.left.labels, result.left.costs, matcher.disparityRange);
    if (!offsets) return std::move(offsets).error();
    result.subpixelOffsets = std::move(*offsets);
    result.subpixelSeconds = secondsSince(start);
  }
  Expected<RefinedMap> refined =
      refineDisparityMap(result.left.labels, rightLabels, result.width, result.height, matcher.baseDisparity,
                         options.subpixel ? &result.subpixelOffsets : nullptr, request.left, options.refinement());
  if (!refined) return std::move(refined).error();
  result.disparity = std::move(refined->disparity);
  if (rightLabels) {
    result.consistent = std::move(refined->consistent);
    result.consistentCount = static_cast<std::int64_t>(refined->consistentCount);
    result.leftRightSeconds += refined->checkSeconds;
  }
  result.fill = refined->fill;
  result.fillSeconds = refined->fillSeconds;
  result.medianSeconds = refined->medianSeconds;
  return {};
}

Expected<StereoResult> runViews(const ViewRun& run) {
  const StereoRequest& request = run.request;
  const StereoOptions& options = request.options;
  StereoResult result;
  result.width = request.left.cols;
  result.height = request.left.rows;
  Expected<DisparityResult> leftView =
      runView(run, request.left, request.right, StereoView::Left, options.costsOnly || keepsCosts(options));
  if (!leftView) return std::move(leftView).error();
  result.left = std::move(leftView).value();
  if (options.costsOnly) return result;

  std::optional<std::vector<int>> rightLabels;
  if (options.leftRightThreshold) {
    const ViewRun rightRun{request, run.matcher, run.labeller, remaining(run.budget, heldDuringRightView(request))};
    Expected<std::vector<int>> labels = labelRightView(rightRun, result);
    if (!labels) return std::move(labels).error();
    rightLabels = std::move(*labels);
  }
  if (Status refined = refine(request, rightLabels ? &*rightLabels : nullptr, result); !refined) {
    return std::move(refined).error();
  }
  if (!options.keepCosts) std::vector<float>().swap(result.left.costs);
  return result;
}

}  // namespace

Status checkStereoRequest(const StereoRequest& request) {
  return checkRequest(request, request.availableBytes ? *request.availableBytes : availableMemoryBytes());
}

Expected<StereoResult> runStereo(const StereoRequest& request) {
  // What the process may take is read once; every stage is handed its share.
  const std::uint64_t budget = request.availableBytes ? *request.availableBytes : availableMemoryBytes();
  if (Status refused = checkRequest(request, budget); !refused) return std::move(refused).error();
  static const std::shared_ptr<const Matcher> realMatcher = createAnccMatcher();
  static const std::shared_ptr<const Labeller> realLabeller = createExpansionLabeller();
  const StereoEngines& engines = request.engines;
  const ViewRun run{request, engines.matcher ? *engines.matcher : *realMatcher,
                    engines.labeller ? *engines.labeller : *realLabeller, budget};
  try {
    return runViews(run);
  } catch (const std::bad_alloc&) {
    const StereoFieldNames& names = request.fieldNames;
    return runOutOfMemory(request.left.cols, request.left.rows, request.options.matcher, names.matcher.disparityRange,
                          names.matcher.halfWinSize);
  }
}

}  // namespace orbelt
