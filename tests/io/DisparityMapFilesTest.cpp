// Reading results and truths in every form Orbelt writes or the datasets
// ship, from small files written here with OpenCV.
#include "io/DisparityMapFiles.h"

#include <gtest/gtest.h>

#include <cmath>

#include <opencv2/imgcodecs.hpp>

#include "io/PfmFile.h"
#include "tests/io/ErrorText.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::errorText;
using testing::TempFolder;
using testing::writeText;

TEST(DisparityMapFiles, ReadsEachResultForm) {
  TempFolder folder;
  const cv::Mat png16 = (cv::Mat_<unsigned short>(1, 3) << 0, 256 * 12 + 128, 65535);
  ASSERT_TRUE(cv::imwrite(folder.file("d.png"), png16));
  const cv::Mat grey = (cv::Mat_<uchar>(1, 3) << 0, 30, 255);
  ASSERT_TRUE(cv::imwrite(folder.file("d.bmp"), grey));
  ASSERT_EQ(errorText(writePfm(folder.file("d.pfm"), (cv::Mat_<float>(1, 3) << 1.5f, INFINITY, -2.0f))), "");

  const Expected<cv::Mat> png = readDisparityMap(folder.file("d.png"), std::nullopt);
  ASSERT_EQ(errorText(png), "");
  EXPECT_TRUE(std::isinf(png->at<float>(0, 0)));  // 0 is unknown
  EXPECT_EQ(png->at<float>(0, 1), 12.5f);
  EXPECT_NEAR(png->at<float>(0, 2), 255.996, 1e-3);

  const Expected<cv::Mat> bmp = readDisparityMap(folder.file("d.bmp"), GreyEncoding{3, 0});
  ASSERT_EQ(errorText(bmp), "");
  EXPECT_EQ(bmp->at<float>(0, 1), 10.0f);
  EXPECT_EQ(bmp->at<float>(0, 2), 85.0f);

  const Expected<cv::Mat> pfm = readDisparityMap(folder.file("d.pfm"), std::nullopt);
  ASSERT_EQ(errorText(pfm), "");
  EXPECT_EQ(pfm->at<float>(0, 0), 1.5f);
  EXPECT_EQ(pfm->at<float>(0, 2), -2.0f);
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
    const Expected<cv::Mat> d = readDisparityMap(folder.file(c.file), std::nullopt);
    ASSERT_FALSE(d) << c.file;
    const std::string& message = d.error().message;
    EXPECT_NE(message.find(c.message), std::string::npos) << c.file << ": " << message;
    EXPECT_NE(message.find(folder.file(c.file)), std::string::npos) << message;
  }
  const Expected<cv::Mat> truth = readGroundTruth(folder.file("colour.png"));
  ASSERT_FALSE(truth);
  EXPECT_NE(truth.error().message.find("8/16-bit single-channel"), std::string::npos);
  const Expected<cv::Mat> mask = readMask(folder.file("absent.png"));
  ASSERT_FALSE(mask);
  EXPECT_NE(mask.error().message.find("Cannot read the mask"), std::string::npos);
}

TEST(DisparityMapFiles, KeepsIntegerTruthAsStored) {
  TempFolder folder;
  ASSERT_TRUE(cv::imwrite(folder.file("t.pgm"), cv::Mat(2, 2, CV_8UC1, cv::Scalar(32))));
  const Expected<cv::Mat> truth = readGroundTruth(folder.file("t.pgm"));
  ASSERT_EQ(errorText(truth), "");
  EXPECT_EQ(truth->type(), CV_8UC1);
  EXPECT_EQ(truth->at<uchar>(1, 1), 32);
}

}  // namespace
}  // namespace orbelt
