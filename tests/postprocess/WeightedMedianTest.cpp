#include "postprocess/WeightedMedian.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "tests/postprocess/NonFinite.h"

namespace orbelt {
namespace {

using postprocesstest::kInf;

TEST(WeightedMedian, ChecksTheRadiusAndSigmaAndNamesTheOption) {
  struct Case {
    int radius;
    double sigma;
    bool ok;
  };
  const Case cases[] = {{1, 25.5, true},
                        {kMaxMedianRadius, 25.5, true},
                        {0, 25.5, false},
                        {-3, 25.5, false},
                        {kMaxMedianRadius + 1, 25.5, false},
                        {2, 0.0, false},
                        {2, std::numeric_limits<double>::quiet_NaN(), false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "radius " << c.radius << " sigma " << c.sigma);
    const Status status = WeightedMedianOptions{c.radius, c.sigma}.check("--median");
    EXPECT_EQ(status.ok(), c.ok);
    if (!status.ok() && c.sigma == 25.5) {
      EXPECT_EQ(status.error().kind, ErrorKind::InvalidInput);
      EXPECT_NE(status.error().message.find("--median is " + std::to_string(c.radius) + ";"), std::string::npos);
      EXPECT_NE(status.error().message.find("1 to " + std::to_string(kMaxMedianRadius)), std::string::npos);
    }
  }
}

// The known values of one pixel's window, each with its summed weight,
// straight from the filter's definition and with no histogram: every known
// pixel q of the window, clipped to the map, counts with weight
// exp(-(g(p) - g(q))^2 / (2 sigma^2)) on the grey guide g. Unknown pixels
// (not finite) count for nothing.
struct WindowWeights {
  std::map<float, double> weightOf;  // value -> summed weight, by value
  double total = 0.0;
};

WindowWeights windowWeights(const cv::Mat& map, const cv::Mat& guide, int radius, double sigma, int x, int y) {
  WindowWeights window;
  for (int qy = std::max(0, y - radius); qy <= std::min(map.rows - 1, y + radius); ++qy) {
    for (int qx = std::max(0, x - radius); qx <= std::min(map.cols - 1, x + radius); ++qx) {
      const float v = map.at<float>(qy, qx);
      if (!std::isfinite(v)) continue;
      const double difference = double(guide.at<std::uint8_t>(y, x)) - double(guide.at<std::uint8_t>(qy, qx));
      const double w = std::exp(-difference * difference / (2.0 * sigma * sigma));
      window.weightOf[v] += w;
      window.total += w;
    }
  }
  return window;
}

// The reference weighted median: the smallest value whose weight, with that
// of every smaller value, reaches half the total; the lower of the two
// middle values on an exact tie.
float lowerWeightedMedian(const WindowWeights& window) {
  double through = 0.0;
  for (const auto& [value, weight] : window.weightOf) {
    through += weight;
    if (through >= window.total / 2.0) return value;
  }
  return kInf;  // no known value in the window
}

// Whether `value` is a weighted median of the window at all: one of its
// values, with no more than half the total weight on either side of it
// (within `rounding`). On a tie (weights that sum to exactly half, or
// weights too small to tell apart in single precision) more than one value
// is, and a filter that tracks the median from pixel to pixel may stop at
// any of them.
bool isWeightedMedian(const WindowWeights& window, float value, double rounding) {
  if (window.weightOf.count(value) == 0) return false;
  double below = 0.0, above = 0.0;
  for (const auto& [v, weight] : window.weightOf) {
    if (v < value) below += weight;
    if (v > value) above += weight;
  }
  return below <= window.total / 2.0 + rounding && above <= window.total / 2.0 + rounding;
}

// The reference on a case worked by hand: the centre of a 3 x 3 map, radius
// 1, guide 0 at the centre and the corners, 51 at the four edge pixels.
// Values: 1 at the edge pixels, 5 at the centre and one corner, 8 at the
// other corners. The edge pixels weigh w = exp(-51^2 / (2 sigma^2)) each and
// the others 1, so the values up to 5 weigh 4w + 2 of a total 4w + 5: the
// median is 5 when w >= 1/4, else 8. Sigma 25.5 gives w = exp(-2) = 0.135
// (8), sigma 38.25 gives w = exp(-8/9) = 0.411 (5); a weight of
// exp(-d^2 / sigma^2) would give 0.169 there (8), an unweighted median 5 at
// both. A 2 x 1 map of 7 and 3 under a flat guide is an exact tie: 3.
TEST(WeightedMedian, TheReferenceGivesWhatWasWorkedByHand) {
  const cv::Mat map = (cv::Mat_<float>(3, 3) << 5, 1, 8, 1, 5, 1, 8, 1, 8);
  const cv::Mat guide = (cv::Mat_<std::uint8_t>(3, 3) << 0, 51, 0, 51, 0, 51, 0, 51, 0);
  const cv::Mat pair = (cv::Mat_<float>(1, 2) << 7, 3);
  const cv::Mat flat(1, 2, CV_8UC1, cv::Scalar(9));
  EXPECT_EQ(lowerWeightedMedian(windowWeights(map, guide, 1, 25.5, 1, 1)), 8.f);
  EXPECT_EQ(lowerWeightedMedian(windowWeights(map, guide, 1, 38.25, 1, 1)), 5.f);
  EXPECT_EQ(lowerWeightedMedian(windowWeights(pair, flat, 1, 25.5, 0, 0)), 3.f);
  EXPECT_TRUE(isWeightedMedian(windowWeights(pair, flat, 1, 25.5, 0, 0), 7.f, 0.0));
  EXPECT_FALSE(isWeightedMedian(windowWeights(map, guide, 1, 25.5, 1, 1), 5.f, 1e-5));
  // The filter agrees on these pixels.
  for (const double sigma : {25.5, 38.25}) {
    const Expected<cv::Mat> filtered = weightedMedian(map, guide, {1, sigma});
    ASSERT_TRUE(filtered) << filtered.error().message;
    EXPECT_EQ(filtered->at<float>(1, 1), sigma == 25.5 ? 8.f : 5.f) << "sigma " << sigma;
  }
}

// Integer maps are filtered exactly: every pixel of small random maps (up to
// 40 labels, some pixels unknown) under random grey guides, rough and
// smooth, at several radii and sigmas, takes the reference's weighted
// median, or on a tie another value that balances the window. (A colour
// guide's colours are grouped before its weights are taken, so only a grey
// guide has weights a pixel-by-pixel reference can reproduce.)
TEST(WeightedMedian, FiltersIntegerMapsExactlyAsTheNaiveWeightedMedian) {
  std::mt19937 random(31415);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  int ties = 0;
  int pixels = 0;
  for (int round = 0; round < 60; ++round) {
    const int width = pick(1, 14);
    const int height = pick(1, 11);
    const int radius = pick(1, 4);
    const double sigma = std::vector<double>{10.0, 25.5, 60.0}[static_cast<std::size_t>(round % 3)];
    const int labels = pick(2, 40);
    const int unknownPercent = round % 4 == 0 ? 0 : pick(0, 40);
    const int step = round % 2 == 0 ? 255 : 12;  // rough guides and smooth ones
    SCOPED_TRACE(testing::Message() << "round " << round << ": " << width << " x " << height << ", radius " << radius
                                    << ", sigma " << sigma << ", " << labels << " labels");
    cv::Mat map(height, width, CV_32FC1);
    cv::Mat guide(height, width, CV_8UC1);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        map.at<float>(y, x) = pick(0, 99) < unknownPercent ? kInf : static_cast<float>(pick(0, labels - 1));
        const int left = x > 0 ? guide.at<std::uint8_t>(y, x - 1) : pick(0, 255);
        guide.at<std::uint8_t>(y, x) = static_cast<std::uint8_t>(std::clamp(left + pick(-step, step), 0, 255));
      }
    const Expected<cv::Mat> filtered = weightedMedian(map, guide, {radius, sigma});
    ASSERT_TRUE(filtered) << filtered.error().message;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const float got = filtered->at<float>(y, x);
        if (!std::isfinite(map.at<float>(y, x))) {
          ASSERT_EQ(got, kInf) << "at " << x << ", " << y;
          continue;
        }
        ++pixels;
        const WindowWeights window = windowWeights(map, guide, radius, sigma, x, y);
        if (got == lowerWeightedMedian(window)) continue;
        ++ties;
        // Single precision sums a window's weights to about 1e-5 of the total.
        ASSERT_TRUE(isWeightedMedian(window, got, 1e-5 * window.total))
            << "at " << x << ", " << y << ": " << got << " where the reference has " << lowerWeightedMedian(window);
      }
  }
  // A tie lets the filter's path choose; it must stay the exception (6 of
  // 1754 pixels with these draws).
  EXPECT_LT(ties, pixels / 100) << ties << " ties among " << pixels << " pixels";
}

