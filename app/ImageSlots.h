#pragma once
// The reference and target image slots the dialog owns and its run
// consumes. An empty cv::Mat is an empty slot.
#include <opencv2/core.hpp>

namespace orbelt {

struct ImageSlots {
  cv::Mat refImage;     // reference (left) image, as stored on disk (imread UNCHANGED)
  cv::Mat targetImage;  // target (right) image, likewise
};

}  // namespace orbelt
