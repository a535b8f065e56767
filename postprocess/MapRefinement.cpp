#include "postprocess/MapRefinement.h"

#include <cmath>
#include <sstream>
#include <string>

#include "platform/Timing.h"
#include "postprocess/FloatDisparity.h"
#include "postprocess/LeftRightCheck.h"
#include "postprocess/WeightedMedian.h"

namespace orbelt {

namespace {

std::string number(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

}  // namespace

Status RefinementOptions::check(const RefinementFieldNames& names) const {
  if (!(lrThreshold >= 0) || !std::isfinite(lrThreshold)) {
    return invalidInput(std::string(names.lrCheck) + " is " + number(lrThreshold) +
                        "; the threshold must be a number of pixels, 0 or more");
  }
  if (fill && !lrCheck) {
    return invalidInput(std::string(names.fill) + " needs " + names.lrCheck +
                        ": it fills the pixels the check marks unknown, and without the check no pixel is unknown");
  }
  if (medianRadius) {
    if (Status bad = WeightedMedianOptions{*medianRadius}.check(names.medianRadius); !bad) return bad;
  }
  return {};
}

Expected<RefinedMap> refineDisparityMap(const std::vector<int>& labels, const std::vector<int>* rightLabels, int width,
                                        int height, int baseDisparity, const std::vector<float>* offsets,
                                        const cv::Mat& guide, const RefinementOptions& options) {
  if (Status bad = options.check(); !bad) return bad.error();
  const std::size_t count = width > 0 && height > 0 ? static_cast<std::size_t>(width) * height : 0;
  if (count == 0 || labels.size() != count || (offsets && offsets->size() != count)) {
    return invalidInput("The map to refine has " + std::to_string(labels.size()) + " labels, not " +
                        std::to_string(width) + " x " + std::to_string(height));
  }
  if (options.lrCheck && (!rightLabels || rightLabels->size() != count)) {
    return invalidInput("The left-right check needs the right view's labels, " + std::to_string(width) + " x " +
                        std::to_string(height));
  }
  RefinedMap out;
  out.consistentCount = count;
  const auto checkStart = SteadyClock::now();
  if (options.lrCheck) {
    Expected<LeftRightConsistency> consistency =
        checkLeftRight(labels, *rightLabels, width, height, baseDisparity, options.lrThreshold);
    if (!consistency) return std::move(consistency).error();
    out.consistent = std::move(consistency->consistent);
    out.consistentCount = consistency->passed;
  }
  Expected<cv::Mat> disparity =
      floatDisparity(labels, width, height, baseDisparity, offsets, options.lrCheck ? &out.consistent : nullptr);
  if (!disparity) return std::move(disparity).error();
  out.disparity = std::move(*disparity);
  out.checkSeconds = options.lrCheck ? secondsSince(checkStart) : 0.0;

  if (options.fill) {
    const auto start = SteadyClock::now();
    Expected<BackgroundFillSummary> filled = fillFromBackground(out.disparity);
    if (!filled) return std::move(filled).error();
    out.fill = *filled;
    out.fillSeconds = secondsSince(start);
  }
  if (options.medianRadius) {
    const auto start = SteadyClock::now();
    Expected<cv::Mat> filtered = weightedMedian(out.disparity, guide, {*options.medianRadius});
    if (!filtered) return std::move(filtered).error();
    out.disparity = std::move(*filtered);
    out.medianSeconds = secondsSince(start);
  }
  return out;
}

}  // namespace orbelt
