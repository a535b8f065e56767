#include "pipeline/DisparityPipeline.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "mrf/MrfSolver.h"
#include "pipeline/RunStereo.h"
#include "io/ImageFile.h"
#include "postprocess/DisplayGrey.h"
#include "platform/ProcessServices.h"
#include "platform/Timing.h"

namespace orbelt {

namespace {

std::string mebibytes(double bytes) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.0f MiB", std::ceil(bytes / (1024.0 * 1024.0)));
  return buf;
}

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

class StderrMessages : public MessageBox {
 public:
  void show(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

// The dialog's progress callbacks, for the left view it labels.
StereoProgress progressOf(const DisparityOptions& options) {
  StereoProgress progress;
  if (options.onRow)
    progress.onRow = [onRow = options.onRow](StereoView, int done, int height) { onRow(done, height); };
  if (options.onMove) {
    progress.onMove = [onMove = options.onMove](StereoView, int done, int perPass) { onMove(done, perPass); };
  }
  if (options.onPass) {
    progress.onPass = [onPass = options.onPass](StereoView, int pass, double energy, double seconds) {
      onPass(pass, energy, seconds);
    };
  }
  return progress;
}

}  // namespace

Error runOutOfMemory(int width, int height, const MatcherOptions& matcher) {
  return Error{ErrorKind::OutOfMemory,
               "Not enough memory for a " + std::to_string(width) + " x " + std::to_string(height) + " x " +
                   std::to_string(matcher.disparityRange) + " run (about " +
                   mebibytes(static_cast<double>(estimateRunBytes(width, height, matcher))) +
                   "); lower Disparity Range or HalfWinSize, or use smaller images\n",
               1, ErrorStream::Stderr};
}

Expected<DisparityResult> computeDisparity(const cv::Mat& ref, const cv::Mat& target, const StereoParams& params,
                                           const PipelineEngines& engines, const DisparityOptions& options) {
  StereoOptions stereo = stereoOptionsFor(params);
  stereo.useThreads(options.threadCount);
  if (options.logChromWeight) stereo.matcher.logChromWeight = *options.logChromWeight;
  stereo.keepCosts = options.keepCosts;
  return labelView(ref, target, stereo, engines, options);
}

Expected<DisparityResult> labelView(const cv::Mat& ref, const cv::Mat& target, const StereoOptions& stereo,
                                    const PipelineEngines& engines, const DisparityOptions& options) {
  DisparityResult result;
  const int width = ref.cols;
  const int height = ref.rows;
  const int range = stereo.matcher.disparityRange;
  result.width = width;
  result.height = height;
  const std::size_t pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const std::size_t costCount = pixelCount * static_cast<std::size_t>(range);

  try {
    // The preview is the matcher's to draw; nothing reads it afterwards.
    cv::Mat preview(height, width, CV_8UC1, cv::Scalar(0));
    std::vector<float> flat;
    {
      CostVolume volume(width, height, range);
      if (stereo.computeCosts) {
        const auto start = SteadyClock::now();
        Status costs = engines.computeCosts(volume, ref, target, preview, stereo.matcher, options.onRow);
        result.costSeconds = secondsSince(start);
        if (!costs) return std::move(costs).error();
      }
      // Without the matcher the volume stays all zero, so the smoothness term
      // alone decides.

      // Row-major pixels, label fastest: the order the optimizer indexes its
      // data table in (p * labelCount + label).
      const auto start = SteadyClock::now();
      flat.resize(costCount);
      volume.copyRowMajor(flat.data());
      // The volume goes before the optimizer allocates: the two biggest
      // arrays of a run never coexist with the optimizer's.
      volume.release();
      result.flattenSeconds = secondsSince(start);
    }

    DataTerm data;
    data.costTable = flat.data();
    data.form = CostForm::Table;
    SmoothTerm smooth;
    smooth.form = CostForm::TruncatedPower;
    smooth.exponent = stereo.optimizer.smoothExponent;  // judged by the optimizer, not here
    smooth.maxCost = stereo.optimizer.smoothMax;
    smooth.lambda = stereo.optimizer.lambda;
    smooth.useMultipliers = false;
    EnergyTerms terms;
    terms.data = &data;
    terms.smooth = &smooth;

    // The optimizer's own failures keep its message; an allocation that
    // failed inside it is told in the run's terms, as one outside it is.
    const auto optimizerError = [&](Error error) {
      return error.kind == ErrorKind::OutOfMemory ? runOutOfMemory(width, height, stereo.matcher) : std::move(error);
    };
    const auto optimizeStart = SteadyClock::now();
    {
      OptimizerSettings settings;
      settings.moveObserver = options.onMove;
      settings.seed = stereo.optimizer.seed;
      settings.threadCount = stereo.optimizer.threadCount;
      std::unique_ptr<MrfSolver> solver = engines.createOptimizer(width, height, range, &terms, settings);
      if (!solver) {
        return Error{ErrorKind::InvalidInput, "The optimizer could not be created\n", 1, ErrorStream::Stderr};
      }
      if (Status made = solver->status(); !made) return optimizerError(std::move(made).error());
      if (Status installed = solver->initialize(); !installed) return optimizerError(std::move(installed).error());
      solver->resetLabels();
      // Always exactly ten passes, also once the energy stops falling: a
      // later pass with a new label order may still find a lower energy.
      for (int pass = 1; pass <= kOptimizerPasses; ++pass) {
        const auto passStart = SteadyClock::now();
        float engineSeconds = 0.0f;  // millisecond resolution; our own clock is finer
        if (Status swept = solver->optimize(1, &engineSeconds); !swept) {
          return optimizerError(std::move(swept).error());
        }
        Expected<double> dataSum = solver->dataCostSum();
        if (!dataSum) return optimizerError(std::move(dataSum).error());
        Expected<double> pairSum = solver->pairCostSum();
        if (!pairSum) return optimizerError(std::move(pairSum).error());
        const double energy = *dataSum + static_cast<float>(*pairSum);
        const double seconds = secondsSince(passStart);
        result.passEnergies.push_back(energy);
        result.passSeconds.push_back(seconds);
        if (options.onPass) options.onPass(pass, energy, seconds);
      }
      result.flowRecycling = solver->recyclesFlows();
      result.labels.resize(pixelCount);
      for (std::size_t p = 0; p < pixelCount; ++p) result.labels[p] = solver->labelAt(static_cast<int>(p));
    }
    result.optimizeSeconds = secondsSince(optimizeStart);
    if (stereo.keepCosts) result.costs = std::move(flat);
  } catch (const std::bad_alloc&) {
    return runOutOfMemory(width, height, stereo.matcher);
  }
  return result;
}

bool endsTheDialog(const Error& error) {
  return error.kind == ErrorKind::ColorFormat || error.kind == ErrorKind::EngineFailure;
}

Status checkRunInputs(const cv::Mat& ref, const cv::Mat& target, const StereoParams& params,
                      std::uint64_t availableBytes) {
  return checkRunInputs(ref, target, stereoOptionsFor(params), kDialogFieldNames, availableBytes);
}

Status checkRunInputs(const cv::Mat& ref, const cv::Mat& target, const StereoOptions& options,
                      const StereoFieldNames& names, std::uint64_t availableBytes) {
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
  if (Status bad = options.check(names); !bad) return bad;
  const MatcherOptions& matcher = options.matcher;
  const std::uint64_t need = estimateRunBytes(ref.cols, ref.rows, matcher);
  if (need > availableBytes) {
    return outOfMemory("A " + std::to_string(ref.cols) + " x " + std::to_string(ref.rows) + " pair with " +
                       names.matcher.disparityRange + " " + std::to_string(matcher.disparityRange) + " and " +
                       names.matcher.halfWinSize + " " + std::to_string(matcher.halfWinSize) + " needs about " +
                       mebibytes(static_cast<double>(need)) + " of memory, but only " +
                       mebibytes(static_cast<double>(availableBytes)) + " are available; lower " +
                       names.matcher.disparityRange + " or " + names.matcher.halfWinSize + ", or use smaller images\n");
  }
  return {};
}

RunOutcome runDisparityPipeline(const StereoParams& params, ImageSlots& slots, const PipelineContext& context,
                                DisparityResult* resultOut, Error* endingError) {
  // A context without a message box still tells its refusals somewhere.
  StderrMessages fallback;
  MessageBox& messages = context.messages ? *context.messages : static_cast<MessageBox&>(fallback);
  // Handles, not pixel copies: a refused run puts back exactly what the
  // dialog held, so a default loaded here does not linger in a slot.
  const cv::Mat heldRef = slots.refImage;
  const cv::Mat heldTarget = slots.targetImage;
  auto putBack = [&] {
    slots.refImage = heldRef;
    slots.targetImage = heldTarget;
  };
  auto refuse = [&](const std::string& message, RunOutcome outcome) {
    messages.show(message);
    putBack();
    return outcome;
  };
  auto end = [&](Error error) {
    putBack();
    if (endingError) *endingError = std::move(error);
    return RunOutcome::Ended;
  };

  if (slots.refImage.empty()) {
    Expected<cv::Mat> loaded = loadInputImage(context.defaultRefPath, "reference");
    if (!loaded) return refuse(loaded.error().message, RunOutcome::Refused);
    slots.refImage = std::move(*loaded);
  }
  if (slots.targetImage.empty()) {
    Expected<cv::Mat> loaded = loadInputImage(context.defaultTargetPath, "target");
    if (!loaded) return refuse(loaded.error().message, RunOutcome::Refused);
    slots.targetImage = std::move(*loaded);
  }

  StereoRequest request;
  request.left = slots.refImage;
  request.right = slots.targetImage;
  request.options = stereoOptionsFor(params);
  request.options.useThreads(context.options.threadCount);
  if (context.options.logChromWeight) request.options.matcher.logChromWeight = *context.options.logChromWeight;
  request.options.keepCosts = context.options.keepCosts;
  request.progress = progressOf(context.options);
  request.fieldNames = kDialogFieldNames;
  request.engines = context.engines;
  if (Status refused = checkStereoRequest(request); !refused) {
    if (endsTheDialog(refused.error())) return end(std::move(refused).error());
    return refuse(refused.error().summary(), RunOutcome::Refused);
  }
  Expected<StereoResult> computed = runStereo(request);
  if (!computed) {
    if (endsTheDialog(computed.error())) return end(std::move(computed).error());
    return refuse(computed.error().summary(), RunOutcome::Failed);
  }
  DisparityResult result = std::move(computed->left);

  const auto saveStart = SteadyClock::now();
  const Expected<cv::Mat> map =
      renderDisplayMap(result.labels, result.width, result.height, params.baseDisparity, params.displayLevel);
  const Status saved = map ? saveImageAtomically(context.savePath, *map) : Status(map.error());
  result.saveSeconds = secondsSince(saveStart);

  // The run reached its end: the next one starts from the default files
  // unless new images are loaded.
  slots.refImage.release();
  slots.targetImage.release();
  if (resultOut) *resultOut = std::move(result);
  if (!saved) {
    messages.show("The disparity map was computed but not saved. " + saved.error().message);
    return RunOutcome::SaveFailed;
  }
  return RunOutcome::Saved;
}

}  // namespace orbelt
