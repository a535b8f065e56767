// Recognising dataset folders by their files.
#include "eval/MiddleburySet.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::TempFolder;
using testing::writeText;

TEST(MiddleburySet, RecognisesEachLayoutWithItsScaleAndRange) {
  TempFolder root;
  const struct {
    const char* folder;
    std::vector<const char*> files;
    double scale;
    int labels;
    bool masks;
  } cases[] = {
      {"a/tsukuba",
       {"imL.png", "imR.png", "truedisp.row3.col3.pgm", "nonocc.png", "all.png", "disc.png"},
       16,
       16,
       true},
      {"a/sawtooth", {"im2.ppm", "im6.ppm", "disp2.pgm"}, 8, 20, false},
      {"b/teddy", {"im2.png", "im6.png", "disp2.png", "nonocc.png", "all.png", "disc.png"}, 4, 60, true},
      {"c/Art", {"view1.png", "view5.png", "disp1.png", "dmin.txt"}, 3, 80, false},
  };
  for (const auto& c : cases) {
    std::filesystem::create_directories(root.file(c.folder));
    for (const char* f : c.files) writeText(root.file(c.folder) + "/" + f, "x");
    const Expected<MiddleburySet> found = findMiddleburySet(root.file(c.folder));
    ASSERT_TRUE(found) << c.folder << ": " << found.error().message;
    const MiddleburySet& set = *found;
    EXPECT_EQ(set.truthScale, c.scale) << c.folder;
    EXPECT_EQ(set.labelCount, c.labels) << c.folder;
    EXPECT_EQ(set.nonocc.empty(), !c.masks) << c.folder;
    EXPECT_EQ(set.name, std::filesystem::path(c.folder).filename().string());
  }
  // A folder with only two views is no set, and is passed over by the listing.
  std::filesystem::create_directories(root.file("c/half"));
  writeText(root.file("c/half/view1.png"), "x");
  writeText(root.file("c/half/view5.png"), "x");
  const Expected<MiddleburySet> half = findMiddleburySet(root.file("c/half"));
  ASSERT_FALSE(half);
  EXPECT_NE(half.error().message.find("holds no Middlebury set"), std::string::npos);
  const Expected<MiddleburySet> nowhere = findMiddleburySet(root.file("nowhere"));
  ASSERT_FALSE(nowhere);
  EXPECT_NE(nowhere.error().message.find("is not there"), std::string::npos);

  const std::vector<MiddleburySet> all = listMiddleburySets(root.path());
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].name, "sawtooth");  // a/sawtooth sorts before a/tsukuba
  EXPECT_EQ(all[3].name, "Art");
}

TEST(MiddleburySet, FindsThePublicSets) {
  const std::string root = ORBELT_SHARED_DATA_DIR;
  if (!std::filesystem::is_directory(root)) GTEST_SKIP() << "no public datasets at " << root;
  EXPECT_EQ(listMiddleburySets(root).size(), 11u);
}

}  // namespace
}  // namespace orbelt
