#include "ancc/ColorTransform.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace orbelt {

ImageSignals computeImageSignals(const cv::Mat& bgr) {
  const int width = bgr.cols;
  const int height = bgr.rows;

  cv::Mat lab;
  cv::cvtColor(bgr, lab, cv::COLOR_BGR2Lab);

  // Offsets in single precision, exactly as the float image holds them, so
  // every value is at least 1 and its logarithm finite and not negative.
  cv::Mat offset;
  bgr.convertTo(offset, CV_32F, 1.0, 0.0);
  for (int y = 0; y < height; ++y) {
    float* p = offset.ptr<float>(y);
    for (int x = 0; x < width; ++x) {
      p[3 * x + 0] += 3.0f;
      p[3 * x + 1] += 2.0f;
      p[3 * x + 2] += 1.0f;
    }
  }

  cv::Mat logImage;
  cv::log(offset, logImage);

  // Log-chromaticity in place, single precision throughout: the mean and
  // each channel are rounded to float where the image stores them.
  for (int y = 0; y < height; ++y) {
    float* p = logImage.ptr<float>(y);
    for (int x = 0; x < width; ++x) {
      float* l = p + 3 * x;
      const float m = (l[2] + l[1] + l[0]) * kOneThirdF;
      for (int c = 0; c < 3; ++c) l[c] = (l[c] - m) * 100.0f;
    }
  }

  ImageSignals signals{ChannelGrid(width, height), ChannelGrid(width, height), ChannelGrid(width, height)};
  for (int y = 0; y < height; ++y) {
    const uchar* src = bgr.ptr<uchar>(y);
    const float* lc = logImage.ptr<float>(y);
    const uchar* g = lab.ptr<uchar>(y);
    for (int c = 0; c < 3; ++c) {
      double* colorRow = signals.color.row(c, y);
      double* logRow = signals.logChrom.row(c, y);
      double* guideRow = signals.guide.row(c, y);
      for (int x = 0; x < width; ++x) {
        colorRow[x] = src[3 * x + c];
        logRow[x] = lc[3 * x + c];
        guideRow[x] = g[3 * x + c];
      }
    }
  }
  return signals;
}

}  // namespace orbelt
