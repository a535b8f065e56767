#include "postprocess/DisplayGrey.h"

#include <string>

namespace orbelt {

Expected<cv::Mat> renderDisplayMap(const std::vector<int>& labels, int width, int height, int baseDisparity,
                                   int displayLevel) {
  if (width < 0 || height < 0 || labels.size() != static_cast<std::size_t>(width) * height) {
    return invalidInput("a " + std::to_string(width) + " x " + std::to_string(height) + " display map needs " +
                        std::to_string(static_cast<long long>(width) * height) + " labels, but has " +
                        std::to_string(labels.size()));
  }
  cv::Mat map(height, width, CV_8UC1);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = map.ptr<std::uint8_t>(y);
    const int* in = labels.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) row[x] = displayGrey(in[x], baseDisparity, displayLevel);
  }
  return map;
}

Expected<cv::Mat> disparityFromGrey(const cv::Mat& grey, int displayLevel, int baseDisparity) {
  if (grey.type() != CV_8UC1) return invalidInput("display map must be 8-bit grey");
  if (displayLevel <= 0) {
    return invalidInput("display level must be positive, but is " + std::to_string(displayLevel));
  }
  const double base = baseDisparity < 0 ? baseDisparity : 0;
  cv::Mat disparity(grey.size(), CV_32FC1);
  for (int y = 0; y < grey.rows; ++y) {
    const std::uint8_t* in = grey.ptr<std::uint8_t>(y);
    float* out = disparity.ptr<float>(y);
    for (int x = 0; x < grey.cols; ++x) out[x] = static_cast<float>(static_cast<double>(in[x]) / displayLevel + base);
  }
  return disparity;
}

}  // namespace orbelt
