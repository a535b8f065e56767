#pragma once
// The Python module's words for the run's fields: the keyword that sets
// each, used both to read the option and to name it in a refusal
// ("sigma_s is 0; it must be ..."). They follow the command line's long
// options, `_` for `-`, and `lambda_` for the keyword `lambda`.
#include "pipeline/StereoOptions.h"
#include "postprocess/CameraCalibration.h"

namespace orbelt::python {

inline constexpr StereoFieldNames kPythonFieldNames{
    .matcher = {.halfWinSize = "half_win_size",
                .colorSigma = "sigma_s",
                .spatialSigma = "sigma_p",
                .baseDisparity = "base_disparity",
                .disparityRange = "disparity_range",
                .logChromWeight = "log_chrom_weight",
                .threadCount = "threads"},
    .optimizer = {.lambda = "lambda_", .smoothMax = "smooth_max", .threadCount = "threads"},
    .leftRightThreshold = "lr_check",
    .fill = "fill",
    .medianRadius = "median"};

// orbelt.Calibration's and read_calib's keywords.
inline constexpr CalibrationFieldNames kPythonCalibrationNames{
    .focal = "focal", .baseline = "baseline", .cx = "cx", .cy = "cy", .doffs = "doffs"};

// read_dataset's keyword for one KITTI frame of a folder.
inline constexpr const char* kPythonFrameKeyword = "frame";

}  // namespace orbelt::python