TEST(WeightedMedian, RemovesAnIsolatedWrongMatch) {
  cv::Mat map(9, 9, CV_32FC1, cv::Scalar(10.f));
  map.at<float>(4, 4) = 50.f;
  const cv::Mat guide(9, 9, CV_8UC3, cv::Scalar(90, 120, 30));
  const Expected<cv::Mat> filtered = weightedMedian(map, guide, {1});
  ASSERT_TRUE(filtered) << filtered.error().message;
  EXPECT_EQ(cv::norm(*filtered, cv::Mat(9, 9, CV_32FC1, cv::Scalar(10.f)), cv::NORM_INF), 0.0);
}

// The filter groups a colour guide's colours by drawing from OpenCV's
// per-thread random generator. Left to that generator's state, a map would
// depend on what the process drew before (an earlier map, a Python session,
// the caller's own draws), and the filter would move the caller's stream.
TEST(WeightedMedian, GivesTheSameMapWhateverTheProcessDrewBefore) {
  cv::RNG fixture(7);
  cv::Mat guide(30, 40, CV_8UC3), map(30, 40, CV_32FC1);
  fixture.fill(guide, cv::RNG::UNIFORM, 0, 256);
  cv::Mat labels(30, 40, CV_32SC1);
  fixture.fill(labels, cv::RNG::UNIFORM, 0, 30);
  labels.convertTo(map, CV_32FC1);

  const Expected<cv::Mat> first = weightedMedian(map, guide, {2});
  ASSERT_TRUE(first) << first.error().message;
  for (const int draws : {1, 1000}) {
    SCOPED_TRACE(testing::Message() << draws << " draws before the call");
    for (int i = 0; i < draws; ++i) cv::theRNG().next();
    const std::uint64_t before = cv::theRNG().state;
    const Expected<cv::Mat> again = weightedMedian(map, guide, {2});
    ASSERT_TRUE(again) << again.error().message;
    EXPECT_EQ(cv::norm(*again, *first, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::theRNG().state, before) << "the caller's random stream moved";
  }
}

TEST(WeightedMedian, KeepsADepthEdgeWhereTheGuideHasOne) {
  // Left half dark at disparity 5, right half bright at disparity 20, the
  // edge one column off in the map (a typical fattened foreground). A plain
  // median of radius 3 would keep the offset; the guide pulls the map's edge
  // onto the view's edge.
  const int w = 24, h = 12, edge = 12;
  cv::Mat guide(h, w, CV_8UC1, cv::Scalar(20));
  guide(cv::Rect(edge, 0, w - edge, h)).setTo(230);
  cv::Mat map(h, w, CV_32FC1, cv::Scalar(5.f));
  map(cv::Rect(edge - 1, 0, w - edge + 1, h)).setTo(20.f);
  const Expected<cv::Mat> filtered = weightedMedian(map, guide, {3, 10.0});
  ASSERT_TRUE(filtered) << filtered.error().message;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      EXPECT_EQ(filtered->at<float>(y, x), x < edge ? 5.f : 20.f) << "at " << x << ", " << y;
    }
  }
}

