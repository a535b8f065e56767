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
#include "mrf/EnergyTerms.h"
#include "pipeline/ImageSlots.h"
#include "pipeline/StereoParams.h"
#include "platform/MessageBox.h"

namespace orbelt {

class MrfSolver;

// The six values the matcher takes, in the order the pipeline sets them.
struct MatcherSettings {
  int baseDisparity = 0;     // disparity of label 0
  int disparityRange = 0;    // number of labels
  int displayLevel = 0;      // preview grey multiplier
  int halfWinSize = 0;       // window half size
  float spatialSigma = 0.f;  // from sigmaP
  float colorSigma = 0.f;    // from sigmaS
};

// Fills every element of the volume and draws the preview.
using CostStage = std::function<void(CostVolume& volume, const cv::Mat& ref, const cv::Mat& target,
                                     cv::Mat& preview, const MatcherSettings& settings,
                                     float logChromWeight)>;
// Creates the optimizer over (width, height, labelCount, terms); the terms
// outlive it.
using OptimizerFactory =
    std::function<std::unique_ptr<MrfSolver>(int width, int height, int labelCount, EnergyTerms* terms)>;

struct PipelineEngines {
  CostStage computeCosts;            // default: AnccMatcher
  OptimizerFactory createOptimizer;  // default: AlphaExpansion
};

// The real matcher and optimizer. `seed`, when set, fixes the optimizer's
// label order (otherwise it is reseeded from the process clock every pass).
PipelineEngines defaultEngines(std::optional<std::uint32_t> seed = std::nullopt);

// Number of optimizer passes of every run.
inline constexpr int kOptimizerPasses = 10;

// What a run produced besides the map.
struct DisparityResult {
  int width = 0;
  int height = 0;
  std::vector<int> labels;          // row-major, width*height, each in 0..disparityRange-1
  std::vector<float> costs;         // flat costs (y*width+x)*range+d; kept only on request
  std::vector<double> passEnergies; // dataCostSum + (float)pairCostSum after each pass
  double costSeconds = 0.0;         // wall time of the cost volume
  double optimizeSeconds = 0.0;     // wall time of the ten passes
};

struct DisparityOptions {
  bool keepCosts = false;  // keep the flat cost array in the result (for --save-cost)
};

// Computes the labelling of `ref` against `target`. Expects inputs that passed
// checkRunInputs(). Engine failures end the process as the engines specify.
DisparityResult computeDisparity(const cv::Mat& ref, const cv::Mat& target, const StereoParams& params,
                                 const PipelineEngines& engines, const DisparityOptions& options = {});

// Grey display map: ((label + base) * level) mod 256, or (label * level) mod
// 256 when base < 0. 8-bit, one channel, width x height.
cv::Mat renderDisplayMap(const std::vector<int>& labels, int width, int height, int baseDisparity,
                         int displayLevel);

// Why a pair cannot run, checked before any work: unreadable or empty images,
// a target whose size or depth differs, not 8 bits per channel, bad
// parameters (StereoParams::check), a run that needs more memory than the
// machine gives. Empty when the run may go on. The colour (channel) check is
// not part of this: it has its own message and exit status.
std::string checkRunInputs(const cv::Mat& ref, const cv::Mat& target, const StereoParams& params);

// Bytes a run needs at its peak (cost volume and flat copy, window caches,
// grids, optimizer arrays), estimated from the sizes alone.
std::uint64_t estimateRunBytes(int width, int height, const StereoParams& params);

// Default inputs, relative to the working directory.
inline constexpr const char* kDefaultRefPath = "data/Img0.png";
inline constexpr const char* kDefaultTargetPath = "data/Img1.png";
// The message of the colour check.
inline constexpr const char* kColorFormatMessage = "Input images should be color format !";

// <folder of the executable>/data/dispMap.bmp
std::string defaultSavePath();

// Writes `image` to `path` through a temporary file in the same folder and a
// rename, so an earlier file is never left half-written. Empty on success,
// otherwise a message naming the path and the reason.
std::string saveImageAtomically(const std::string& path, const cv::Mat& image);

struct PipelineContext {
  MessageBox* messages = nullptr;          // where refusals and failures are told
  std::string savePath = defaultSavePath();
  PipelineEngines engines;                 // defaultEngines() unless a test replaces them
  std::function<void(int)> exitProcess;    // default: orbelt::exitProcess
};

enum class RunOutcome {
  Saved,       // map written, slots emptied
  Refused,     // stopped before any work; message shown; slots left as they were
  SaveFailed,  // computed but not written; message shown; slots emptied
};

// Steps 3..18 of the Compute command on `slots` with `params`.
RunOutcome runDisparityPipeline(const StereoParams& params, ImageSlots& slots, const PipelineContext& context);

}  // namespace orbelt
