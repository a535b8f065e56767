#pragma once
// The images a run can write besides the dialog's grey display map and the
// float map: a 16-bit PNG, a colour-mapped picture with a legend, and a
// confidence image of the left-right check.
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

// Whether disparities base .. base + labelCount - 1 (plus half a pixel of
// sub-pixel offset) fit a 16-bit PNG of disparity x 256: negative
// disparities have no code, and the largest must stay below 256. Fails with
// InvalidInput saying which limit the range breaks.
Status checkPng16Range(int baseDisparity, int labelCount);

// CV_16UC1: round(d x 256) for finite d, 0 for unknown. A known disparity
// that would round to 0 (d < 1/512) is stored as 1, so it does not read back
// as unknown; negative or too large values are clamped to 1 and 65535
// (callers refuse those ranges first with checkPng16Range).
cv::Mat encodeDisparityPng16(const cv::Mat& disparity);

// The inverse, for maps and truths stored that way (KITTI's convention):
// CV_32FC1 of value / 256, +inf where the value is 0. `stored` is CV_16UC1.
cv::Mat decodeDisparityPng16(const cv::Mat& stored);

// A colour picture of `disparity` (CV_32FC1) for looking at: the viridis
// perceptual map from dark blue (minDisparity) to yellow (maxDisparity),
// unknown pixels black, and below it a legend strip with the colour ramp and
// the two end values. CV_8UC3 (BGR), width x (height + legend).
cv::Mat renderColorMap(const cv::Mat& disparity, double minDisparity, double maxDisparity);

// The confidence image of a left-right check: 8-bit grey, 255 where the
// pixel passed and 0 where it failed (a binary mask, ready to use as one).
// Fails with InvalidInput when `consistent` is not width x height.
Expected<cv::Mat> renderConfidence(const std::vector<std::uint8_t>& consistent, int width, int height);

}  // namespace orbelt
