// Opening and listing the pairs of benchmark folders of every layout, on
// folders made here: which pair a folder (and a frame id) names, the label
// count and calibration it brings, the names a listing gives, and the
// refusals a user meets.
#include "eval/StereoDataset.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "eval/BenchmarkScore.h"
#include "tests/io/ErrorText.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

namespace fs = std::filesystem;
using testing::errorText;
using testing::TempFolder;
using testing::writeText;

const std::string kRequiredKeysCalib =
    "cam0=[1000 0 200; 0 1000 150; 0 0 1]\ncam1=[1000 0 220; 0 1000 150; 0 0 1]\ndoffs=20\nbaseline=160\n"
    "ndisp=64\n";

const std::string kKittiCalib =
    "P_rect_02: 700 0 600 42 0 700 170 0 0 0 1 0\nP_rect_03: 700 0 600 -336 0 700 170 0 0 0 1 0\n";

void make2014Set(const fs::path& folder, const std::string& calib = kRequiredKeysCalib) {
  fs::create_directories(folder);
  for (const char* file : {"im0.png", "im1.png"}) writeText((folder / file).string(), "x");
  writeText((folder / "calib.txt").string(), calib);
}

void makeOlderSet(const fs::path& folder) {  // the 2003 layout
  fs::create_directories(folder);
  for (const char* file : {"im2.png", "im6.png", "disp2.png", "nonocc.png"}) writeText((folder / file).string(), "x");
}

void makeKittiFrame(const fs::path& split, const std::string& id, bool right = true) {
  fs::create_directories(split / "image_2");
  fs::create_directories(split / "image_3");
  writeText((split / "image_2" / (id + ".png")).string(), "x");
  if (right) writeText((split / "image_3" / (id + ".png")).string(), "x");
}

TEST(StereoDataset, EachLayoutBringsItsViewsLabelCountAndCalibration) {
  TempFolder root;
  make2014Set(root.file("Adirondack"));
  makeOlderSet(root.file("teddy"));
  makeKittiFrame(root.file("kitti"), "000003_10");
  fs::create_directories(root.file("kitti/calib_cam_to_cam"));
  writeText(root.file("kitti/calib_cam_to_cam/000003.txt"), kKittiCalib);
  makeKittiFrame(root.file("uncalibrated"), "000000_10");

  const struct {
    const char* folder;
    const char* layout;
    const char* name;
    const char* left;
    int labels;
    double baseline;  // 0: no calibration
  } cases[] = {
      {"Adirondack", "middlebury2014", "Adirondack", "Adirondack/im0.png", 64, 160},
      {"teddy", "middlebury", "teddy", "teddy/im2.png", 60, 0},
      {"kitti", "kitti2015", "000003_10", "kitti/image_2/000003_10.png", 192, 0.54},
      {"uncalibrated", "kitti2015", "000000_10", "uncalibrated/image_2/000000_10.png", 192, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    const Expected<StereoDataset> dataset = openStereoDataset(root.file(c.folder));
    ASSERT_EQ(errorText(dataset), "");
    EXPECT_EQ(layoutName(*dataset), c.layout);
    EXPECT_EQ(dataset->name, c.name);
    EXPECT_EQ(dataset->left, root.file(c.left));
    EXPECT_EQ(dataset->labelCount, c.labels);
    ASSERT_EQ(dataset->calibration.has_value(), c.baseline > 0);
    if (c.baseline > 0) {
      EXPECT_DOUBLE_EQ(dataset->calibration->baseline, c.baseline);
    }
    // None of these folders holds a truth: a run of them is simply not scored.
    const Expected<BenchmarkTruth> truth = readBenchmarkTruth(*dataset);
    ASSERT_EQ(errorText(truth), "");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(*truth));
  }
}

