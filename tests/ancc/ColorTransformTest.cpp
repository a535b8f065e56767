// The three signals of an image: raw colour, log-chromaticity, Lab guide.
#include "ancc/ColorTransform.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

namespace orbelt {
namespace {

TEST(ColorTransform, LogChromaticityOfKnownPixels) {
  struct Case {
    const char* name;
    cv::Vec3b bgr;
    double expected[3];
  };
  // Offsets 3, 2, 1 make equal channels differ: grey is not (0, 0, 0).
  const Case cases[] = {
      {"black", {0, 0, 0}, {50.136, 9.589, -59.725}},
      {"white", {255, 255, 255}, {0.389, 0.0005, -0.389}},
      {"mid grey", {128, 128, 128}, {0.768, 0.002, -0.770}},
      {"pure red", {0, 0, 255}, {-134.703, -175.250, 309.953}},
      {"(10, 20, 30)", {10, 20, 30}, {-46.504, 6.105, 40.399}},
  };
  for (const Case& c : cases) {
    const cv::Mat image(1, 1, CV_8UC3, cv::Scalar(c.bgr[0], c.bgr[1], c.bgr[2]));
    const ImageSignals s = computeImageSignals(image);
    double sum = 0;
    for (int ch = 0; ch < 3; ++ch) {
      EXPECT_NEAR(s.logChrom.at(0, 0, ch), c.expected[ch], 1e-3) << c.name << " channel " << ch;
      EXPECT_EQ(s.color.at(0, 0, ch), c.bgr[ch]) << c.name << ": colour is held without offsets";
      sum += s.logChrom.at(0, 0, ch);
    }
    EXPECT_NEAR(sum, 0.0, 1e-4) << c.name;
  }
}

// Cell (x, y) holds column x of row y, also when the image is not square,
// and the guide is OpenCV's 8-bit Lab encoding of the pixel.
TEST(ColorTransform, CellsFollowColumnsAndRows) {
  cv::Mat image(3, 5, CV_8UC3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) image.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(10 * x), uchar(50 * y), uchar(x + y));
  cv::Mat lab;
  cv::cvtColor(image, lab, cv::COLOR_BGR2Lab);
  const ImageSignals s = computeImageSignals(image);
  ASSERT_EQ(s.color.width(), 5);
  ASSERT_EQ(s.color.height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(s.color.at(x, y, c), image.at<cv::Vec3b>(y, x)[c]);
        EXPECT_EQ(s.guide.at(x, y, c), lab.at<cv::Vec3b>(y, x)[c]);
        EXPECT_EQ(s.color.row(c, y)[x], s.color.at(x, y, c));
      }
}

}  // namespace
}  // namespace orbelt
