// Loading input images and saving pictures: the messages a user sees for
// each way a file can be unusable, and nothing left behind by a failed save.
#include "io/ImageFile.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "tests/io/ErrorText.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::errorText;
using testing::TempFolder;
using testing::writeText;

bool sameImage(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

TEST(LoadInputImage, KeepsChannelsAndDepthAsStored) {
  TempFolder folder;
  cv::Mat grey16(3, 5, CV_16UC1);
  cv::randu(grey16, 0, 65535);
  ASSERT_TRUE(cv::imwrite(folder.file("g.png"), grey16));
  const Expected<cv::Mat> loaded = loadInputImage(folder.file("g.png"), "reference");
  ASSERT_EQ(errorText(loaded), "");
  EXPECT_TRUE(sameImage(*loaded, grey16));
}

TEST(LoadInputImage, NamesTheRoleThePathAndWhatIsWrong) {
  TempFolder folder;
  std::filesystem::create_directory(folder.file("sub"));
  writeText(folder.file("empty.png"), "");
  writeText(folder.file("text.png"), "not an image");
  const struct {
    std::string path;
    const char* role;
    std::string message;  // exact
    ErrorKind kind;
  } cases[] = {
      {"", "reference", "Cannot read the reference image: no file name given", ErrorKind::IoFailure},
      {folder.file("absent.png"), "target",
       "Cannot read the target image \"" + folder.file("absent.png") + "\": file missing (No such file or directory)",
       ErrorKind::IoFailure},
      {folder.file("sub"), "reference",
       "Cannot read the reference image \"" + folder.file("sub") + "\": it is a folder, not an image file",
       ErrorKind::IoFailure},
      {folder.file("empty.png"), "target",
       "Cannot read the target image \"" + folder.file("empty.png") + "\": the file is empty (0 bytes)",
       ErrorKind::InvalidInput},
      {folder.file("text.png"), "reference",
       "Cannot read the reference image \"" + folder.file("text.png") + "\": not an image file OpenCV can decode",
       ErrorKind::InvalidInput},
  };
  for (const auto& c : cases) {
    const Expected<cv::Mat> loaded = loadInputImage(c.path, c.role);
    ASSERT_FALSE(loaded) << c.path;
    EXPECT_EQ(loaded.error().message, c.message);
    EXPECT_EQ(loaded.error().kind, c.kind) << c.message;
  }
}

TEST(SaveImageAtomically, NeedsAnExtensionToPickTheFormat) {
  TempFolder folder;
  const cv::Mat image(4, 4, CV_8UC1, cv::Scalar(9));
  EXPECT_EQ(errorText(saveImageAtomically(folder.file("map.bmp"), image)), "");
  EXPECT_TRUE(sameImage(cv::imread(folder.file("map.bmp"), cv::IMREAD_UNCHANGED), image));
  EXPECT_NE(errorText(saveImageAtomically(folder.file("map"), image)).find("no extension"), std::string::npos);
  EXPECT_NE(errorText(saveImageAtomically(folder.file("map.nosuchformat"), image)).find(".nosuchformat"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.file("map.nosuchformat")));
}

TEST(SaveImageAtomically, AFailedWriteIsAnIoFailureNamingThePath) {
  TempFolder folder;
  const std::string path = folder.file("missing/map.bmp");
  const Status saved = saveImageAtomically(path, cv::Mat(2, 2, CV_8UC1, cv::Scalar(1)));
  ASSERT_FALSE(saved);
  EXPECT_EQ(saved.error().kind, ErrorKind::IoFailure);
  // Quotes added as characters: GCC 12 at -O3 mistakes a string literal's
  // concatenation here for overlapping copies (-Wrestrict).
  EXPECT_NE(saved.error().message.find('"' + path + '"'), std::string::npos) << saved.error().message;
}

}  // namespace
}  // namespace orbelt
