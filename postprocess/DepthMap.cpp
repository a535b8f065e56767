#include "postprocess/DepthMap.h"

namespace orbelt {

Expected<cv::Mat> depthFromDisparity(const cv::Mat& disparity, const CameraCalibration& calibration) {
  if (disparity.empty() || disparity.type() != CV_32FC1) {
    return invalidInput("A depth map needs a disparity map of one 32-bit float channel");
  }
  if (Status checked = calibration.check(); !checked) return std::move(checked).error();
  cv::Mat depth(disparity.size(), CV_32FC1);
  for (int y = 0; y < disparity.rows; ++y) {
    const float* in = disparity.ptr<float>(y);
    float* out = depth.ptr<float>(y);
    for (int x = 0; x < disparity.cols; ++x) out[x] = static_cast<float>(calibration.depthOf(in[x]));
  }
  return depth;
}

}  // namespace orbelt
