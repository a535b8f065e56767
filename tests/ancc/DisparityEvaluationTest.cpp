// Scoring of disparity maps and the PFM files they come in, on hand-made
// maps whose answers are known.
#include "DisparityEvaluation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "PfmFile.h"

namespace orbelt {
namespace {

// Truth 8 at scale 4 is disparity 2 everywhere except an unknown pixel.
cv::Mat truthOfTwo() {
  cv::Mat truth(2, 4, CV_8UC1, cv::Scalar(8));
  truth.at<uchar>(1, 3) = 0;  // unknown: never scored
  return truth;
}

TEST(DisparityEvaluation, CountsErrorsAboveEachThreshold) {
  // Errors 0, 0.4, 0.6, 1.5 | 2.5, 3, -1 (NaN), unknown.
  const float nan = NAN;
  const cv::Mat disparity = (cv::Mat_<float>(2, 4) << 2.0f, 2.4f, 1.4f, 3.5f, 4.5f, -1.0f, nan, 100.0f);
  DisparityScore s;
  std::string error;
  ASSERT_TRUE(evaluateDisparity(disparity, truthOfTwo(), cv::Mat(), {4.0, 0}, s, error)) << error;
  EXPECT_EQ(s.evaluated, 7);
  EXPECT_EQ(s.invalid, 1);
  EXPECT_NEAR(s.badOver05, 100.0 * 5 / 7, 1e-9);  // 0.6, 1.5, 2.5, 3 and the NaN
  EXPECT_NEAR(s.badOver1, 100.0 * 4 / 7, 1e-9);
  EXPECT_NEAR(s.badOver2, 100.0 * 3 / 7, 1e-9);
  EXPECT_NEAR(s.meanError, (0 + 0.4 + 0.6 + 1.5 + 2.5 + 3.0) / 6, 1e-6);
}

TEST(DisparityEvaluation, MaskAndBorderLeavePixelsOut) {
  cv::Mat disparity(4, 5, CV_32FC1, cv::Scalar(2.0f));
  disparity.at<float>(0, 0) = 9.0f;  // bad, but on the border
  disparity.at<float>(2, 2) = 5.0f;  // bad, but masked out
  disparity.at<float>(1, 1) = 3.0f;  // off by 1: bad only above 0.5
  const cv::Mat truth(4, 5, CV_16UC1, cv::Scalar(32));  // 16-bit, scale 16
  cv::Mat mask(4, 5, CV_8UC1, cv::Scalar(255));
  mask.at<uchar>(2, 2) = 128;  // anything but 255 is left out
  DisparityScore s;
  std::string error;
  ASSERT_TRUE(evaluateDisparity(disparity, truth, mask, {16.0, 1}, s, error)) << error;
  EXPECT_EQ(s.evaluated, 5);  // 3x2 interior minus the masked pixel
  EXPECT_NEAR(s.badOver05, 20.0, 1e-9);
  EXPECT_NEAR(s.badOver1, 0.0, 1e-9);
  EXPECT_NEAR(s.meanError, 0.2, 1e-9);
}

TEST(DisparityEvaluation, RefusesMapsThatDoNotFit) {
  const cv::Mat disparity(2, 4, CV_32FC1, cv::Scalar(0));
  struct Case {
    const char* what;
    cv::Mat disparity, truth, mask;
    double scale;
    const char* message;
  };
  const Case cases[] = {
      {"truth of another size", disparity, cv::Mat(3, 4, CV_8UC1), cv::Mat(), 4, "ground truth is 4x3"},
      {"colour truth", disparity, cv::Mat(2, 4, CV_8UC3), cv::Mat(), 4, "single-channel"},
      {"mask of another size", disparity, truthOfTwo(), cv::Mat(2, 3, CV_8UC1), 4, "mask must be"},
      {"grey map", cv::Mat(2, 4, CV_8UC1), truthOfTwo(), cv::Mat(), 4, "CV_32FC1"},
      {"zero scale", disparity, truthOfTwo(), cv::Mat(), 0, "scale"},
  };
  for (const Case& c : cases) {
    DisparityScore s;
    std::string error;
    EXPECT_FALSE(evaluateDisparity(c.disparity, c.truth, c.mask, {c.scale, 0}, s, error)) << c.what;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
  }
}

TEST(DisparityEvaluation, GreyMapsFollowTheDisplayEncoding) {
  const cv::Mat grey = (cv::Mat_<uchar>(1, 3) << 0, 30, 255);
  struct Case {
    int level, base;
    float expected[3];
  };
  const Case cases[] = {
      {3, 0, {0, 10, 85}},
      {3, 4, {0, 10, 85}},       // a non-negative base is already in the grey value
      {3, -5, {-5, 5, 80}},      // a negative base is not
      {4, 0, {0, 7.5f, 63.75f}},
  };
  for (const Case& c : cases) {
    std::string error;
    const cv::Mat d = disparityFromGrey(grey, c.level, c.base, error);
    ASSERT_TRUE(error.empty()) << error;
    for (int x = 0; x < 3; ++x) EXPECT_FLOAT_EQ(d.at<float>(0, x), c.expected[x]) << "level " << c.level;
  }
  std::string error;
  EXPECT_TRUE(disparityFromGrey(grey, 0, 0, error).empty());
  EXPECT_NE(error.find("display level"), std::string::npos);
}

class PfmFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("orbelt-pfm-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  void writeBytes(const char* name, const std::string& header, const std::vector<unsigned char>& data) const {
    std::ofstream out(path(name), std::ios::binary);
    out << header;
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  }
  std::filesystem::path dir_;
};

TEST_F(PfmFileTest, RoundTripKeepsRowsAndValues) {
  const cv::Mat image = (cv::Mat_<float>(2, 3) << 1.5f, -2.0f, INFINITY, 0.25f, 7.0f, 1e-3f);
  ASSERT_EQ(writePfm(path("a.pfm"), image), "");
  std::string error;
  const cv::Mat back = readPfm(path("a.pfm"), error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_EQ(back.size(), image.size());
  EXPECT_EQ(cv::norm(back(cv::Rect(0, 0, 2, 2)), image(cv::Rect(0, 0, 2, 2)), cv::NORM_INF), 0.0);
  EXPECT_TRUE(std::isinf(back.at<float>(0, 2)));
  EXPECT_EQ(back.at<float>(1, 2), 1e-3f);
}

TEST_F(PfmFileTest, ReadsBottomRowFirstInEitherByteOrder) {
  // Two rows of one float: the file's first value is the image's bottom row.
  writeBytes("little.pfm", "Pf\n1 2\n-1.0\n", {0, 0, 0x80, 0x3F, 0, 0, 0, 0x40});  // 1.0f, 2.0f
  writeBytes("big.pfm", "Pf\n1 2\n1.0\n", {0x3F, 0x80, 0, 0, 0x40, 0, 0, 0});
  for (const char* name : {"little.pfm", "big.pfm"}) {
    std::string error;
    const cv::Mat m = readPfm(path(name), error);
    ASSERT_TRUE(error.empty()) << name << ": " << error;
    EXPECT_EQ(m.at<float>(0, 0), 2.0f) << name;
    EXPECT_EQ(m.at<float>(1, 0), 1.0f) << name;
  }
}

TEST_F(PfmFileTest, NamesWhatIsWrong) {
  writeBytes("colour.pfm", "PF\n1 1\n-1.0\n", std::vector<unsigned char>(12, 0));
  writeBytes("short.pfm", "Pf\n2 2\n-1.0\n", std::vector<unsigned char>(12, 0));
  writeBytes("noscale.pfm", "Pf\n2 2\n0\n", std::vector<unsigned char>(16, 0));
  const struct {
    const char* name;
    const char* message;
  } cases[] = {{"colour.pfm", "expected \"Pf\""},
               {"short.pfm", "shorter than its 2x2 floats"},
               {"noscale.pfm", "bad PFM header"},
               {"missing.pfm", "cannot open"}};
  for (const auto& c : cases) {
    std::string error;
    EXPECT_TRUE(readPfm(path(c.name), error).empty()) << c.name;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
  }
  EXPECT_NE(writePfm(path("x.pfm"), cv::Mat(2, 2, CV_8UC1)), "");
  EXPECT_FALSE(std::filesystem::exists(path("x.pfm")));
}

}  // namespace
}  // namespace orbelt
