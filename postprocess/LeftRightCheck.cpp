#include "postprocess/LeftRightCheck.h"

#include <cmath>
#include <limits>
#include <string>

namespace orbelt {

namespace {

// Whether `count` labels are a width x height labelling.
Status checkLabelCount(std::size_t count, int width, int height, const char* what) {
  if (width >= 0 && height >= 0 && count == static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return {};
  }
  return invalidInput(std::string(what) + " has " + std::to_string(count) + " labels, not " + std::to_string(width) +
                      " x " + std::to_string(height));
}

}  // namespace

MirroredPair mirroredPairForRightView(const cv::Mat& left, const cv::Mat& right) {
  MirroredPair pair;
  cv::flip(right, pair.reference, 1);
  cv::flip(left, pair.target, 1);
  return pair;
}

Expected<std::vector<int>> mirrorLabels(const std::vector<int>& labels, int width, int height) {
  if (Status fits = checkLabelCount(labels.size(), width, height, "The labelling to mirror"); !fits) {
    return std::move(fits).error();
  }
  std::vector<int> mirrored(labels.size());
  for (int y = 0; y < height; ++y) {
    const int* in = labels.data() + static_cast<std::size_t>(y) * width;
    int* out = mirrored.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) out[x] = in[width - 1 - x];
  }
  return mirrored;
}

Expected<LeftRightConsistency> checkLeftRight(const std::vector<int>& leftLabels, const std::vector<int>& rightLabels,
                                              int width, int height, int baseDisparity, double threshold) {
  if (Status fits = checkLabelCount(leftLabels.size(), width, height, "The left view's labelling"); !fits) {
    return std::move(fits).error();
  }
  if (Status fits = checkLabelCount(rightLabels.size(), width, height, "The right view's labelling"); !fits) {
    return std::move(fits).error();
  }
  LeftRightConsistency result;
  const std::size_t count = static_cast<std::size_t>(width) * height;
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
