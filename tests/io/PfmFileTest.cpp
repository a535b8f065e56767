#include "io/PfmFile.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/io/ErrorText.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::errorText;
using testing::TempFolder;
using testing::writeText;

std::string floatsBigEndian(std::initializer_list<float> values) {
  std::string out;
  for (float v : values) {
    unsigned char b[4];
    std::memcpy(b, &v, 4);
    out.append({static_cast<char>(b[3]), static_cast<char>(b[2]), static_cast<char>(b[1]), static_cast<char>(b[0])});
  }
  return out;
}

TEST(PfmFile, RoundTripKeepsValuesAndRowOrder) {
  TempFolder folder;
  cv::Mat map(2, 3, CV_32FC1);
  for (int i = 0; i < 6; ++i) map.at<float>(i / 3, i % 3) = 0.5f * i - 1.0f;
  ASSERT_EQ(errorText(writePfm(folder.file("m.pfm"), map)), "");
  // Stored bottom row first, as the format wants.
  const std::string bytes = testing::readText(folder.file("m.pfm"));
  ASSERT_EQ(bytes.rfind("Pf\n3 2\n-1\n", 0), 0u);
  float firstStored = 0;
  std::memcpy(&firstStored, bytes.data() + 10, 4);
  EXPECT_EQ(firstStored, map.at<float>(1, 0));

  const Expected<cv::Mat> back = readPfm(folder.file("m.pfm"));
  ASSERT_EQ(errorText(back), "");
  ASSERT_EQ(back->size(), map.size());
  EXPECT_EQ(cv::norm(*back, map, cv::NORM_INF), 0.0);
}

TEST(PfmFile, ReadsBigEndianMapsAndTheFirstChannelOfColourMaps) {
  TempFolder folder;
  writeText(folder.file("be.pfm"), "Pf\n2 1\n1.0\n" + floatsBigEndian({1.5f, -2.0f}));
  writeText(folder.file("rgb.pfm"), "PF\n1 2\n1\n" + floatsBigEndian({7, 8, 9, 4, 5, 6}));
  const Expected<cv::Mat> be = readPfm(folder.file("be.pfm"));
  ASSERT_EQ(errorText(be), "");
  EXPECT_EQ(be->at<float>(0, 0), 1.5f);
  EXPECT_EQ(be->at<float>(0, 1), -2.0f);
  const Expected<cv::Mat> rgb = readPfm(folder.file("rgb.pfm"));
  ASSERT_EQ(errorText(rgb), "");
  EXPECT_EQ(rgb->at<float>(0, 0), 4.0f);  // the top row is stored last
  EXPECT_EQ(rgb->at<float>(1, 0), 7.0f);
}

TEST(PfmFile, RefusesWhatItCannotReadWholly) {
  TempFolder folder;
  writeText(folder.file("short.pfm"), "Pf\n4 4\n-1\n" + std::string(60, '\0'));
  writeText(folder.file("magic.pfm"), "P5\n4 4\n255\n");
  writeText(folder.file("size.pfm"), "Pf\n-4 4\n-1\n");
  writeText(folder.file("scale.pfm"), "Pf\n1 1\n0\n" + std::string(4, '\0'));
  const struct {
    std::string name, reason;
    ErrorKind kind;
  } cases[] = {
      {"short.pfm", "truncated: 60 bytes of data for 4 x 4 x 1 floats", ErrorKind::InvalidInput},
      {"magic.pfm", "not a PFM file", ErrorKind::InvalidInput},
      {"size.pfm", "bad size -4 x 4", ErrorKind::InvalidInput},
      {"scale.pfm", "the scale must not be 0", ErrorKind::InvalidInput},
      {"absent.pfm", "file missing", ErrorKind::IoFailure},
  };
  for (const auto& c : cases) {
    const Expected<cv::Mat> read = readPfm(folder.file(c.name));
    ASSERT_FALSE(read) << c.name;
    const std::string& message = read.error().message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    EXPECT_NE(message.find(folder.file(c.name)), std::string::npos) << message;
    EXPECT_EQ(read.error().kind, c.kind) << message;
  }
}

}  // namespace
}  // namespace orbelt
