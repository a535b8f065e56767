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
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "ancc/CostVolume.h"
#include "mrf/OptimizerOptions.h"
#include "pipeline/DisparityResult.h"
#include "mrf/EnergyTerms.h"
#include "pipeline/ImageSlots.h"
#include "pipeline/StereoParams.h"
#include "platform/AvailableMemory.h"
#include "platform/Expected.h"
#include "platform/MessageBox.h"

namespace orbelt {

class MrfSolver;

// The six values the matcher takes, in the order the pipeline sets them, and
// how it may run.
struct MatcherSettings {
  int baseDisparity = 0;     // disparity of label 0, pixels
  int disparityRange = 0;    // number of labels
  int displayLevel = 0;      // preview grey multiplier (low 8 bits act)
  int halfWinSize = 0;       // window half size, pixels
  float spatialSigma = 0.f;  // from sigmaP, pixels
  float colorSigma = 0.f;    // from sigmaS, Lab units
  int threadCount = 0;       // worker threads for the cost sweep; 0 = the matcher's own choice
  // Called after each finished row with (rows done, height); may be empty.
  // It may be called from a worker thread, never from two at once.
  std::function<void(int rowsDone, int height)> rowObserver;
};

// The matcher's six values taken from the run parameters: spatialSigma from
// sigmaP, colorSigma from sigmaS. Threads and the row observer stay unset.
MatcherSettings matcherSettingsFor(const StereoParams& params);

// Fills every element of the volume and draws the preview. Fails with why
// the costs could not be computed (the volume is then not used).
using CostStage = std::function<Status(CostVolume& volume, const cv::Mat& ref, const cv::Mat& target,
                                       cv::Mat& preview, const MatcherSettings& settings, float logChromWeight)>;

// How the optimizer may report its work.
struct OptimizerSettings {
  // Called after each expansion move of a pass with (moves done in this pass,
  // moves per pass = labelCount); may be empty.
  std::function<void(int movesDone, int movesPerPass)> moveObserver;
};

// Creates the optimizer over (width, height, labelCount, terms); the terms
// outlive it. The pipeline then checks status() and calls initialize(),
// resetLabels(), ten times optimize(1, &seconds), labelAt(), dataCostSum()
// and pairCostSum(), stopping at the first Error.
using OptimizerFactory = std::function<std::unique_ptr<MrfSolver>(
    int width, int height, int labelCount, EnergyTerms* terms, const OptimizerSettings& settings)>;

struct PipelineEngines {
  CostStage computeCosts;            // default: AnccMatcher
  OptimizerFactory createOptimizer;  // default: AlphaExpansion
};

// The real matcher and optimizer. `seed`, when set, makes the optimizer's
// label orders reproducible (the same seed, images and parameters give the
// same map); otherwise every pass reseeds from the process clock.
PipelineEngines defaultEngines(std::optional<std::uint32_t> seed = std::nullopt);


struct DisparityOptions {
  bool keepCosts = false;  // keep the flat cost array in the result (for --save-cost)
  int threadCount = 0;     // matcher threads; 0 = the matcher's own choice
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

// Computes the labelling of `ref` against `target`. Expects inputs that passed
// the colour check and checkRunInputs(). Fails with the matcher's Error, the
// optimizer's (its message and status 1, e.g. "Wrong exponent in
// setSmoothness()!"), or, when memory ran out anywhere in the run, an
// OutOfMemory Error naming the run's size (status 1). Never ends the process.
Expected<DisparityResult> computeDisparity(const cv::Mat& ref, const cv::Mat& target, const StereoParams& params,
                                           const PipelineEngines& engines, const DisparityOptions& options = {});

// Whether the channel counts pass the colour check: the reference has exactly
// 3 channels and the target as many as the reference. Depth and size are not
// looked at here.
bool passesColorCheck(const cv::Mat& ref, const cv::Mat& target);

// The Error of a pair that fails the colour check: kColorFormatMessage and a
// line break, kind ColorFormat, status kColorFormatExitStatus, stderr.
Error colorFormatError();

// Whether an Error ends the dialog rather than being shown and survived: the
// colour check's, and an engine's own failure (kind EngineFailure), which the
// dialog has always treated as fatal.
bool endsTheDialog(const Error& error);

// Why a pair that passed the colour check cannot run, checked before any
// work: an empty image, a depth other than 8 bits per channel, a target whose
// size differs from the reference, bad parameters (StereoParams::check), or a
// run that needs more than `availableBytes` (estimateRunBytes). Empty when the
// run may go on; otherwise one message naming the image or parameter, its
// value and what is allowed.
std::string checkRunInputs(const cv::Mat& ref, const cv::Mat& target, const StereoParams& params,
                           std::uint64_t availableBytes = availableMemoryBytes());

// Bytes a run needs at its peak, estimated from the sizes alone: the largest
// of the matcher phase (cost volume, six per-pixel grids of three doubles, the
// working images, one worker's row caches of (2r+1)^2 window entries per
// column, r clamped to max(width, height) - 1 as the matcher does),
// the flattening phase (volume and flat copy together) and the optimizer phase
// (flat copy, label arrays, smoothness table, one move's flow graph). Never
// overflows: absurd sizes give UINT64_MAX.
std::uint64_t estimateRunBytes(int width, int height, const StereoParams& params);

// Default inputs, relative to the working directory.
inline constexpr const char* kDefaultRefPath = "data/Img0.png";
inline constexpr const char* kDefaultTargetPath = "data/Img1.png";
// The message of the colour check.
inline constexpr const char* kColorFormatMessage = "Input images should be color format !";
// The exit status after the colour check's message (seen as 255 by a parent).
inline constexpr int kColorFormatExitStatus = -1;

// <folder of the executable>/data/dispMap.bmp ("data/dispMap.bmp" when the
// executable's folder is unknown).
std::string defaultSavePath();

struct PipelineContext {
  MessageBox* messages = nullptr;  // where refusals and failures are told; null: printed on stderr
  std::string savePath = defaultSavePath();              // where the display map goes
  PipelineEngines engines;  // an empty member means the real engine (defaultEngines())
  std::string defaultRefPath = kDefaultRefPath;          // loaded into an empty reference slot
  std::string defaultTargetPath = kDefaultTargetPath;    // loaded into an empty target slot
  DisparityOptions options;                              // progress, threads, cost keeping
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
