#pragma once
// Single-channel PFM files as the Middlebury evaluation uses them: the text
// header "Pf", then "width height", then a scale whose sign gives the byte
// order (negative = little endian), then width x height 32-bit floats with
// the bottom row first. Infinity marks an unknown value.
#include <string>

#include <opencv2/core.hpp>

namespace orbelt {

// Reads a "Pf" file into a CV_32FC1 image with row 0 at the top. On failure
// returns an empty image and sets `error` to a message naming the file and
// what is wrong (unreadable, not "Pf", bad size, short data).
cv::Mat readPfm(const std::string& path, std::string& error);

// Writes a CV_32FC1 image as a little-endian "Pf" file, through a temporary
// file and a rename so an existing file is never left half-written. Empty
// on success, otherwise a message naming the path and the reason.
std::string writePfm(const std::string& path, const cv::Mat& image);

}  // namespace orbelt
