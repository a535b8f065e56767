#pragma once
// Pictures that tell themselves apart: random pixels with a first row that
// names them, so a test sees which image (and which way round) reached an
// engine.
#include <opencv2/core.hpp>

namespace orbelt::testing {

// A width x height picture of `channels` channels of `depth`, every pixel
// random, the first row all `seed`.
inline cv::Mat patterned(int width, int height, int seed, int channels = 3, int depth = CV_8U) {
  cv::Mat image(height, width, CV_MAKETYPE(depth, channels));
  cv::randu(image, cv::Scalar::all(0), cv::Scalar::all(depth == CV_8U ? 256 : 65536));
  image.row(0).setTo(cv::Scalar::all(seed));
  return image;
}

// Whether two images have the same size, type and pixels.
inline bool sameImage(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

}  // namespace orbelt::testing
