#pragma once
// The left-right consistency check: a disparity is trusted when the map
// computed with the right view as reference sends the matched right pixel
// back to (nearly) the same disparity. Pixels that fail are mostly
// occlusions and mismatches.
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

// The pair to run for the right view's map: both views mirrored left to
// right and swapped. Mirroring turns x_left = x_right + d into
// x'_left = x'_right - d, so the usual pipeline (target column = reference
// column - d, d >= base) computes the right view's disparities unchanged.
struct MirroredPair {
  cv::Mat reference;  // the right view, mirrored
  cv::Mat target;     // the left view, mirrored
};
MirroredPair mirroredPairForRightView(const cv::Mat& left, const cv::Mat& right);

// Mirrors a row-major labelling (width x height) left to right: the labels
// of the mirrored run become the right view's labels at their own columns.
// Fails with InvalidInput when the labels are not width x height.
Expected<std::vector<int>> mirrorLabels(const std::vector<int>& labels, int width, int height);

struct LeftRightConsistency {
  std::vector<std::uint8_t> consistent;  // per left pixel: 1 when it passes, 0 when not
  std::vector<float> difference;         // |d_left - d_right| per left pixel; +inf when x - d leaves the image
  std::size_t passed = 0;                // number of consistent pixels
};

// Compares each left pixel x (disparity d = base + leftLabels) with the
// right map's disparity at column x - d (base + rightLabels there); the pixel
// passes when |difference| <= threshold. A match outside the right view
// fails. Both labellings are row-major width x height; otherwise
// InvalidInput.
Expected<LeftRightConsistency> checkLeftRight(const std::vector<int>& leftLabels, const std::vector<int>& rightLabels,
                                              int width, int height, int baseDisparity, double threshold);

}  // namespace orbelt
