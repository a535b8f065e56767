#pragma once
// Small images for the matcher's tests.
#include <algorithm>
#include <cstdint>
#include <random>

#include <opencv2/core.hpp>

namespace orbelt::testing {

// A BGR image of independent random bytes: every channel varies in every
// window, so no correlation hits the constant-window guard by accident.
inline cv::Mat randomImage(int width, int height, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  cv::Mat image(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) image.at<cv::Vec3b>(y, x)[c] = static_cast<uchar>(byte(rng));
  return image;
}

// Random bytes that differ little between neighbours (steps of at most
// `step` per channel), so the Lab weights of a window are far from 0.
inline cv::Mat smoothRandomImage(int width, int height, std::uint32_t seed, int step = 3) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> delta(-step, step);
  cv::Mat image(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) {
        const int left = x > 0 ? image.at<cv::Vec3b>(y, x - 1)[c] : 128;
        const int up = y > 0 ? image.at<cv::Vec3b>(y - 1, x)[c] : left;
        image.at<cv::Vec3b>(y, x)[c] = cv::saturate_cast<uchar>((left + up) / 2 + delta(rng));
      }
  return image;
}

// Runs of 1 to 4 columns that are alternately random bytes and one flat
// colour, with one channel flat over the whole left part: windows cut at a
// border often have a common part that is constant in one or all channels
// while their whole window is not.
inline cv::Mat patchyImage(int width, int height, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255), run(1, 4);
  cv::Mat image(height, width, CV_8UC3);
  bool flat = false;
  for (int x = 0; x < width;) {
    const int end = std::min(width, x + run(rng));
    const cv::Vec3b colour(static_cast<uchar>(byte(rng)), static_cast<uchar>(byte(rng)), static_cast<uchar>(byte(rng)));
    for (; x < end; ++x)
      for (int y = 0; y < height; ++y)
        for (int c = 0; c < 3; ++c) image.at<cv::Vec3b>(y, x)[c] = flat ? colour[c] : static_cast<uchar>(byte(rng));
    flat = !flat;
  }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width / 3; ++x) image.at<cv::Vec3b>(y, x)[1] = 77;
  return image;
}

}  // namespace orbelt::testing
