#pragma once
// Portable float maps (.pfm), the format ground-truth disparity maps of
// stereo benchmarks come in: a text header ("Pf" for one channel, "PF" for
// three; width height; a scale whose sign gives the byte order, negative =
// little-endian) followed by 32-bit floats, rows stored bottom to top.
#include <string>

#include <opencv2/core.hpp>

namespace orbelt {

// Writes a one-channel 32-bit float image (CV_32FC1) as a little-endian "Pf"
// map with scale -1, atomically (see writeFileAtomically). Empty on success,
// otherwise a message naming the path and the reason.
std::string writePfm(const std::string& path, const cv::Mat& map);

// Reads a "Pf" map, or the first channel of a "PF" map, into `map` as
// CV_32FC1 with row 0 at the top, in either byte order. Empty on success;
// otherwise `map` is empty and the message names the path and what is wrong
// (missing file, bad header, truncated data). Never reads past the data the
// header announces.
std::string readPfm(const std::string& path, cv::Mat& map);

}  // namespace orbelt
