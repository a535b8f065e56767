// The right-view changes of the peer comparison do what their names say.
#include "bench/peer/RadiometricChange.h"

#include <gtest/gtest.h>

#include <set>

namespace orbelt {
namespace {

TEST(RadiometricChange, GainGammaAndCastMapValuesAsStatedAndClip) {
  const cv::Mat grey(1, 1, CV_8UC3, cv::Scalar(100, 100, 200));
  EXPECT_EQ(applyGain(grey, 0.5).at<cv::Vec3b>(0, 0), cv::Vec3b(50, 50, 100));
  EXPECT_EQ(applyGain(grey, 1.5).at<cv::Vec3b>(0, 0), cv::Vec3b(150, 150, 255));  // 300 clipped
  // 255 (100/255)^0.6 = 145.4; 255 (200/255)^0.6 = 220.2.
  EXPECT_EQ(applyGamma(grey, 0.6).at<cv::Vec3b>(0, 0), cv::Vec3b(145, 145, 220));
  // BGR order: blue x0.8, green x1.0, red x1.2 (240).
  EXPECT_EQ(applyColorCast(grey).at<cv::Vec3b>(0, 0), cv::Vec3b(80, 100, 240));
}

TEST(RadiometricChange, VignettingKeepsTheCentreAndSixtyPercentInTheCorners) {
  const cv::Mat flat(101, 201, CV_8UC3, cv::Scalar::all(200));
  const cv::Mat v = applyVignetting(flat);
  EXPECT_EQ(v.at<cv::Vec3b>(50, 100), cv::Vec3b(200, 200, 200));
  for (const cv::Point corner : {cv::Point(0, 0), cv::Point(200, 0), cv::Point(0, 100), cv::Point(200, 100)}) {
    EXPECT_EQ(v.at<cv::Vec3b>(corner), cv::Vec3b(120, 120, 120)) << corner;
  }
  EXPECT_GT(v.at<cv::Vec3b>(50, 150)[0], v.at<cv::Vec3b>(50, 200)[0]);  // falls off outwards
}

TEST(RadiometricChange, EveryConditionHasAUniqueNameAndKeepsTheImageSize) {
  const cv::Mat image(8, 12, CV_8UC3, cv::Scalar(10, 120, 250));
  std::set<std::string> names;
  for (const RadiometricChange& c : radiometricChanges()) {
    EXPECT_TRUE(names.insert(c.name).second) << c.name;
    const cv::Mat out = c.apply(image);
    EXPECT_EQ(out.size(), image.size()) << c.name;
    EXPECT_EQ(out.type(), CV_8UC3) << c.name;
  }
  EXPECT_EQ(radiometricChanges().front().name, "original");
}

}  // namespace
}  // namespace orbelt
