#include "postprocess/PointCloud.h"

#include <cmath>

namespace orbelt {

Expected<PointCloud> pointCloudFromDisparity(const cv::Mat& disparity, const cv::Mat& left,
                                             const CameraCalibration& calibration) {
  if (disparity.empty() || disparity.type() != CV_32FC1) {
    return invalidInput("A point cloud needs a disparity map of one 32-bit float channel");
  }
  if (left.type() != CV_8UC3 || left.size() != disparity.size()) {
    return invalidInput("A point cloud needs the left view as 8-bit colour of the map's size (" +
                        std::to_string(disparity.cols) + " x " + std::to_string(disparity.rows) + ")");
  }
  if (Status checked = calibration.check(); !checked) return std::move(checked).error();
  PointCloud cloud;
  for (int y = 0; y < disparity.rows; ++y) {
    const float* d = disparity.ptr<float>(y);
    const cv::Vec3b* bgr = left.ptr<cv::Vec3b>(y);
    for (int x = 0; x < disparity.cols; ++x) {
      const double z = calibration.depthOf(d[x]);
      if (!std::isfinite(z)) continue;
      const double scale = z / calibration.focal;
      cloud.points.emplace_back(static_cast<float>((x - calibration.cx) * scale),
                                static_cast<float>((y - calibration.cy) * scale), static_cast<float>(z));
      cloud.colors.emplace_back(bgr[x][2], bgr[x][1], bgr[x][0]);
    }
  }
  return cloud;
}

}  // namespace orbelt
