#pragma once
// The Compute command without a window: from two images and the parameters to
// a disparity labelling and the saved display map.
//
// Two layers:
//  - computeDisparity(): cost volume -> flat costs -> energy terms -> ten
//    optimizer passes -> labels. Pure computation; used by every front end.
//  - runDisparityPipeline(): the dialog's run (default images into empty
//    slots, colour check, input checks, computeDisparity, display map, atomic
//    save, both slots emptied).
//
// The two engines are reached through PipelineEngines so tests can put
// doubles in their place; defaultEngines() gives the real matcher and
// optimizer.
//
// The colour check (ColorCheck.h), the memory estimate (RunMemory.h) and the
// default paths (RunPaths.h) live in headers of their own, included here so
// every caller of the run still finds them.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "ancc/CostVolume.h"
#include "ancc/MatcherOptions.h"
#include "mrf/OptimizerOptions.h"
#include "pipeline/ColorCheck.h"
#include "pipeline/DisparityResult.h"
#include "pipeline/EngineSeams.h"
#include "pipeline/ImageSlots.h"
#include "pipeline/RunMemory.h"
#include "pipeline/RunPaths.h"
#include "pipeline/StereoParams.h"
#include "platform/AvailableMemory.h"
#include "platform/Expected.h"
#include "platform/MessageBox.h"

namespace orbelt {

struct DisparityOptions {
  bool keepCosts = false;  // keep the flat cost array in the result (for --save-cost)
  int threadCount = 0;     // threads of the cost sweep and of each move; 0 = one per hardware thread
  // The matcher's blend of its two signals, 0 (colour values only) to 1
  // (log-chromaticity only); none = the colour mode's (1 or 0). The caller
  // checks the range.
  std::optional<float> logChromWeight;
  // Progress, each may be empty: rows of the cost volume (rows done,
  // height), expansion moves of the current pass (moves done, per pass), and
  // finished passes (pass number from 1, energy after it, its seconds).
  std::function<void(int rowsDone, int height)> onRow;
  std::function<void(int movesDone, int movesPerPass)> onMove;
  std::function<void(int pass, double energy, double seconds)> onPass;
};

// Computes the labelling of `ref` against `target` as `options` say (its
// keepCosts included; its sub-pixel and left-right choices are runStereo's).
// Expects inputs that passed the colour check and checkRunInputs(). Fails
// as computeDisparity does.
Expected<DisparityResult> labelView(const cv::Mat& ref, const cv::Mat& target, const StereoOptions& options,
                                    const PipelineEngines& engines, const DisparityOptions& progress = {});

// labelView with the options of `params` (stereoOptionsFor), the threads and
// cost keeping of `options`. Expects inputs that passed the colour check and
// checkRunInputs(). Fails with the matcher's Error, the
// optimizer's (its message and status 1, e.g. "Wrong exponent in
// setSmoothness()!"), or, when memory ran out anywhere in the run, an
// OutOfMemory Error naming the run's size (status 1). Never ends the process.
Expected<DisparityResult> computeDisparity(const cv::Mat& ref, const cv::Mat& target, const StereoParams& params,
                                           const PipelineEngines& engines, const DisparityOptions& options = {});

// The Error of a run that ran out of memory once under way, in the terms the
// user can change (OutOfMemory, status 1).
Error runOutOfMemory(int width, int height, const MatcherOptions& matcher);

// Whether an Error ends the dialog rather than being shown and survived: the
// colour check's, and an engine's own failure (kind EngineFailure), which the
// dialog has always treated as fatal.
bool endsTheDialog(const Error& error);

// Why a pair that passed the colour check cannot run, checked before any
// work: an empty image, a depth other than 8 bits per channel, a target whose
// size differs from the reference, options that StereoOptions::check refuses
// (their fields named by `names`) (all InvalidInput, status 2), or a run that
// needs more than `availableBytes` (estimateRunBytes; OutOfMemory, status 2).
// Each message names the image or parameter, its value and what is allowed.
Status checkRunInputs(const cv::Mat& ref, const cv::Mat& target, const StereoOptions& options,
                      const StereoFieldNames& names, std::uint64_t availableBytes);
// The same for the dialog's parameters, named by their dialog labels.
Status checkRunInputs(const cv::Mat& ref, const cv::Mat& target, const StereoParams& params,
                      std::uint64_t availableBytes = availableMemoryBytes());

struct PipelineContext {
  MessageBox* messages = nullptr;                      // where refusals and failures are told; null: printed on stderr
  std::string savePath = defaultSavePath();            // where the display map goes
  PipelineEngines engines;                             // an empty member means the real engine (defaultEngines())
  std::string defaultRefPath = kDefaultRefPath;        // loaded into an empty reference slot
  std::string defaultTargetPath = kDefaultTargetPath;  // loaded into an empty target slot
  DisparityOptions options;                            // progress, threads, cost keeping
};

enum class RunOutcome {
  Saved,       // map written, slots emptied
  Refused,     // stopped before any work (unreadable image, bad pair or parameters, too little
               // memory); message shown; slots as they were before the call
  Failed,      // the matcher failed or memory ran out during the run; message shown; nothing
               // saved; slots as they were before the call
  SaveFailed,  // computed but not written (message names path and reason); an earlier map is
               // left intact; slots emptied
  Ended,       // an Error that ends the dialog (endsTheDialog): nothing shown, nothing saved, slots
               // as they were; the caller tells it (the colour message in a box, an engine's on its
               // stream) and ends the program with its status
};

// Steps 3..18 of the Compute command on `slots` with `params`: default images
// into empty slots, the colour check, checkRunInputs, computeDisparity,
// renderDisplayMap, saveImageAtomically, both slots emptied. Success is
// silent. When `result` is given it receives the run's figures (labels,
// energies, stage times; costs if kept) after a computed run. When the
// outcome is Ended, `endingError` (if given) receives the Error. Never ends
// the process itself.
RunOutcome runDisparityPipeline(const StereoParams& params, ImageSlots& slots, const PipelineContext& context,
                                DisparityResult* result = nullptr, Error* endingError = nullptr);

}  // namespace orbelt
