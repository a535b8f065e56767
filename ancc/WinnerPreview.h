#pragma once
// The winner-take-all reading of a cost volume: each pixel's cheapest label,
// drawn as a grey value.
#include <opencv2/core.hpp>

#include "ancc/CostVolume.h"

namespace orbelt {

// The label with the smallest of `count` costs, scanning upwards from the
// largest finite float and taking only a strictly smaller cost: ties go to
// the lowest label, and 0 when there are no labels (or only NaN/inf costs).
int winnerLabel(const float* costs, int count);

// Writes displayGrey(winnerLabel) (postprocess/DisplayGrey.h) into rows
// 1..height-2 and columns 1..width-2 of `preview` (CV_8UC1, the volume's
// size); the outermost rows and columns are left as they were. Returns false, writing nothing, when
// the preview is not CV_8UC1 of the volume's size.
bool renderPreview(const CostVolume& volume, cv::Mat& preview, int baseDisparity, int displayLevel);

}  // namespace orbelt
