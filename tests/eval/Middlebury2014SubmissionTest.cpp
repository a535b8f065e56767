// The submission tree: where each set's files go, what they hold, and that
// nothing is written for inputs that cannot make a valid submission.
#include "eval/Middlebury2014Submission.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "io/PfmFile.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

namespace fs = std::filesystem;
using testing::readText;
using testing::TempFolder;

TEST(Middlebury2014Submission, MirrorsTheSetsBelowTheDatasetRoot) {
  TempFolder root;
  fs::create_directories(root.file("data/trainingQ/Adirondack"));
  const struct {
    std::string set;
    std::string expected;
  } cases[] = {
      {root.file("data/trainingQ/Adirondack"), "out/trainingQ/Adirondack"},
      {root.file("data/trainingQ/../trainingQ/Adirondack/"), "out/trainingQ/Adirondack"},
      {root.file("data"), "out"},
  };
  for (const auto& c : cases) {
    const Expected<std::string> folder = submissionFolder("out", root.file("data"), c.set);
    ASSERT_TRUE(folder) << c.set;
    EXPECT_EQ(*folder, c.expected) << c.set;
  }
  const Expected<std::string> outside = submissionFolder("out", root.file("data/trainingQ"), root.file("data"));
  ASSERT_FALSE(outside);
  EXPECT_NE(outside.error().message.find("does not lie in the dataset folder"), std::string::npos);
}

TEST(Middlebury2014Submission, WritesTheMapAndTheSecondsUnderTheMethodsName) {
  TempFolder root;
  const std::string folder = root.file("out/trainingQ/Adirondack");  // made on the way
  const cv::Mat map = (cv::Mat_<float>(2, 2) << 1.5f, std::numeric_limits<float>::infinity(), 3, 4);
  ASSERT_TRUE(writeMiddlebury2014Submission(folder, "Orbelt_rgb-2", map, 12.3456));
  const Expected<cv::Mat> back = readPfm(folder + "/disp0Orbelt_rgb-2.pfm");
  ASSERT_TRUE(back);
  EXPECT_EQ(cv::norm(*back != map, cv::NORM_L1), 0);
  EXPECT_EQ(readText(folder + "/timeOrbelt_rgb-2.txt"), "12.346\n");
}

TEST(Middlebury2014Submission, RefusesBeforeWritingAnything) {
  TempFolder root;
  const cv::Mat map(2, 2, CV_32FC1, cv::Scalar(1));
  const struct {
    std::string method;
    double seconds;
    cv::Mat map;
    const char* message;
  } cases[] = {
      {"", 1, map, "The method name \"\" must be one or more letters"},
      {"../up", 1, map, "The method name \"../up\" must be"},
      {"two words", 1, map, "The method name \"two words\" must be"},
      {"M", -0.5, map, "The run time must be a number of seconds of 0 or more, not -0.5"},
      {"M", std::nan(""), map, "The run time must be a number of seconds of 0 or more, not nan"},
      {"M", 1, cv::Mat(2, 2, CV_8UC1), "A submission needs a disparity map of one 32-bit float channel"},
  };
  for (const auto& c : cases) {
    const Status written = writeMiddlebury2014Submission(root.file("out/set"), c.method, c.map, c.seconds);
    ASSERT_FALSE(written) << c.message;
    EXPECT_EQ(written.error().message.rfind(c.message, 0), 0u) << written.error().message;
    EXPECT_FALSE(fs::exists(root.file("out"))) << c.message;
  }
}

}  // namespace
}  // namespace orbelt
