#pragma once
// The command line's words for the run's fields: the flag that sets each,
// used both to declare the option and to name it in a refusal, so the two
// cannot drift apart ("--sigma-s is 0; it must be ...").
#include "pipeline/StereoOptions.h"
#include "postprocess/CameraCalibration.h"

namespace orbelt {

inline constexpr StereoFieldNames kCliFieldNames{
    .matcher = {.halfWinSize = "--half-win-size",
                .colorSigma = "--sigma-s",
                .spatialSigma = "--sigma-p",
                .baseDisparity = "--base-disparity",
                .disparityRange = "--disparity-range",
                .logChromWeight = "--log-chrom-weight",
                .threadCount = "--threads"},
    .optimizer = {.lambda = "--lambda", .smoothMax = "--smooth-max", .threadCount = "--threads"},
    .leftRightThreshold = "--lr-check",
    .fill = "--fill",
    .medianRadius = "--median"};

// The calibration typed on the command line, value by value.
inline constexpr CalibrationFieldNames kCliCalibrationNames{
    .focal = "--focal", .baseline = "--baseline", .cx = "--cx", .cy = "--cy", .doffs = "--doffs"};

// The option that picks one KITTI frame of a dataset folder.
inline constexpr const char* kCliFrameOption = "--frame";

}  // namespace orbelt