TEST(WeightedMedian, UnknownPixelsStayUnknownAndNeverSpread) {
  cv::Mat map(10, 10, CV_32FC1, cv::Scalar(7.f));
  // A band like a left-right check's, wider than half the window: the known
  // pixels beside it see more unknown pixels than known ones.
  map.colRange(0, 6).setTo(kInf);
  map.at<float>(5, 5) = std::numeric_limits<float>::quiet_NaN();  // and a lone hole
  map.at<float>(2, 7) = -kInf;
  const cv::Mat guide(10, 10, CV_8UC3, cv::Scalar(60, 60, 60));
  const Expected<cv::Mat> filtered = weightedMedian(map, guide, {4});
  ASSERT_TRUE(filtered) << filtered.error().message;
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      const float v = filtered->at<float>(y, x);
      const bool unknown = x < 6 || (y == 5 && x == 5) || (y == 2 && x == 7);
      if (unknown) {
        EXPECT_TRUE(std::isinf(v) && v > 0) << "at " << x << ", " << y << ": " << v;
      } else {
        EXPECT_EQ(v, 7.f) << "at " << x << ", " << y;
      }
    }
  }
  EXPECT_TRUE(std::isnan(map.at<float>(5, 5))) << "the input map was changed";
}

TEST(WeightedMedian, HandlesMapsSmallerThanTheWindowAndMapsWithNothingKnown) {
  const cv::Mat guide(1, 2, CV_8UC1, cv::Scalar(0));
  const cv::Mat tiny = (cv::Mat_<float>(1, 2) << 3.f, kInf);
  const Expected<cv::Mat> filtered = weightedMedian(tiny, guide, {kMaxMedianRadius});
  ASSERT_TRUE(filtered) << filtered.error().message;
  EXPECT_EQ(filtered->at<float>(0, 0), 3.f);
  EXPECT_TRUE(std::isinf(filtered->at<float>(0, 1)));

  const cv::Mat nothing(3, 2, CV_32FC1, cv::Scalar(kInf));
  const Expected<cv::Mat> still = weightedMedian(nothing, cv::Mat(3, 2, CV_8UC1, cv::Scalar(0)), {1});
  ASSERT_TRUE(still);
  EXPECT_EQ(cv::countNonZero(*still == kInf), 6);
}

