#pragma once
// Portable float maps (.pfm), the format ground-truth disparity maps of
// stereo benchmarks come in: a text header ("Pf" for one channel, "PF" for
// three; width height; a scale whose sign gives the byte order, negative =
// little-endian) followed by 32-bit floats, rows stored bottom to top.
#include <string>

#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

// Writes a one-channel 32-bit float image (CV_32FC1) as a little-endian "Pf"
// map with scale -1, atomically (see writeFileAtomically). Fails with
// InvalidInput for another image type and IoFailure when the file cannot be
// written; the message names the path and the reason.
Status writePfm(const std::string& path, const cv::Mat& map);

// Reads a "Pf" map, or the first channel of a "PF" map, as CV_32FC1 with
// row 0 at the top, in either byte order. Fails with IoFailure when the file
// cannot be read and InvalidInput when its content is not a whole PFM (bad
// header, truncated data); the message names the path and what is wrong.
// Never reads past the data the header announces.
Expected<cv::Mat> readPfm(const std::string& path);

}  // namespace orbelt
