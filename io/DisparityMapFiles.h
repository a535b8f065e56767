#pragma once
// Reading the maps an evaluation compares: a result in any of the forms
// Orbelt writes, a ground truth, and a mask.
#include <optional>
#include <string>

#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

// How an 8-bit grey display map encodes disparities (see disparityFromGrey).
struct GreyEncoding {
  int displayLevel = 3;   // grey value per pixel of disparity (low 8 bits act). Default 3
  int baseDisparity = 0;  // disparity of label 0, pixels. Default 0
};

// Reads a result map as CV_32FC1 disparities in pixels, non-finite = unknown:
//  - .pfm: float disparities (inf = unknown), as written;
//  - a 16-bit grey image (PNG): value / 256, 0 = unknown;
//  - an 8-bit grey image (BMP, PNG): decoded with `grey`, which is then
//    required (the display scaling is not stored in the file).
// Fails with IoFailure when the file cannot be read and InvalidInput when it
// holds no map of these forms (or an 8-bit map comes without `grey`); the
// message names the path and what is wrong.
Expected<cv::Mat> readDisparityMap(const std::string& path, const std::optional<GreyEncoding>& grey);

// Reads a ground truth: a .pfm float map (kept as CV_32FC1, non-finite =
// unknown) or an 8/16-bit single-channel image kept as stored (0 = unknown;
// divide by the set's scale). Fails as readDisparityMap does.
Expected<cv::Mat> readGroundTruth(const std::string& path);

// Reads a mask as 8-bit grey (palette and 1/2-bit PNGs included); 255 keeps
// a pixel. Fails with IoFailure when the file is missing or not an image.
Expected<cv::Mat> readMask(const std::string& path);

}  // namespace orbelt
