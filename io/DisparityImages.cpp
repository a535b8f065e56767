#include "io/DisparityImages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include <opencv2/imgproc.hpp>

namespace orbelt {

Status checkPng16Range(int baseDisparity, int labelCount) {
  if (baseDisparity < 0) {
    return invalidInput("A 16-bit PNG cannot hold negative disparities (Base disparity is " +
                        std::to_string(baseDisparity) + "); write a .pfm instead");
  }
  const long long top = static_cast<long long>(baseDisparity) + labelCount - 1;
  if (top + 1 > 256) {
    return invalidInput("A 16-bit PNG holds disparities below 256 (disparity x 256 in 16 bits), but this run reaches " +
                        std::to_string(top) + "; write a .pfm instead");
  }
  return {};
}

cv::Mat encodeDisparityPng16(const cv::Mat& disparity) {
  cv::Mat out(disparity.size(), CV_16UC1);
  for (int y = 0; y < disparity.rows; ++y) {
    const float* in = disparity.ptr<float>(y);
    unsigned short* row = out.ptr<unsigned short>(y);
    for (int x = 0; x < disparity.cols; ++x) {
      if (!std::isfinite(in[x])) {
        row[x] = 0;
        continue;
      }
      const double code = std::round(static_cast<double>(in[x]) * 256.0);
      row[x] = static_cast<unsigned short>(std::clamp(code, 1.0, 65535.0));
    }
  }
  return out;
}

cv::Mat decodeDisparityPng16(const cv::Mat& stored) {
  cv::Mat disparity(stored.size(), CV_32FC1);
  for (int y = 0; y < stored.rows; ++y) {
    const unsigned short* in = stored.ptr<unsigned short>(y);
    float* out = disparity.ptr<float>(y);
    for (int x = 0; x < stored.cols; ++x) {
      out[x] = in[x] == 0 ? std::numeric_limits<float>::infinity() : static_cast<float>(in[x] / 256.0);
    }
  }
  return disparity;
}

cv::Mat renderColorMap(const cv::Mat& disparity, double minDisparity, double maxDisparity) {
  const int width = disparity.cols, height = disparity.rows;
  const double span = maxDisparity > minDisparity ? maxDisparity - minDisparity : 1.0;
  cv::Mat grey(height, width, CV_8UC1);
  cv::Mat unknown(height, width, CV_8UC1, cv::Scalar(0));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float d = disparity.at<float>(y, x);
      if (!std::isfinite(d)) {
        unknown.at<uchar>(y, x) = 255;
        grey.at<uchar>(y, x) = 0;
        continue;
      }
      grey.at<uchar>(y, x) = cv::saturate_cast<uchar>((d - minDisparity) / span * 255.0);
    }
  }
  cv::Mat picture;
  cv::applyColorMap(grey, picture, cv::COLORMAP_VIRIDIS);
  picture.setTo(cv::Scalar::all(0), unknown);

  // The legend: a ramp across the middle of the width, the end values
  // either side, on a dark strip the height of a line of small text.
  const int legendHeight = 18;
  cv::Mat out(height + legendHeight, width, CV_8UC3, cv::Scalar::all(24));
  picture.copyTo(out(cv::Rect(0, 0, width, height)));
  char low[32], high[32];
  std::snprintf(low, sizeof low, "%g", minDisparity);
  std::snprintf(high, sizeof high, "%g px", maxDisparity);
  const double fontScale = 0.35;
  int baseline = 0;
  const cv::Size lowSize = cv::getTextSize(low, cv::FONT_HERSHEY_SIMPLEX, fontScale, 1, &baseline);
  const cv::Size highSize = cv::getTextSize(high, cv::FONT_HERSHEY_SIMPLEX, fontScale, 1, &baseline);
  const int rampLeft = lowSize.width + 6, rampRight = width - highSize.width - 6;
  const int textY = height + legendHeight / 2 + lowSize.height / 2;
  if (rampRight - rampLeft >= 8) {
    cv::Mat ramp(1, rampRight - rampLeft, CV_8UC1);
    for (int x = 0; x < ramp.cols; ++x) ramp.at<uchar>(0, x) = cv::saturate_cast<uchar>(255.0 * x / (ramp.cols - 1));
    cv::Mat rampColour;
    cv::applyColorMap(ramp, rampColour, cv::COLORMAP_VIRIDIS);
    cv::resize(rampColour, rampColour, cv::Size(ramp.cols, legendHeight - 8), 0, 0, cv::INTER_NEAREST);
    rampColour.copyTo(out(cv::Rect(rampLeft, height + 4, ramp.cols, legendHeight - 8)));
    cv::putText(out, low, cv::Point(3, textY), cv::FONT_HERSHEY_SIMPLEX, fontScale, cv::Scalar::all(230), 1,
                cv::LINE_AA);
    cv::putText(out, high, cv::Point(width - highSize.width - 3, textY), cv::FONT_HERSHEY_SIMPLEX, fontScale,
                cv::Scalar::all(230), 1, cv::LINE_AA);
  }
  return out;
}

Expected<cv::Mat> renderConfidence(const std::vector<std::uint8_t>& consistent, int width, int height) {
  if (width < 0 || height < 0 || consistent.size() != static_cast<std::size_t>(width) * height) {
    return invalidInput("A " + std::to_string(width) + " x " + std::to_string(height) +
                        " confidence image needs as many check results, not " + std::to_string(consistent.size()));
  }
  cv::Mat out(height, width, CV_8UC1);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) out.at<uchar>(y, x) = consistent[static_cast<std::size_t>(y) * width + x] ? 255 : 0;
  }
  return out;
}

}  // namespace orbelt
