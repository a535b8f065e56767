#pragma once
// Metric depth of a disparity map: Z = focal * baseline / (d + doffs), in
// the unit of the calibration's baseline (Middlebury: mm, KITTI: m).
#include <opencv2/core.hpp>

#include "platform/Expected.h"
#include "postprocess/CameraCalibration.h"

namespace orbelt {

// Depth per pixel of `disparity` (CV_32FC1, pixels, non-finite = unknown)
// as CV_32FC1 of the same size, +inf where the disparity is unknown or
// d + doffs <= 0, the convention of a .pfm map. Fails with InvalidInput when
// the map is empty or not CV_32FC1, or the calibration fails its check().
Expected<cv::Mat> depthFromDisparity(const cv::Mat& disparity, const CameraCalibration& calibration);

}  // namespace orbelt
