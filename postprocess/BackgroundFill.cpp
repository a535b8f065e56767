#include "postprocess/BackgroundFill.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace orbelt {

Expected<BackgroundFillSummary> fillFromBackground(cv::Mat& disparity) {
  if (disparity.empty() || disparity.type() != CV_32FC1) {
    return invalidInput(
        "The background fill needs a one-channel float disparity map, not " +
        (disparity.empty() ? std::string("an empty one") : "type " + cv::typeToString(disparity.type())));
  }
  BackgroundFillSummary summary;
  for (int y = 0; y < disparity.rows; ++y) {
    float* row = disparity.ptr<float>(y);
    const int width = disparity.cols;
    // Walk the row once, remembering the last known value; each run of
    // unknown pixels is filled when the known pixel that ends it is reached.
    int runStart = -1;
    float before = 0.f;
    bool haveBefore = false;
    for (int x = 0; x <= width; ++x) {
      const bool known = x < width && std::isfinite(row[x]);
      if (x < width && !known) {
        if (runStart < 0) runStart = x;
        continue;
      }
      if (runStart >= 0) {
        const bool haveAfter = x < width;
        if (haveBefore || haveAfter) {
          const float value = haveBefore && haveAfter ? std::min(before, row[x]) : haveBefore ? before : row[x];
          std::fill(row + runStart, row + x, value);
          summary.filled += static_cast<std::size_t>(x - runStart);
        } else {
          summary.unknown += static_cast<std::size_t>(x - runStart);
        }
        runStart = -1;
      }
      if (known) {
        before = row[x];
        haveBefore = true;
      }
    }
  }
  return summary;
}

}  // namespace orbelt
