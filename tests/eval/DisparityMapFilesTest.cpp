// Reading results and truths in every form Orbelt writes or the datasets
// ship, from small files written here with OpenCV.
#include "eval/DisparityMapFiles.h"

#include <gtest/gtest.h>

#include <cmath>

#include <opencv2/imgcodecs.hpp>

#include "pipeline/PfmFile.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::TempFolder;
using testing::writeText;

TEST(DisparityMapFiles, ReadsEachResultForm) {
  TempFolder folder;
  const cv::Mat png16 = (cv::Mat_<unsigned short>(1, 3) << 0, 256 * 12 + 128, 65535);
  ASSERT_TRUE(cv::imwrite(folder.file("d.png"), png16));
  const cv::Mat grey = (cv::Mat_<uchar>(1, 3) << 0, 30, 255);
  ASSERT_TRUE(cv::imwrite(folder.file("d.bmp"), grey));
  ASSERT_EQ(writePfm(folder.file("d.pfm"), (cv::Mat_<float>(1, 3) << 1.5f, INFINITY, -2.0f)), "");

  cv::Mat d;
  ASSERT_EQ(readDisparityMap(folder.file("d.png"), std::nullopt, d), "");
  EXPECT_TRUE(std::isinf(d.at<float>(0, 0)));  // 0 is unknown
  EXPECT_EQ(d.at<float>(0, 1), 12.5f);
  EXPECT_NEAR(d.at<float>(0, 2), 255.996, 1e-3);

  ASSERT_EQ(readDisparityMap(folder.file("d.bmp"), GreyEncoding{3, 0}, d), "");
  EXPECT_EQ(d.at<float>(0, 1), 10.0f);
  EXPECT_EQ(d.at<float>(0, 2), 85.0f);

  ASSERT_EQ(readDisparityMap(folder.file("d.pfm"), std::nullopt, d), "");
  EXPECT_EQ(d.at<float>(0, 0), 1.5f);
  EXPECT_EQ(d.at<float>(0, 2), -2.0f);
}

TEST(DisparityMapFiles, NamesWhatCannotBeRead) {
  TempFolder folder;
  ASSERT_TRUE(cv::imwrite(folder.file("grey.png"), cv::Mat(2, 2, CV_8UC1, cv::Scalar(9))));
  ASSERT_TRUE(cv::imwrite(folder.file("colour.png"), cv::Mat(2, 2, CV_8UC3, cv::Scalar(9, 8, 7))));
  writeText(folder.file("text.png"), "not an image");
  const struct {
    const char* file;
    const char* message;
  } cases[] = {
      {"grey.png", "give its display level"},
      {"colour.png", "3 channel(s) of 8 bits"},
      {"text.png", "file missing or not an image"},
      {"absent.pfm", "file missing"},
  };
  for (const auto& c : cases) {
    cv::Mat d(1, 1, CV_32FC1);
    const std::string message = readDisparityMap(folder.file(c.file), std::nullopt, d);
    EXPECT_NE(message.find(c.message), std::string::npos) << c.file << ": " << message;
    EXPECT_NE(message.find(folder.file(c.file)), std::string::npos) << message;
    EXPECT_TRUE(d.empty()) << c.file;
  }
  cv::Mat truth;
  EXPECT_NE(readGroundTruth(folder.file("colour.png"), truth).find("8/16-bit single-channel"), std::string::npos);
  EXPECT_TRUE(truth.empty());
  cv::Mat mask;
  EXPECT_NE(readMask(folder.file("absent.png"), mask).find("Cannot read the mask"), std::string::npos);
}

TEST(DisparityMapFiles, KeepsIntegerTruthAsStored) {
  TempFolder folder;
  ASSERT_TRUE(cv::imwrite(folder.file("t.pgm"), cv::Mat(2, 2, CV_8UC1, cv::Scalar(32))));
  cv::Mat truth;
  ASSERT_EQ(readGroundTruth(folder.file("t.pgm"), truth), "");
  EXPECT_EQ(truth.type(), CV_8UC1);
  EXPECT_EQ(truth.at<uchar>(1, 1), 32);
}

}  // namespace
}  // namespace orbelt
