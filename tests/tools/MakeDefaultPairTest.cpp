// The default pair in data/ is what the generator makes: regenerating it (as
// the README tells) must give the same scene, and the scene must be what the
// dialog's defaults can handle.
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "io/PfmFile.h"
#include "tests/io/ErrorText.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

int runGenerator(const std::string& folder) {
  const std::string command = "'" ORBELT_MAKE_DEFAULT_PAIR_PATH "' '" + folder + "' >/dev/null 2>&1";
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

class DefaultPair : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(runGenerator(folder.path()), 0); }
  testing::TempFolder folder;
};

TEST_F(DefaultPair, RegeneratingGivesTheCommittedPair) {
  for (const char* name : {"Img0.png", "Img1.png"}) {
    const cv::Mat made = cv::imread(folder.file(name), cv::IMREAD_UNCHANGED);
    const cv::Mat shipped = cv::imread(std::string(ORBELT_SOURCE_DATA_DIR "/") + name, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(made.type(), CV_8UC3) << name;
    ASSERT_EQ(made.size(), shipped.size()) << name;
    // A last-bit difference of a maths library may move a value by one.
    EXPECT_LE(cv::norm(made, shipped, cv::NORM_INF), 1.0) << name;
  }
  const Expected<cv::Mat> made = readPfm(folder.file("Img0-disparity.pfm"));
  ASSERT_EQ(testing::errorText(made), "");
  const Expected<cv::Mat> shipped = readPfm(ORBELT_SOURCE_DATA_DIR "/Img0-disparity.pfm");
  ASSERT_EQ(testing::errorText(shipped), "");
  EXPECT_EQ(cv::norm(*made, *shipped, cv::NORM_INF), 0.0);
}

TEST_F(DefaultPair, FitsTheDefaultDisparityRangeAndHasASlantedPlane) {
  const Expected<cv::Mat> truthRead = readPfm(folder.file("Img0-disparity.pfm"));
  ASSERT_EQ(testing::errorText(truthRead), "");
  const cv::Mat& truth = *truthRead;
  ASSERT_EQ(truth.size(), cv::Size(400, 300));
  double lo = 0, hi = 0;
  cv::minMaxLoc(truth, &lo, &hi);
  EXPECT_GE(lo, 5.0);
  EXPECT_LE(hi, 60.0);  // labels 0..69 cover it with room to spare
  int fractional = 0;
  for (int y = 0; y < truth.rows; ++y)
    for (int x = 0; x < truth.cols; ++x) fractional += truth.at<float>(y, x) != std::round(truth.at<float>(y, x));
  EXPECT_GT(fractional, 1000);  // the slanted board has non-integer disparities
}

TEST_F(DefaultPair, TheRightViewSeesTheLeftShiftedByTheTrueDisparity) {
  // Away from depth edges, left column x shows the same paint as right
  // column x - d; the second camera's gain, gamma and cast change the values
  // but keep their order, so the two views correlate best at the true shift.
  const cv::Mat left = cv::imread(folder.file("Img0.png"), cv::IMREAD_GRAYSCALE);
  const cv::Mat right = cv::imread(folder.file("Img1.png"), cv::IMREAD_GRAYSCALE);
  const Expected<cv::Mat> truthRead = readPfm(folder.file("Img0-disparity.pfm"));
  ASSERT_EQ(testing::errorText(truthRead), "");
  const cv::Mat& truth = *truthRead;
  // A patch of the box (disparity 38), well inside it.
  const cv::Rect patch(270, 70, 60, 60);
  ASSERT_EQ(truth.at<float>(100, 300), 38.0f);
  auto correlation = [&](int shift) {
    cv::Mat a, b;
    left(patch).convertTo(a, CV_64F);
    right(patch - cv::Point(shift, 0)).convertTo(b, CV_64F);
    a -= cv::mean(a)[0];
    b -= cv::mean(b)[0];
    return a.dot(b) / std::sqrt(a.dot(a) * b.dot(b));
  };
  int best = 0;
  for (int shift = 20; shift <= 56; ++shift) {
    if (correlation(shift) > correlation(best)) best = shift;
  }
  EXPECT_EQ(best, 38);
  EXPECT_GT(correlation(38), 0.9);
}

TEST(MakeDefaultPair, AMissingOutputFolderFailsWithoutWritingAnything) {
  testing::TempFolder folder;
  EXPECT_EQ(runGenerator(folder.file("absent")), 1);
  EXPECT_FALSE(std::filesystem::exists(folder.file("absent")));
}

}  // namespace
}  // namespace orbelt
