// Point clouds as binary PLY files, read back by a parser written from the
// format's description, not from the writer.
#include "io/PlyFile.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <sstream>

#include "tests/io/ErrorText.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::errorText;
using testing::readText;
using testing::TempFolder;
using testing::writeText;

struct ParsedPly {
  std::vector<std::string> headerLines;  // "ply" .. "end_header"
  long vertices = -1;                    // the header's vertex count
  std::string body;                      // the bytes after the header
};

ParsedPly parsePly(const std::string& bytes) {
  ParsedPly ply;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) break;
    const std::string line = bytes.substr(pos, end - pos);
    pos = end + 1;
    ply.headerLines.push_back(line);
    if (line.rfind("element vertex ", 0) == 0) ply.vertices = std::stol(line.substr(15));
    if (line == "end_header") break;
  }
  ply.body = bytes.substr(pos);
  return ply;
}

TEST(PlyFile, HeaderCountsTheVerticesAndEachRecordIsFifteenLittleEndianBytes) {
  TempFolder folder;
  PointCloud cloud;
  cloud.points = {cv::Vec3f(1.5f, -2.0f, 300.25f), cv::Vec3f(0.0f, 1e-3f, 7.0f), cv::Vec3f(-4.0f, 5.0f, 6.0f)};
  // Added one by one: a braced list of Vec3b trips a false uninitialised warning in GCC 12.
  for (const auto& [r, g, b] : {std::array<int, 3>{255, 0, 10}, {1, 2, 3}, {128, 64, 32}}) {
    cloud.colors.emplace_back(uchar(r), uchar(g), uchar(b));
  }
  ASSERT_EQ(errorText(writePly(folder.file("c.ply"), cloud)), "");
  const ParsedPly ply = parsePly(readText(folder.file("c.ply")));
  ASSERT_GE(ply.headerLines.size(), 3u);
  EXPECT_EQ(ply.headerLines[0], "ply");
  EXPECT_EQ(ply.headerLines[1], "format binary_little_endian 1.0");
  EXPECT_EQ(ply.vertices, 3);
  const std::vector<std::string> properties = {"property float x",   "property float y",     "property float z",
                                               "property uchar red", "property uchar green", "property uchar blue"};
  const auto firstProperty = std::find(ply.headerLines.begin(), ply.headerLines.end(), properties[0]);
  ASSERT_NE(firstProperty, ply.headerLines.end());
  EXPECT_EQ(std::vector<std::string>(firstProperty, firstProperty + 6), properties);
  EXPECT_EQ(ply.headerLines.back(), "end_header");
  ASSERT_EQ(ply.body.size(), 3u * 15u);
  for (std::size_t i = 0; i < 3; ++i) {
    const unsigned char* record = reinterpret_cast<const unsigned char*>(ply.body.data()) + 15 * i;
    for (int k = 0; k < 3; ++k) {
      // Assembled byte by byte, least significant first, whatever the machine.
      const std::uint32_t bits =
          record[4 * k] | record[4 * k + 1] << 8 | record[4 * k + 2] << 16 | std::uint32_t(record[4 * k + 3]) << 24;
      float value = 0;
      std::memcpy(&value, &bits, 4);
      EXPECT_EQ(value, cloud.points[i][k]) << i << "," << k;
    }
    EXPECT_EQ(cv::Vec3b(record[12], record[13], record[14]), cloud.colors[i]) << i;
  }
}

TEST(PlyFile, AnEmptyCloudIsAValidFileWithNoVertex) {
  TempFolder folder;
  ASSERT_EQ(errorText(writePly(folder.file("empty.ply"), PointCloud{})), "");
  const ParsedPly ply = parsePly(readText(folder.file("empty.ply")));
  EXPECT_EQ(ply.vertices, 0);
  EXPECT_EQ(ply.headerLines.back(), "end_header");
  EXPECT_TRUE(ply.body.empty());
}

TEST(PlyFile, RefusalsNameThePathAndLeaveAnEarlierFileAlone) {
  TempFolder folder;
  writeText(folder.file("old.ply"), "earlier");
  PointCloud uneven;
  uneven.points = {cv::Vec3f(1, 2, 3), cv::Vec3f(4, 5, 6)};
  uneven.colors.emplace_back(1, 2, 3);
  Status written = writePly(folder.file("old.ply"), uneven);
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().kind, ErrorKind::InvalidInput);
  EXPECT_NE(written.error().message.find("2 points but 1 colours"), std::string::npos) << written.error().message;
  EXPECT_EQ(readText(folder.file("old.ply")), "earlier");

  const std::string missing = folder.file("no/such/folder/c.ply");
  written = writePly(missing, PointCloud{});
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().kind, ErrorKind::IoFailure);
  EXPECT_NE(written.error().message.find("\"" + missing + "\""), std::string::npos) << written.error().message;
  EXPECT_NE(written.error().message.find("is not there"), std::string::npos) << written.error().message;
}

}  // namespace
}  // namespace orbelt
