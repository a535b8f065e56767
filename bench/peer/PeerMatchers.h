#pragma once
// The OpenCV matchers Orbelt is compared with, each with the settings the
// comparison uses, returning float disparities (CV_32FC1, pixels; +inf where
// the matcher gave no answer) for the left view.
//
// The settings were chosen once and are used for every set and condition:
// plain StereoSGBM keeps the settings of the first comparison; the census
// matcher and the WLS filter were tuned on Teddy's original pair (bad > 1 px
// over nonocc, holes counted as bad) by a grid search over the parameters
// named below, and nowhere else.
#include <opencv2/core.hpp>

namespace orbelt {

// numDisparities for a set's label count: the matchers need a multiple of 16.
int peerDisparityCount(int labelCount);

// StereoSGBM on the colour views: blockSize 5, P1 8*3*5^2, P2 32*3*5^2,
// MODE_SGBM, the rest at OpenCV's defaults. It leaves the leftmost
// numDisparities columns (and the pixels it rejects) unknown.
cv::Mat runOpencvSgbm(const cv::Mat& left, const cv::Mat& right, int labelCount);

// cv::stereo::StereoBinarySGBM on the grey views with the centre-symmetric
// census kernel (CV_CS_CENSUS), blockSize (= census window) 3, P1 3, P2 60,
// uniquenessRatio 0, no left-right check (disp12MaxDiff -1), no prefilter,
// no speckle filter, quadratic sub-pixel interpolation, MODE_SGBM.
// Tried on Teddy: kernels dense, sparse, CS, modified CS, modified census,
// mean variation, star; blockSize 3..9; P1 3..100; P2 10..80 x P1;
// uniquenessRatio 0, 5, 15; disp12MaxDiff -1 and 1.
cv::Mat runCensusSgm(const cv::Mat& left, const cv::Mat& right, int labelCount);

// The StereoSGBM above for the left view, ximgproc::createRightMatcher for
// the right view, and ximgproc's DisparityWLSFilter guided by the left view:
// lambda 2000, sigmaColor 2.0, LRCthresh 24, the filter's own region of
// interest (it leaves the band without a left-view match unknown).
// Tried on Teddy: lambda 2000..32000, sigmaColor 0.5..2.0, LRCthresh 24 and
// 64, the whole view as region of interest.
cv::Mat runSgbmWls(const cv::Mat& left, const cv::Mat& right, int labelCount);

}  // namespace orbelt
