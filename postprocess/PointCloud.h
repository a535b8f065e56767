#pragma once
// The 3-D points a disparity map and its calibration give, coloured from the
// left view: one point per pixel with a depth, in the baseline's unit, in
// the left camera's frame (x right, y down, z forward):
//   X = (x - cx) Z / focal,  Y = (y - cy) Z / focal,  Z = focal * baseline / (d + doffs)
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/Expected.h"
#include "postprocess/CameraCalibration.h"

namespace orbelt {

struct PointCloud {
  std::vector<cv::Vec3f> points;  // X, Y, Z of each point
  std::vector<cv::Vec3b> colors;  // red, green, blue of each point's left-view pixel (same count)
};

// One point per pixel of `disparity` (CV_32FC1, non-finite = unknown) whose
// disparity is known and d + doffs > 0, in row-major pixel order; none for
// the others. `left` is the left view as loaded (CV_8UC3, blue-green-red)
// and has the map's size. Fails with InvalidInput when the inputs do not fit
// that or the calibration fails its check().
Expected<PointCloud> pointCloudFromDisparity(const cv::Mat& disparity, const cv::Mat& left,
                                             const CameraCalibration& calibration);

}  // namespace orbelt
