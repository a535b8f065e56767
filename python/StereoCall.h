#pragma once
// One run as the Python module asks for it: the pair, the options of the
// command line's main command, and what to keep. Returns the map and the
// run's figures, or the Error that stopped it; never ends the process.
//
// A thin adapter over runStereo, the entry point the command line runs too,
// with the command line's field names, so the map equals what
// `orbelt-cli --pfm` writes and a refusal reads as it does there.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "pipeline/StereoParams.h"
#include "postprocess/MapRefinement.h"
#include "platform/Expected.h"

namespace orbelt {

struct StereoCall {
  StereoParams params;                  // the matcher's and optimizer's parameters (StereoParams defaults)
  std::optional<std::uint32_t> seed;    // optimizer label orders; unset: the clock
  std::optional<float> logChromWeight;  // the matcher's cost blend, 0..1; unset: from params.colorMode
  int threads = 0;                      // cost threads; 0 = all cores
  bool subpixel = false;                // refine the float map by the cost parabola
  RefinementOptions refinement;         // left-right check, fill, median (off by default)
  bool keepCosts = false;               // return the flat costs
  // Progress: (stage, done, total) with stage "cost_volume", "optimize",
  // "right_cost_volume" or "right_optimize". May be called from a worker
  // thread, never from two at once.
  std::function<void(const char* stage, int done, int total)> progress;
};

struct StereoCallResult {
  cv::Mat disparity;                 // CV_32FC1, pixels; NaN where unknown (left-right check failed)
  std::vector<int> labels;           // row-major, 0 .. disparityRange-1
  std::vector<double> passEnergies;  // energy after each optimizer pass
  std::vector<double> passSeconds;   // seconds of each pass
  double costSeconds = 0, flattenSeconds = 0, optimizeSeconds = 0;
  double lrSeconds = 0, subpixelSeconds = 0, fillSeconds = 0, medianSeconds = 0;
  std::vector<std::uint8_t> consistent;  // with the check: 1 where it passed, per pixel
  std::vector<float> costs;              // with keepCosts: (y * width + x) * range + d
};

// Checks the options (the command line's checks and messages), then runs.
// `left` and `right` are 8-bit three-channel images in blue-green-red order.
// Errors: InvalidInput (options, sizes), ColorFormat, OutOfMemory (the run
// does not fit, or an allocation failed), EngineFailure.
Expected<StereoCallResult> runStereoCall(const cv::Mat& left, const cv::Mat& right, const StereoCall& call);

// The matcher alone: the flat costs (y * width + x) * range + d of the pair
// with `params` (the optimizer's fields are not used). Same errors.
Expected<std::vector<float>> computeCostsOnly(const cv::Mat& left, const cv::Mat& right, const StereoParams& params,
                                              std::optional<float> logChromWeight, int threads,
                                              const std::function<void(int, int)>& onRow);

}  // namespace orbelt
