#pragma once
// The grey display map of a labelling, and reading disparities back from one.
//
// The rule: grey = ((label + base) * level) mod 256, or (label * level) mod
// 256 when base < 0. The wrap at 256 is part of the rule (the low 8 bits of
// the product, as an 8-bit display keeps them), not an overflow to guard
// against; a negative base is left out of the picture.
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

// The grey value of one label. Only the low 8 bits of the sum and of the
// level act, so any int is accepted and the result never overflows.
inline std::uint8_t displayGrey(int label, int baseDisparity, int displayLevel) {
  // Unsigned arithmetic keeps exactly the low 8 bits without signed overflow.
  const std::uint32_t base = baseDisparity >= 0 ? static_cast<std::uint32_t>(baseDisparity) : 0u;
  return static_cast<std::uint8_t>(
      ((static_cast<std::uint32_t>(label) + base) * static_cast<std::uint32_t>(displayLevel)) & 0xFFu);
}

// The display map of a row-major labelling of width x height: CV_8UC1 with
// displayGrey of each label. Fails with InvalidInput when labels.size() !=
// width * height (or a size is negative).
Expected<cv::Mat> renderDisplayMap(const std::vector<int>& labels, int width, int height, int baseDisparity,
                                   int displayLevel);

// The inverse for grey values that did not wrap: disparity = grey / level,
// plus the base only when it is negative (a non-negative base is already in
// the grey value). CV_32FC1 of the map's size. Fails with InvalidInput when
// the map is not 8-bit single-channel ("display map must be 8-bit grey") or
// the level is not positive ("display level must be positive, but is N").
Expected<cv::Mat> disparityFromGrey(const cv::Mat& grey, int displayLevel, int baseDisparity);

}  // namespace orbelt
