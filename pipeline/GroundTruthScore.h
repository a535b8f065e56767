#pragma once
// How far a labelling is from a ground-truth disparity map: the share of bad
// pixels (off by more than a threshold) and the mean absolute error, the
// figures stereo benchmarks report.
#include <cstddef>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace orbelt {

struct GroundTruthScore {
  std::size_t scored = 0;    // pixels with a finite ground truth
  std::size_t bad = 0;       // of those, off by more than the threshold
  double meanAbsError = 0;   // mean |disparity - truth| over the scored pixels, pixels
  double badPercent() const { return scored == 0 ? 0.0 : 100.0 * static_cast<double>(bad) / scored; }
};

// Compares the disparities base + label of a row-major labelling (width x
// height) with `truth` (CV_32FC1 of the same size; non-finite entries mean
// "unknown" and are skipped). `error` receives why nothing could be scored
// (size mismatch, wrong type); the score is then empty.
GroundTruthScore scoreAgainstTruth(const std::vector<int>& labels, int width, int height, int baseDisparity,
                                   const cv::Mat& truth, float threshold, std::string* error = nullptr);

}  // namespace orbelt
