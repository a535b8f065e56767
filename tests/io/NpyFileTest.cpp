#include "io/NpyFile.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/io/ErrorText.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

// The parts of an .npy file as a reader sees them.
struct NpyParts {
  std::string magic;
  int major = 0, minor = 0;
  std::string dictionary;
  std::size_t dataOffset = 0;
};

NpyParts parse(const std::string& bytes) {
  NpyParts parts;
  parts.magic = bytes.substr(0, 6);
  parts.major = static_cast<unsigned char>(bytes[6]);
  parts.minor = static_cast<unsigned char>(bytes[7]);
  const std::size_t length = static_cast<unsigned char>(bytes[8]) | (static_cast<unsigned char>(bytes[9]) << 8);
  parts.dictionary = bytes.substr(10, length);
  parts.dataOffset = 10 + length;
  return parts;
}

TEST(NpyFile, HeaderDescribesAFloat32COrderArrayAndAlignsTheData) {
  struct Case {
    std::vector<std::size_t> shape;
    std::string shapeText;
  };
  const Case cases[] = {{{300, 400, 70}, "(300, 400, 70)"}, {{5}, "(5,)"}, {{2, 3}, "(2, 3)"}};
  for (const Case& c : cases) {
    const NpyParts parts = parse(npyFloat32Header(c.shape));
    EXPECT_EQ(parts.magic, "\x93NUMPY");
    EXPECT_EQ(parts.major, 1);
    EXPECT_EQ(parts.minor, 0);
    EXPECT_EQ(parts.dictionary.rfind("{'descr': '<f4', 'fortran_order': False, 'shape': " + c.shapeText + ", }", 0), 0u)
        << parts.dictionary;
    EXPECT_EQ(parts.dictionary.back(), '\n');
    EXPECT_EQ(parts.dataOffset % 64, 0u);
  }
}

TEST(NpyFile, WritesTheHeaderThenTheValuesInOrder) {
  testing::TempFolder folder;
  const float values[] = {0.5f, -1.0f, 3.25f, 50.0f, 0.0f, 7.0f};
  ASSERT_EQ(testing::errorText(writeNpyFloat32(folder.file("c.npy"), values, {1, 2, 3})), "");
  const std::string bytes = testing::readText(folder.file("c.npy"));
  const NpyParts parts = parse(bytes);
  ASSERT_EQ(bytes.size(), parts.dataOffset + sizeof values);
  EXPECT_EQ(std::memcmp(bytes.data() + parts.dataOffset, values, sizeof values), 0);
}

TEST(NpyFile, AFailedWriteNamesThePath) {
  const float value = 1.0f;
  const Status written = writeNpyFloat32("/nonexistent-folder/c.npy", &value, {1});
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().kind, ErrorKind::IoFailure);
  EXPECT_NE(written.error().message.find("/nonexistent-folder/c.npy"), std::string::npos) << written.error().message;
}

}  // namespace
}  // namespace orbelt
