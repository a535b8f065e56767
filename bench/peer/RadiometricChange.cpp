#include "bench/peer/RadiometricChange.h"

#include <cmath>

namespace orbelt {

namespace {

cv::Mat perChannel(const cv::Mat& bgr, double b, double g, double r) {
  cv::Mat out;
  bgr.convertTo(out, CV_32FC3);
  out = out.mul(cv::Scalar(b, g, r));
  cv::Mat result;
  out.convertTo(result, CV_8UC3);  // rounds and saturates
  return result;
}

}  // namespace

cv::Mat applyGain(const cv::Mat& bgr, double gain) { return perChannel(bgr, gain, gain, gain); }

cv::Mat applyGamma(const cv::Mat& bgr, double gamma) {
  cv::Mat table(1, 256, CV_8UC1);
  for (int v = 0; v < 256; ++v) table.at<uchar>(v) = cv::saturate_cast<uchar>(255.0 * std::pow(v / 255.0, gamma));
  cv::Mat out;
  cv::LUT(bgr, table, out);
  return out;
}

cv::Mat applyColorCast(const cv::Mat& bgr) { return perChannel(bgr, 0.8, 1.0, 1.2); }

cv::Mat applyVignetting(const cv::Mat& bgr) {
  // A lens of focal length f darkens a pixel at distance r from the centre by
  // cos^4(atan(r / f)); f is chosen so the corners keep 60 %.
  const double cx = (bgr.cols - 1) / 2.0, cy = (bgr.rows - 1) / 2.0;
  const double corner = std::hypot(cx, cy);
  const double f = corner / std::tan(std::acos(std::pow(0.6, 0.25)));
  cv::Mat out(bgr.size(), CV_8UC3);
  for (int y = 0; y < bgr.rows; ++y) {
    for (int x = 0; x < bgr.cols; ++x) {
      const double c = std::cos(std::atan(std::hypot(x - cx, y - cy) / f));
      const double k = c * c * c * c;
      const cv::Vec3b v = bgr.at<cv::Vec3b>(y, x);
      out.at<cv::Vec3b>(y, x) = cv::Vec3b(cv::saturate_cast<uchar>(v[0] * k), cv::saturate_cast<uchar>(v[1] * k),
                                          cv::saturate_cast<uchar>(v[2] * k));
    }
  }
  return out;
}

const std::vector<RadiometricChange>& radiometricChanges() {
  static const std::vector<RadiometricChange> changes = {
      {"original", "the pair as published", [](const cv::Mat& m) { return m.clone(); }},
      {"gain0.5", "exposure gain 0.5", [](const cv::Mat& m) { return applyGain(m, 0.5); }},
      {"gain1.5", "exposure gain 1.5, clipped", [](const cv::Mat& m) { return applyGain(m, 1.5); }},
      {"gamma0.6", "gamma 0.6", [](const cv::Mat& m) { return applyGamma(m, 0.6); }},
      {"gamma1.6", "gamma 1.6", [](const cv::Mat& m) { return applyGamma(m, 1.6); }},
      {"cast", "colour cast R x1.2, G x1.0, B x0.8", [](const cv::Mat& m) { return applyColorCast(m); }},
      {"vignette", "cos^4 vignetting, 60 % in the corners", [](const cv::Mat& m) { return applyVignetting(m); }},
      {"combined", "gamma 1.6, gain 1.5, colour cast and vignetting",
       [](const cv::Mat& m) { return applyVignetting(applyColorCast(applyGain(applyGamma(m, 1.6), 1.5))); }},
  };
  return changes;
}

}  // namespace orbelt
