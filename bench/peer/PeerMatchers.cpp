#include "bench/peer/PeerMatchers.h"

#include <limits>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/stereo.hpp>
#include <opencv2/ximgproc/disparity_filter.hpp>

namespace orbelt {

namespace {

constexpr int kSgbmBlock = 5;

cv::Ptr<cv::StereoSGBM> createSgbm(int labelCount) {
  auto sgbm = cv::StereoSGBM::create(0, peerDisparityCount(labelCount), kSgbmBlock, 8 * 3 * kSgbmBlock * kSgbmBlock,
                                     32 * 3 * kSgbmBlock * kSgbmBlock);
  sgbm->setMode(cv::StereoSGBM::MODE_SGBM);
  return sgbm;
}

// The matchers' 16-step fixed point; values below disparity 0 (the minimum)
// mark pixels the matcher gave up on.
cv::Mat fromFixedPoint(const cv::Mat& fixed) {
  cv::Mat disparity(fixed.size(), CV_32FC1);
  for (int y = 0; y < fixed.rows; ++y) {
    const short* in = fixed.ptr<short>(y);
    float* out = disparity.ptr<float>(y);
    for (int x = 0; x < fixed.cols; ++x) out[x] = in[x] < 0 ? std::numeric_limits<float>::infinity() : in[x] / 16.0f;
  }
  return disparity;
}

cv::Mat grey(const cv::Mat& bgr) {
  cv::Mat out;
  cv::cvtColor(bgr, out, cv::COLOR_BGR2GRAY);
  return out;
}

}  // namespace

int peerDisparityCount(int labelCount) { return (labelCount + 15) / 16 * 16; }

cv::Mat runOpencvSgbm(const cv::Mat& left, const cv::Mat& right, int labelCount) {
  cv::Mat fixed;
  createSgbm(labelCount)->compute(left, right, fixed);
  return fromFixedPoint(fixed);
}

cv::Mat runCensusSgm(const cv::Mat& left, const cv::Mat& right, int labelCount) {
  const int block = 3, p1 = 3, p2 = 60, disp12MaxDiff = -1, preFilterCap = 0, uniqueness = 0, speckleWindow = 0,
            speckleRange = 0;
  auto census = cv::stereo::StereoBinarySGBM::create(0, peerDisparityCount(labelCount), block, p1, p2, disp12MaxDiff,
                                                     preFilterCap, uniqueness, speckleWindow, speckleRange,
                                                     cv::stereo::StereoBinarySGBM::MODE_SGBM);
  census->setBinaryKernelType(cv::stereo::CV_CS_CENSUS);
  census->setSubPixelInterpolationMethod(cv::stereo::CV_QUADRATIC_INTERPOLATION);
  cv::Mat fixed;
  census->compute(grey(left), grey(right), fixed);
  return fromFixedPoint(fixed);
}

cv::Mat runSgbmWls(const cv::Mat& left, const cv::Mat& right, int labelCount) {
  const cv::Ptr<cv::StereoSGBM> leftMatcher = createSgbm(labelCount);
  const cv::Ptr<cv::StereoMatcher> rightMatcher = cv::ximgproc::createRightMatcher(leftMatcher);
  cv::Mat leftFixed, rightFixed, filtered;
  leftMatcher->compute(left, right, leftFixed);
  rightMatcher->compute(right, left, rightFixed);
  auto wls = cv::ximgproc::createDisparityWLSFilter(leftMatcher);
  wls->setLambda(2000.0);
  wls->setSigmaColor(2.0);
  wls->setLRCthresh(24);
  wls->filter(leftFixed, left, filtered, rightFixed);
  return fromFixedPoint(filtered);
}

}  // namespace orbelt
