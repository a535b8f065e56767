#pragma once
// The small synthetic pair the front ends' tests feed Orbelt.
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace orbelt::testing {

// Writes a textured left view to `leftPath` and to `rightPath` a right view
// that sees it `shift` columns to the left (x_right = x_left - shift), so the
// true disparity is `shift` wherever the point is visible. The texture is
// seeded: the same call writes the same files.
inline void writeShiftedPairFiles(const std::string& leftPath, const std::string& rightPath, int width, int height,
                                  int shift) {
  cv::Mat l(height, width, CV_8UC3);
  cv::Mat r(height, width, CV_8UC3);
  cv::RNG rng(42);
  rng.fill(l, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
  rng.fill(r, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
  l(cv::Rect(shift, 0, width - shift, height)).copyTo(r(cv::Rect(0, 0, width - shift, height)));
  ASSERT_TRUE(cv::imwrite(leftPath, l)) << leftPath;
  ASSERT_TRUE(cv::imwrite(rightPath, r)) << rightPath;
}

}  // namespace orbelt::testing