TEST(StereoDataset, AFrameIsNamedByItsIdWithOrWithoutTheInstantAndItsSplitWhenTwoShareIt) {
  TempFolder root;
  makeKittiFrame(root.file("training"), "000000_10");
  makeKittiFrame(root.file("training"), "000001_10");
  makeKittiFrame(root.file("testing"), "000000_10");
  const struct {
    const char* frame;
    const char* split;  // empty: refused
    const char* message;
  } cases[] = {
      {"000001", "training", ""},
      {"000001_10", "training", ""},
      {"training/000000", "training", ""},
      {"testing/000000_10", "testing", ""},
      {"000000", "",
       "--frame \"000000\" names 2 KITTI frames of \"ROOT\" (testing/000000_10, training/000000_10); "
       "put the split folder before the id"},
      {"000009", "",
       "The folder \"ROOT\" holds no KITTI frame \"000009\" (its frames: testing/000000_10, "
       "training/000000_10, training/000001_10)"},
      {"", "",
       "The folder \"ROOT\" holds 3 KITTI frames; name one with --frame (testing/000000_10, "
       "training/000000_10, training/000001_10)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frame);
    const Expected<StereoDataset> dataset = openStereoDataset(root.path(), c.frame, "--frame");
    if (*c.split) {
      ASSERT_EQ(errorText(dataset), "");
      EXPECT_EQ(std::get<KittiFrame>(dataset->source).split, root.file(c.split));
      continue;
    }
    std::string message = c.message;
    message.replace(message.find("ROOT"), 4, root.path());
    EXPECT_EQ(errorText(dataset), message);
  }
}

TEST(StereoDataset, RefusalsNameTheFolderAndWhatIsWrong) {
  TempFolder root;
  make2014Set(root.file("no-ndisp"), "cam0=[1000 0 200; 0 1000 150; 0 0 1]\ndoffs=20\nbaseline=160\n");
  make2014Set(root.file("zero-ndisp"), kRequiredKeysCalib + "ndisp=0\n");
  make2014Set(root.file("wordy"), "cam0=[1000 0 200; 0 1000 150; 0 0 1]\ndoffs=20\nbaseline=wide\nndisp=64\n");
  make2014Set(root.file("set"));
  makeKittiFrame(root.file("one-sided"), "000000_10");
  makeKittiFrame(root.file("one-sided"), "000001_10", false);
  makeKittiFrame(root.file("bad-calib"), "000000_10");
  writeText(root.file("bad-calib/calib_cam_to_cam.txt"), "P_rect_02: 1 2 3\nP_rect_03: 1 2 3\n");
  fs::create_directories(root.file("empty"));
  const struct {
    const char* folder;
    const char* frame;
    ErrorKind kind;
    std::string message;
  } cases[] = {
      {"no-ndisp", "", ErrorKind::InvalidInput, "the key \"ndisp\" is missing"},
      {"zero-ndisp", "", ErrorKind::InvalidInput, "ndisp must be a whole number of at least 1, not 0"},
      {"wordy", "", ErrorKind::InvalidInput, "the key \"baseline\" holds \"wide\", not a number"},
      {"set", "000000", ErrorKind::InvalidInput, "--frame names a KITTI frame, but"},
      {"one-sided", "000000", ErrorKind::InvalidInput, "The KITTI frame 000001_10 in"},
      {"bad-calib", "", ErrorKind::InvalidInput, "must be a 3 x 4 matrix"},
      {"empty", "", ErrorKind::InvalidInput, "holds no Middlebury set and no KITTI frames"},
      {"nowhere", "", ErrorKind::IoFailure, "is not there"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    const Expected<StereoDataset> dataset = openStereoDataset(root.file(c.folder), c.frame, "--frame");
    ASSERT_FALSE(dataset);
    EXPECT_EQ(dataset.error().kind, c.kind);
    EXPECT_NE(dataset.error().message.find(c.message), std::string::npos) << dataset.error().message;
    // Every listing that meets the folder fails as opening it does.
    if (c.kind == ErrorKind::InvalidInput && std::string(c.folder) != "set") {
      const Expected<std::vector<StereoDataset>> listed = listStereoDatasets(root.file(c.folder));
      ASSERT_FALSE(listed);
      EXPECT_NE(listed.error().message.find(c.message), std::string::npos) << listed.error().message;
    }
  }
}

TEST(StereoDataset, AListingFindsEveryLayoutBelowTheRootAndNamesEachPairByItsPath) {
  TempFolder root;
  make2014Set(root.file("trainingQ/Adirondack"));
  make2014Set(root.file("trainingH/Adirondack"));
  makeOlderSet(root.file("middlebury2003/teddy"));
  makeKittiFrame(root.file("training"), "000000_10");
  makeKittiFrame(root.file("training"), "000001_10");
  makeKittiFrame(root.file("kitti2012/testing"), "000005_10");
  fs::create_directories(root.file("notes/misc"));

  const Expected<std::vector<StereoDataset>> listed = listStereoDatasets(root.path());
  ASSERT_EQ(errorText(listed), "");
  std::vector<std::pair<std::string, std::string>> found;
  for (const StereoDataset& pair : *listed) found.emplace_back(pair.name, layoutName(pair));
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"middlebury2003-teddy", "middlebury"},
      {"trainingH-Adirondack", "middlebury2014"},
      {"trainingQ-Adirondack", "middlebury2014"},
      {"kitti2012-testing-000005_10", "kitti2015"},  // a split two levels down
      {"training-000000_10", "kitti2015"},
      {"training-000001_10", "kitti2015"},
  };
  EXPECT_EQ(found, expected);

  // A set given as the root is the one pair, under its own name; a split
  // given as the root names its frames by id alone.
  const Expected<std::vector<StereoDataset>> one = listStereoDatasets(root.file("trainingQ/Adirondack"));
  ASSERT_EQ(errorText(one), "");
  ASSERT_EQ(one->size(), 1u);
  EXPECT_EQ(one->front().name, "Adirondack");
  const Expected<std::vector<StereoDataset>> split = listStereoDatasets(root.file("training"));
  ASSERT_EQ(errorText(split), "");
  ASSERT_EQ(split->size(), 2u);
  EXPECT_EQ(split->front().name, "000000_10");
}

}  // namespace
}  // namespace orbelt
