// Depth and 3-D points of a disparity map, checked against OpenCV's own
// reprojection with the disparity-to-depth matrix Q of the same calibration.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <opencv2/calib3d.hpp>

#include "postprocess/DepthMap.h"
#include "postprocess/PointCloud.h"
#include "tests/postprocess/NonFinite.h"

namespace orbelt {
namespace {

using postprocesstest::kInf;

// OpenCV's Q for a rectified pair whose right principal point lies doffs
// columns right of the left one: w = (d + doffs) / baseline, Z = focal / w.
cv::Mat disparityToDepth(const CameraCalibration& c) {
  return (cv::Mat_<double>(4, 4) << 1, 0, 0, -c.cx, 0, 1, 0, -c.cy, 0, 0, 0, c.focal, 0, 0, 1.0 / c.baseline,
          c.doffs / c.baseline);
}

// A 4 x 5 map with known disparities, unknown pixels (inf, NaN) and
// disparities at and beyond infinity for doffs = 12 (-12, -20).
cv::Mat sampleDisparity() {
  return (cv::Mat_<float>(4, 5) << 30.5f, 31, kInf, 40, 2, -12, 55.25f, 12, NAN, 60, 3, 4, -20, 5, 6, 70, 71, 72, 73,
          -11.5f);
}

cv::Mat sampleLeft() {
  cv::Mat left(4, 5, CV_8UC3);
  for (int i = 0; i < 20; ++i) left.at<cv::Vec3b>(i / 5, i % 5) = cv::Vec3b(uchar(i), uchar(100 + i), uchar(200 + i));
  return left;
}

TEST(PointCloud, MatchesOpenCvsReprojectionAndLeavesOutPixelsWithoutDepth) {
  const CameraCalibration calibration{800, 160, 2.5, 1.25, 12};
  const cv::Mat disparity = sampleDisparity();
  const Expected<PointCloud> cloud = pointCloudFromDisparity(disparity, sampleLeft(), calibration);
  ASSERT_TRUE(cloud) << cloud.error().message;

  cv::Mat reprojected;
  cv::reprojectImageTo3D(disparity, reprojected, disparityToDepth(calibration), false, CV_32F);
  std::size_t next = 0;
  for (int y = 0; y < disparity.rows; ++y) {
    for (int x = 0; x < disparity.cols; ++x) {
      const float d = disparity.at<float>(y, x);
      if (!std::isfinite(d) || d + calibration.doffs <= 0) continue;  // inf, NaN, -12, -20
      ASSERT_LT(next, cloud->points.size());
      const cv::Vec3f expected = reprojected.at<cv::Vec3f>(y, x);
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(cloud->points[next][k], expected[k], 1e-4 * std::abs(expected[k]) + 1e-5) << x << "," << y;
      }
      // Colours are red, green, blue of the BGR left view.
      EXPECT_EQ(cloud->colors[next], cv::Vec3b(uchar(200 + y * 5 + x), uchar(100 + y * 5 + x), uchar(y * 5 + x)));
      ++next;
    }
  }
  EXPECT_EQ(cloud->points.size(), 16u);
  EXPECT_EQ(cloud->colors.size(), cloud->points.size());
}

TEST(DepthMap, IsFocalTimesBaselineOverShiftedDisparityAndInfWithoutOne) {
  const CameraCalibration calibration{800, 160, 2.5, 1.25, 12};
  const Expected<cv::Mat> depth = depthFromDisparity(sampleDisparity(), calibration);
  ASSERT_TRUE(depth) << depth.error().message;
  EXPECT_FLOAT_EQ(depth->at<float>(0, 0), 800.0f * 160.0f / 42.5f);
  EXPECT_FLOAT_EQ(depth->at<float>(3, 4), 800.0f * 160.0f / 0.5f);  // -11.5 + 12: just in front of infinity
  for (const cv::Point unknown : {cv::Point(2, 0), cv::Point(3, 1), cv::Point(0, 1), cv::Point(2, 2)}) {
    EXPECT_EQ(depth->at<float>(unknown), kInf) << unknown;
  }
}

TEST(CameraCalibration, RefusesValuesWithoutGeometryByName) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    CameraCalibration calibration;
    const char* message;
  } cases[] = {
      {{0, 160, 0, 0, 0}, "The calibration's focal length (focal) must be a positive number, not 0"},
      {{-800, 160, 0, 0, 0}, "The calibration's focal length (focal) must be a positive number, not -800"},
      {{800, 0, 0, 0, 0}, "The calibration's baseline must be a positive number, not 0"},
      {{800, inf, 0, 0, 0}, "The calibration's baseline must be a positive number, not inf"},
      {{800, 160, nan, 0, 0}, "The calibration's principal point column (cx) must be a finite number, not nan"},
      {{800, 160, 0, 0, -inf}, "The calibration's principal point offset (doffs) must be a finite number, not -inf"},
  };
  for (const auto& c : cases) {
    const Status checked = c.calibration.check();
    ASSERT_FALSE(checked) << c.message;
    EXPECT_EQ(checked.error().message, c.message);
    EXPECT_EQ(checked.error().kind, ErrorKind::InvalidInput);
    // Neither output is made from a calibration that fails its check.
    EXPECT_FALSE(depthFromDisparity(sampleDisparity(), c.calibration));
    EXPECT_FALSE(pointCloudFromDisparity(sampleDisparity(), sampleLeft(), c.calibration));
  }
  EXPECT_TRUE(calibrationFromValues(800, 160, -3, 0, -7));  // principal points may lie anywhere
  EXPECT_FALSE(calibrationFromValues(800, -160, 0, 0));
}

// Values a user typed are refused in the words they were typed with.
TEST(CameraCalibration, RefusesTypedValuesByTheCallersNames) {
  const CalibrationFieldNames typed{"--focal", "--baseline", "--cx", "--cy", "--doffs"};
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    CameraCalibration calibration;
    const char* message;
  } cases[] = {
      {{0, 160, 0, 0, 0}, "--focal is 0; it must be a positive number"},
      {{800, -0.5, 0, 0, 0}, "--baseline is -0.5; it must be a positive number"},
      {{800, 160, 0, inf, 0}, "--cy is inf; it must be a finite number"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.calibration.check(typed).error().message, c.message);
  EXPECT_TRUE(CameraCalibration({800, 160, -3, 0, -7}).check(typed));
}

TEST(PointCloud, RefusesALeftViewThatDoesNotFitTheMap) {
  const CameraCalibration calibration{800, 160, 0, 0, 0};
  EXPECT_FALSE(pointCloudFromDisparity(sampleDisparity(), cv::Mat(4, 5, CV_8UC1, cv::Scalar(0)), calibration));
  EXPECT_FALSE(pointCloudFromDisparity(sampleDisparity(), cv::Mat(5, 4, CV_8UC3), calibration));
  EXPECT_FALSE(pointCloudFromDisparity(cv::Mat(4, 5, CV_16UC1), sampleLeft(), calibration));
}

}  // namespace
}  // namespace orbelt
