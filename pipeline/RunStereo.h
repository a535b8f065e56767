#pragma once
// The one entry point of a disparity run, for every front end, benchmark and
// fuzzer: two images and StereoOptions in, the labels and the float
// disparities out (with, on request, the costs, the sub-pixel refinement and
// the left-right check), or the Error that stopped the run.
//
//   StereoRequest request;
//   request.left = left;
//   request.right = right;
//   request.options.matcher.disparityRange = 60;
//   Expected<StereoResult> run = runStereo(request);
//   if (!run) report(run.error());
//
// The run asks the matcher (Matcher.h) for the cost volume of each view and
// hands the volume over to the labeller (Labeller.h); the memory it may take
// is read once, at the start, and handed down. Never ends the process and
// keeps no state between calls: two threads may run it at once on different
// requests (each run's progress callbacks are called on its own behalf only).
#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "pipeline/DisparityResult.h"
#include "pipeline/StereoEngines.h"
#include "pipeline/StereoOptions.h"
#include "pipeline/StereoProgress.h"
#include "platform/Expected.h"
#include "postprocess/BackgroundFill.h"

namespace orbelt {

struct StereoRequest {
  cv::Mat left;   // reference (left) image, 8-bit, 3 channels, blue-green-red; shared, never changed
  cv::Mat right;  // target (right) image, the same size and type
  StereoOptions options;
  StereoProgress progress;
  // Bytes the run may take; none: what the process may still take when the
  // run starts (availableMemoryBytes, read once). A run that needs more is
  // refused before any work.
  std::optional<std::uint64_t> availableBytes;
  // How refusals name the fields: the options' own names by default; each
  // front end passes its own words.
  StereoFieldNames fieldNames;
  // The engines; an empty member means the real one.
  StereoEngines engines;
};

struct StereoResult {
  int width = 0;
  int height = 0;
  // The left view's labels (0 .. disparityRange-1, row-major), its costs
  // when keepCosts, subpixel or costsOnly asked for them, and its figures.
  // With costsOnly only the costs, the size and the stage times.
  DisparityResult left;
  // The right view's labelling, with the left-right check only.
  std::optional<DisparityResult> right;
  // Float disparities, CV_32FC1 width x height, pixels: base + label, plus
  // the sub-pixel offset with subpixel; +inf (unknown) where the left-right
  // check failed; then filled and median-filtered as the options ask
  // (refineDisparityMap with StereoOptions::refinement()). The map files keep
  // +inf; the Python module shows NaN. Empty with costsOnly.
  cv::Mat disparity;
  std::vector<float> subpixelOffsets;    // with subpixel: per pixel, in -0.5 .. 0.5
  std::vector<std::uint8_t> consistent;  // with the left-right check: 1 where it passed, 0 where not
  std::int64_t consistentCount = 0;      // pixels where it passed
  double leftRightSeconds = 0.0;         // wall time of the right view's run and the check
  double subpixelSeconds = 0.0;          // wall time of the sub-pixel refinement
  BackgroundFillSummary fill;            // with fill: pixels filled, and those left unknown (rows without a
                                         // consistent pixel)
  double fillSeconds = 0.0;              // wall time of the fill
  double medianSeconds = 0.0;            // wall time of the weighted median
};

// Runs the request. Fails before any work with: ColorFormat when either
// image is not 3-channel colour ("Input images should be color format !");
// InvalidInput for an empty image, a depth other than 8 bits, a size
// mismatch, or options that StereoOptions::check refuses (among them a
// smoothness exponent other than 1 or 2, "Wrong exponent in setSmoothness()!",
// unless the options leave it to the optimizer); RunTooLarge when the run's
// estimate exceeds the available bytes. During the run: the matcher's or the
// optimizer's Error (EngineFailure, or the optimizer's exponent refusal when
// the options left it to it), or OutOfMemory when an allocation failed
// anywhere in it, naming the run's size.
Expected<StereoResult> runStereo(const StereoRequest& request);

// The checks runStereo makes before any work, alone, for a front end that
// refuses before it prints or reads anything else. Fails as runStereo does
// before any work.
Status checkStereoRequest(const StereoRequest& request);

}  // namespace orbelt
