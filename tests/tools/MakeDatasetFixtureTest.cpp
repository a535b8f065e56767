// The dataset fixture program, as scripts (and the Python suite) call it:
// each layout it makes is recognised by the readers of that layout, and a
// wrong call says so with its own status.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "eval/KittiFrames.h"
#include "eval/Middlebury2014Set.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

int runFixture(const std::string& args) {
  const std::string command = "'" ORBELT_MAKE_DATASET_FIXTURE_PATH "' " + args + " >/dev/null 2>&1";
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(MakeDatasetFixture, MakesEachLayoutFromTeddy) {
  const std::string teddy = std::string(ORBELT_SHARED_DATA_DIR) + "/middlebury2003/teddy";
  if (!std::filesystem::is_directory(teddy)) GTEST_SKIP() << "no public dataset at " << teddy;
  testing::TempFolder folder;
  ASSERT_EQ(runFixture("middlebury2014 '" + teddy + "' '" + folder.file("2014/Teddy") + "'"), 0);
  EXPECT_TRUE(findMiddlebury2014Set(folder.file("2014/Teddy")));
  for (const char* kind : {"kitti2015", "kitti2012"}) {
    ASSERT_EQ(runFixture(std::string(kind) + " '" + teddy + "' '" + folder.file(kind) + "/training'"), 0) << kind;
    const Expected<std::vector<KittiFrame>> frames = listKittiFrames(folder.file(kind));
    ASSERT_TRUE(frames) << frames.error().message;
    EXPECT_EQ(frames->size(), 1u) << kind;
  }
}

TEST(MakeDatasetFixture, AWrongCallOrAMissingSourceFails) {
  testing::TempFolder folder;
  EXPECT_EQ(runFixture(""), 2);
  EXPECT_EQ(runFixture("kitti2019 a b"), 2);
  EXPECT_EQ(runFixture("middlebury2014 '" + folder.file("absent") + "' '" + folder.file("out") + "'"), 1);
  EXPECT_FALSE(std::filesystem::exists(folder.file("out")));
}

}  // namespace
}  // namespace orbelt
