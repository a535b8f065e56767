#pragma once
// Radiometric changes applied to the right view of a pair, to see how much a
// matcher's result suffers when the two cameras do not agree on brightness
// and colour. Every change maps an 8-bit BGR image to an 8-bit BGR image of
// the same size, clipping at 0 and 255.
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace orbelt {

struct RadiometricChange {
  std::string name;         // short name used on the command line and in tables
  std::string description;  // what it does, for the table's legend
  cv::Mat (*apply)(const cv::Mat& bgr);
};

// original, gain0.5, gain1.5, gamma0.6, gamma1.6, cast, vignette, combined.
// "combined" is gamma 1.6, then gain 1.5 (clipped), then the colour cast,
// then the vignetting.
const std::vector<RadiometricChange>& radiometricChanges();

// The single steps, exposed so they can be checked on their own.
cv::Mat applyGain(const cv::Mat& bgr, double gain);    // v * gain, clipped
cv::Mat applyGamma(const cv::Mat& bgr, double gamma);  // 255 * (v / 255)^gamma
cv::Mat applyColorCast(const cv::Mat& bgr);            // R x1.2, G x1.0, B x0.8, clipped
cv::Mat applyVignetting(const cv::Mat& bgr);           // cos^4 fall-off, 60 % in the corners

}  // namespace orbelt
