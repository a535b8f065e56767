#include "postprocess/WeightedMedian.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <opencv2/ximgproc/weighted_median_filter.hpp>

namespace orbelt {

namespace {

std::string sizeText(const cv::Mat& m) { return std::to_string(m.cols) + " x " + std::to_string(m.rows); }

// OpenCV's filter groups a colour guide's colours with draws from the
// calling thread's random generator, so its map would depend on whatever the
// process drew before, and the caller's own stream would move. For the span
// of one call the generator starts where a fresh thread's does (the first
// call in a new process keeps the map it always gave) and is put back after.
class FreshRandomStream {
 public:
  FreshRandomStream() : saved_(cv::theRNG()) { cv::theRNG() = cv::RNG(); }
  ~FreshRandomStream() { cv::theRNG() = saved_; }
  FreshRandomStream(const FreshRandomStream&) = delete;
  FreshRandomStream& operator=(const FreshRandomStream&) = delete;

 private:
  cv::RNG saved_;
};

}  // namespace

Status WeightedMedianOptions::check(const char* radiusName) const {
  if (radius < 1 || radius > kMaxMedianRadius) {
    return invalidInput(std::string(radiusName) + " is " + std::to_string(radius) +
                        "; it must be a whole number of pixels from 1 to " + std::to_string(kMaxMedianRadius));
  }
  if (!(sigma > 0) || !std::isfinite(sigma)) {
    return invalidInput("The weighted median's colour sigma " + std::to_string(sigma) +
                        " must be a positive, finite number");
  }
  return {};
}

Expected<cv::Mat> weightedMedian(const cv::Mat& disparity, const cv::Mat& guide, const WeightedMedianOptions& options) {
  if (Status bad = options.check(); !bad) return bad.error();
  if (disparity.empty() || disparity.type() != CV_32FC1) {
    return invalidInput(
        "The weighted median needs a one-channel float disparity map, not " +
        (disparity.empty() ? std::string("an empty one") : "type " + cv::typeToString(disparity.type())));
  }
  if (guide.size() != disparity.size() || (guide.type() != CV_8UC1 && guide.type() != CV_8UC3)) {
    return invalidInput("The weighted median's guide must be an 8-bit grey or colour image of the map's size (" +
                        sizeText(disparity) + "), not " + cv::typeToString(guide.type()) + " of " + sizeText(guide));
  }
  // The filter sorts the map's values, so an infinity or NaN must not reach
  // it even where the mask hides the pixel: unknown pixels are given a
  // harmless value, masked out of every histogram, and made unknown again.
  cv::Mat known(disparity.size(), CV_8UC1);
  cv::Mat values = disparity.clone();
  bool anyUnknown = false;
  for (int y = 0; y < disparity.rows; ++y) {
    float* v = values.ptr<float>(y);
    std::uint8_t* k = known.ptr<std::uint8_t>(y);
    for (int x = 0; x < disparity.cols; ++x) {
      k[x] = std::isfinite(v[x]) ? 1 : 0;
      if (!k[x]) {
        v[x] = 0.f;
        anyUnknown = true;
      }
    }
  }
  if (cv::countNonZero(known) == 0) return disparity.clone();
  cv::Mat filtered;
  try {
    const FreshRandomStream stream;
    cv::ximgproc::weightedMedianFilter(guide, values, filtered, options.radius, options.sigma, cv::ximgproc::WMF_EXP,
                                       anyUnknown ? known : cv::noArray());
  } catch (const cv::Exception& e) {
    return engineFailure("The weighted median filter failed: " + e.msg);
  }
  if (anyUnknown) filtered.setTo(std::numeric_limits<float>::infinity(), known == 0);
  return filtered;
}

}  // namespace orbelt
