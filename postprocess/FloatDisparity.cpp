#include "postprocess/FloatDisparity.h"

#include <algorithm>
#include <limits>
#include <string>

namespace orbelt {

Expected<cv::Mat> floatDisparity(const std::vector<int>& labels, int width, int height, int baseDisparity,
                                 const std::vector<float>* offsets, const std::vector<std::uint8_t>* consistent) {
  const std::size_t count = static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0);
  if (width < 0 || height < 0 || labels.size() != count || (offsets && offsets->size() != count) ||
      (consistent && consistent->size() != count)) {
    return invalidInput("a " + std::to_string(width) + " x " + std::to_string(height) + " map needs " +
                        std::to_string(count) + " labels (and as many offsets and check results), but has " +
                        std::to_string(labels.size()) + " labels");
  }
  cv::Mat disparity(height, width, CV_32FC1);
  for (int y = 0; y < height; ++y) {
    float* row = disparity.ptr<float>(y);
    for (int x = 0; x < width; ++x) {
      const std::size_t p = static_cast<std::size_t>(y) * width + x;
      if (consistent && !(*consistent)[p]) {
        row[x] = std::numeric_limits<float>::infinity();
        continue;
      }
      // In double: base + label stays exact for any int base before the one
      // rounding to float.
      const double d = static_cast<double>(baseDisparity) + labels[p] + (offsets ? (*offsets)[p] : 0.0f);
      row[x] = static_cast<float>(d);
    }
  }
  return disparity;
}

}  // namespace orbelt
