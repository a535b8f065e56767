#pragma once
// Reading an input image as stored, and writing an image file so that an
// earlier file at the path is either replaced whole or left as it was.
#include <string>

#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

// Loads `path` as stored (cv::IMREAD_UNCHANGED: channels and depth kept).
// The message names the role ("reference" or "target") and the path, e.g.
//   Cannot read the reference image "data/Img0.png": file missing (No such file or directory)
// Fails with IoFailure when there is no file to read (no name, missing, a
// folder) and InvalidInput when the file is empty or not an image OpenCV
// can decode.
Expected<cv::Mat> loadInputImage(const std::string& path, const char* role);

// Writes `image` to `path` through a temporary file in the same folder and a
// rename (writeFileAtomically), so an earlier file is never left
// half-written and nothing is left behind on failure. The format follows the
// extension (.bmp, .png, ...). Fails with InvalidInput when the name has no
// extension or the image cannot be encoded in that format, and IoFailure
// when the file cannot be written; the message names the path and the reason.
Status saveImageAtomically(const std::string& path, const cv::Mat& image);

}  // namespace orbelt
