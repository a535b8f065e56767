#pragma once
// The one entry point of a disparity run, for every front end: two images
// and StereoOptions in, the labels and the float disparities out (with, on
// request, the costs, the sub-pixel refinement and the left-right check), or
// the Error that stopped the run.
//
//   StereoRequest request;
//   request.left = left;
//   request.right = right;
//   request.options.matcher.disparityRange = 60;
//   Expected<StereoResult> run = runStereo(request);
//   if (!run) report(run.error());
//
// Never ends the process and keeps no state between calls: two threads may
// run it at once on different requests (each run's progress callbacks are
// called on its own behalf only).
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "pipeline/DisparityResult.h"
#include "pipeline/EngineSeams.h"
#include "pipeline/StereoOptions.h"
#include "platform/Expected.h"
#include "postprocess/BackgroundFill.h"

namespace orbelt {

// Which view a run is labelling: the left (reference) one, or, for the
// left-right check, the right one (the mirrored pair).
enum class StereoView { Left, Right };

// Progress of a run; each callback may be empty.
struct StereoProgress {
  // After each finished row of a cost volume (rows done, height). It may be
  // called from the matcher's worker threads, never from two at once.
  std::function<void(StereoView view, int rowsDone, int height)> onRow;
  // After each expansion move of a pass (moves done in it, moves per pass).
  std::function<void(StereoView view, int movesDone, int movesPerPass)> onMove;
  // After each optimizer pass (pass number from 1, energy after it, its
  // wall seconds).
  std::function<void(StereoView view, int pass, double energy, double seconds)> onPass;
};

struct StereoRequest {
  cv::Mat left;   // reference (left) image, 8-bit, 3 channels, blue-green-red; shared, never changed
  cv::Mat right;  // target (right) image, the same size and type
  StereoOptions options;
  StereoProgress progress;
  // Bytes the run may take; none: what the process may still take now
  // (availableMemoryBytes). A run that needs more is refused before any work.
  std::optional<std::uint64_t> availableBytes;
  // How refusals name the fields: the options' own names by default; the
  // dialog and the command line pass the dialog's labels (kDialogFieldNames).
  StereoFieldNames fieldNames;
  // The engines; an empty member means the real one (defaultEngines()).
  PipelineEngines engines;
};

struct StereoResult {
  int width = 0;
  int height = 0;
  // The left view's labels (0 .. disparityRange-1, row-major), its costs
  // when keepCosts or subpixel asked for them, and its figures.
  DisparityResult left;
  // The right view's labelling, with the left-right check only.
  std::optional<DisparityResult> right;
  // Float disparities, CV_32FC1 width x height, pixels: base + label, plus
  // the sub-pixel offset with subpixel; +inf (unknown) where the left-right
  // check failed; then filled and median-filtered as the options ask
  // (refineDisparityMap with StereoOptions::refinement()). The map files keep
  // +inf; the Python module shows NaN.
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

// Runs the request. Fails before any work with: ColorFormat (status -1)
// when either image is not 3-channel colour ("Input images should be color
// format !"); InvalidInput (status 2) for an empty image, a depth other than
// 8 bits, a size mismatch, or options that StereoOptions::check refuses
// (the optimizer's exponent rule keeps its own Error, status 1);
// OutOfMemory (status 2) when the run's estimate exceeds the available
// bytes. During the run: the matcher's or the optimizer's Error (status 1),
// or OutOfMemory (status 1) when an allocation fails anywhere in it.
Expected<StereoResult> runStereo(const StereoRequest& request);

// The checks runStereo makes before any work, alone, for a front end that
// refuses before it prints or reads anything else. Fails as runStereo does
// before any work.
Status checkStereoRequest(const StereoRequest& request);

}  // namespace orbelt
