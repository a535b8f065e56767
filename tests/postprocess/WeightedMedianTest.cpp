#include "postprocess/WeightedMedian.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace orbelt {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

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
