#include "postprocess/LeftRightCheck.h"

#include <cmath>
#include <limits>

namespace orbelt {

MirroredPair mirroredPairForRightView(const cv::Mat& left, const cv::Mat& right) {
  MirroredPair pair;
  cv::flip(right, pair.reference, 1);
  cv::flip(left, pair.target, 1);
  return pair;
}

std::vector<int> mirrorLabels(const std::vector<int>& labels, int width, int height) {
  if (width < 0 || height < 0 || labels.size() != static_cast<std::size_t>(width) * height) return {};
  std::vector<int> mirrored(labels.size());
  for (int y = 0; y < height; ++y) {
    const int* in = labels.data() + static_cast<std::size_t>(y) * width;
    int* out = mirrored.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) out[x] = in[width - 1 - x];
  }
  return mirrored;
}

LeftRightConsistency checkLeftRight(const std::vector<int>& leftLabels, const std::vector<int>& rightLabels, int width,
                                    int height, int baseDisparity, double threshold) {
  LeftRightConsistency result;
  const std::size_t count = static_cast<std::size_t>(width) * height;
  if (width < 0 || height < 0 || leftLabels.size() != count || rightLabels.size() != count) return result;
  result.consistent.assign(count, 0);
  result.difference.assign(count, std::numeric_limits<float>::infinity());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t p = static_cast<std::size_t>(y) * width + x;
      // 64 bits: base + label and x - d stay exact for any accepted base.
      const std::int64_t d = static_cast<std::int64_t>(baseDisparity) + leftLabels[p];
      const std::int64_t xr = x - d;
      if (xr < 0 || xr >= width) continue;
      const std::int64_t dr = static_cast<std::int64_t>(baseDisparity) + rightLabels[p - x + xr];
      const double difference = std::abs(static_cast<double>(d - dr));
      result.difference[p] = static_cast<float>(difference);
      if (difference <= threshold) {
        result.consistent[p] = 1;
        ++result.passed;
      }
    }
  }
  return result;
}

}  // namespace orbelt
