#pragma once
// Labels to disparities: the optimizer's labels 0..range-1 stand for the
// disparities base .. base + range - 1, in pixels.
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

// Float disparities in pixels (CV_32FC1, Middlebury's convention) of a
// row-major labelling of width x height: base + label, plus the pixel's
// sub-pixel offset when `offsets` is given, and +inf (unknown) where
// `consistent` is given and holds 0. Fails with InvalidInput when a size is
// negative or the labels or an optional array do not have width*height
// entries.
Expected<cv::Mat> floatDisparity(const std::vector<int>& labels, int width, int height, int baseDisparity,
                                 const std::vector<float>* offsets = nullptr,
                                 const std::vector<std::uint8_t>* consistent = nullptr);

}  // namespace orbelt