TEST(WeightedMedian, RefusesInputsItCannotUse) {
  const cv::Mat map(4, 5, CV_32FC1, cv::Scalar(1.f));
  struct Case {
    const char* what;
    cv::Mat disparity;
    cv::Mat guide;
    WeightedMedianOptions options;
    const char* message;
  };
  const Case cases[] = {
      {"radius 0", map, cv::Mat(4, 5, CV_8UC3), {0}, "radius is 0"},
      {"empty map", cv::Mat(), cv::Mat(4, 5, CV_8UC3), {1}, "one-channel float"},
      {"integer map", cv::Mat(4, 5, CV_16SC1), cv::Mat(4, 5, CV_8UC3), {1}, "one-channel float"},
      {"guide of another size", map, cv::Mat(5, 4, CV_8UC3), {1}, "5 x 4"},
      {"float guide", map, cv::Mat(4, 5, CV_32FC3), {1}, "8-bit grey or colour"},
      {"four-channel guide", map, cv::Mat(4, 5, CV_8UC4), {1}, "8-bit grey or colour"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Expected<cv::Mat> filtered = weightedMedian(c.disparity, c.guide, c.options);
    ASSERT_FALSE(filtered);
    EXPECT_EQ(filtered.error().kind, ErrorKind::InvalidInput);
    EXPECT_NE(filtered.error().message.find(c.message), std::string::npos) << filtered.error().message;
  }
}

}  // namespace
}  // namespace orbelt
