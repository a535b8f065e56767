// Reading batch manifests and shard specifications; the runs themselves are
// exercised through the built program in OrbeltCliTest.
#include "report/BatchManifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::TempFolder;
using testing::writeText;

bool hasPair(const std::vector<std::string>& args, const std::string& option, const std::string& value) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == option && args[i + 1] == value) return true;
  }
  return false;
}

TEST(BatchManifest, ManifestPairsBecomeCommandLines) {
  TempFolder folder;
  std::filesystem::create_directories(folder.file("sets/teddy"));
  for (const char* f : {"im2.png", "im6.png", "disp2.png", "nonocc.png"})
    writeText(folder.file("sets/teddy/") + f, "x");
  writeText(folder.file("m.json"), R"({
    "defaults": {"seed": 1, "lambda": 0.05},
    "pairs": [
      {"dataset": "sets/teddy"},
      {"name": "mine", "left": "l.png", "right": "/abs/r.png", "truth": "gt.pfm",
       "options": {"disparity-range": 12, "subpixel": true, "lr-check": 2}}
    ]})");
  const Expected<std::vector<BatchPair>> read = readBatchManifest(folder.file("m.json"), "out");
  ASSERT_TRUE(read) << read.error().message;
  const std::vector<BatchPair>& pairs = *read;
  ASSERT_EQ(pairs.size(), 2u);

  const BatchPair& teddy = pairs[0];
  EXPECT_EQ(teddy.name, "teddy");
  EXPECT_EQ(teddy.mask, "nonocc");
  EXPECT_EQ(teddy.args[0], folder.file("sets/teddy/im2.png"));
  EXPECT_TRUE(hasPair(teddy.args, "--disparity-range", "60"));  // the set's label count
  EXPECT_TRUE(hasPair(teddy.args, "--gt-scale", "4"));
  EXPECT_TRUE(hasPair(teddy.args, "--mask", folder.file("sets/teddy/nonocc.png")));
  EXPECT_TRUE(hasPair(teddy.args, "--seed", "1"));
  EXPECT_TRUE(hasPair(teddy.args, "--lambda", "0.05"));
  EXPECT_TRUE(hasPair(teddy.args, "--pfm", "out/teddy.pfm"));
  EXPECT_TRUE(hasPair(teddy.args, "--json", "out/teddy.json"));

  const BatchPair& mine = pairs[1];
  EXPECT_EQ(mine.args[0], folder.file("l.png"));
  EXPECT_EQ(mine.args[1], "/abs/r.png");
  EXPECT_TRUE(hasPair(mine.args, "--disparity-range", "12"));
  EXPECT_TRUE(hasPair(mine.args, "--lr-check", "2"));
  EXPECT_TRUE(hasPair(mine.args, "--gt-scale", "1"));
  EXPECT_NE(std::find(mine.args.begin(), mine.args.end(), "--subpixel"), mine.args.end());
}

TEST(BatchManifest, RefusesManifestsItCannotRunWhole) {
  TempFolder folder;
  const struct {
    const char* json;
    const char* message;
  } cases[] = {
      {"{", "not valid JSON"},
      {R"({"pairs": {}})", "needs a \"pairs\" array"},
      {R"({"pairs": []})", "lists no pairs"},
      {R"({"pairs": [{"left": "a.png"}]})", "Pair 1 (\"pair1\"): give \"left\" and \"right\""},
      {R"({"pairs": [{"name": "x", "left": "a", "right": "b"}, {"name": "x", "left": "a", "right": "b"}]})",
       "Pair 2 (\"x\"): the name is used twice"},
      {R"({"pairs": [{"name": "../up", "left": "a", "right": "b"}]})", "may hold only letters"},
      {R"({"pairs": [{"left": "a", "right": "b", "options": {"json": "x.json"}}]})", "set by the batch itself"},
      {R"({"pairs": [{"left": "a", "right": "b", "options": {"lambda": [1]}}]})", "must be a string, a number"},
      {R"({"pairs": [{"left": "a", "right": "b", "scale": 0}]})", "\"scale\" must be a positive number"},
      {R"({"pairs": [{"left": 3, "right": "b"}]})", "\"left\" must be a string"},
      {R"({"pairs": [{"dataset": "nowhere"}]})", "is not there"},
      {R"({"defaults": {"output": "m.bmp"}, "pairs": [{"left": "a", "right": "b"}]})", "\"defaults\""},
  };
  for (const auto& c : cases) {
    writeText(folder.file("m.json"), c.json);
    // A manifest runs whole or not at all: no pair comes back.
    const Expected<std::vector<BatchPair>> read = readBatchManifest(folder.file("m.json"), "out");
    ASSERT_FALSE(read) << c.json;
    EXPECT_NE(read.error().message.find(c.message), std::string::npos) << c.json << "\n" << read.error().message;
  }
  const Expected<std::vector<BatchPair>> absent = readBatchManifest(folder.file("absent.json"), "out");
  ASSERT_FALSE(absent);
  EXPECT_NE(absent.error().message.find("Cannot read the manifest"), std::string::npos);
}

// Folders of each benchmark layout, with fake files: the readers only look
// at the names, and calib.txt.
void makeDatasets(const TempFolder& folder) {
  for (const char* set : {"root/trainingQ/Adirondack", "root/trainingQ/Motorcycle"}) {
    std::filesystem::create_directories(folder.file(set));
    for (const char* f : {"/im0.png", "/im1.png"}) writeText(folder.file(set) + f, "x");
    writeText(folder.file(set) + "/calib.txt",
              "cam0=[900 0 300; 0 900 200; 0 0 1]\ndoffs=10\nbaseline=170\nndisp=90\n");
  }
  for (const char* view : {"root/training/image_2", "root/training/image_3"}) {
    std::filesystem::create_directories(folder.file(view));
    writeText(folder.file(view) + "/000004_10.png", "x");
  }
}

std::vector<std::string> tail(const std::vector<std::string>& args, std::size_t from) {
  return {args.begin() + static_cast<std::ptrdiff_t>(std::min(from, args.size())), args.end()};
}

TEST(BatchManifest, ADatasetFolderBecomesOneRunPerSetAndFrameWithTheSubmissionMirroringTheSets) {
  TempFolder folder;
  makeDatasets(folder);
  const Expected<std::vector<BatchPair>> read =
      readDatasetBatch(folder.file("root"), "out", {"--seed", "1", "--base-disparity", "-2"}, "Mine");
  ASSERT_TRUE(read) << read.error().message;
  ASSERT_EQ(read->size(), 3u);
  const BatchPair& adirondack = (*read)[0];
  EXPECT_EQ(adirondack.name, "trainingQ-Adirondack");
  EXPECT_EQ(adirondack.mask, "");  // scored by its benchmark's regions
  EXPECT_EQ(adirondack.args,
            (std::vector<std::string>{"--dataset", folder.file("root/trainingQ/Adirondack"), "--no-map", "-q", "--seed",
                                      "1", "--base-disparity", "-2", "--pfm", "out/trainingQ-Adirondack.pfm", "--json",
                                      "out/trainingQ-Adirondack.json", "--submit", "Mine", "--submit-dir",
                                      "out/submission/trainingQ"}));
  EXPECT_EQ((*read)[1].name, "trainingQ-Motorcycle");
  const BatchPair& frame = (*read)[2];
  EXPECT_EQ(frame.name, "training-000004_10");
  // A frame has no submission of this kind; its map goes out as KITTI's 16-bit PNG too.
  EXPECT_EQ(tail(frame.args, 10),
            (std::vector<std::string>{"--pfm", "out/training-000004_10.pfm", "--json", "out/training-000004_10.json",
                                      "--png16", "out/training-000004_10.png"}));
  EXPECT_EQ(frame.args[1], folder.file("root/training"));
  EXPECT_TRUE(hasPair(frame.args, "--frame", "000004_10"));

  // A manifest may name such a folder too; a KITTI folder with its frame.
  writeText(folder.file("m.json"), R"({"pairs": [
      {"dataset": "root/trainingQ/Adirondack"},
      {"name": "road", "dataset": "root", "frame": "000004"}]})");
  const Expected<std::vector<BatchPair>> manifest = readBatchManifest(folder.file("m.json"), "out");
  ASSERT_TRUE(manifest) << manifest.error().message;
  EXPECT_EQ((*manifest)[0].name, "Adirondack");
  EXPECT_EQ((*manifest)[0].args[1], folder.file("root/trainingQ/Adirondack"));
  EXPECT_FALSE(hasPair((*manifest)[0].args, "--disparity-range", "90"));  // the run takes ndisp itself
  EXPECT_TRUE(hasPair((*manifest)[1].args, "--png16", "out/road.png"));
}

TEST(BatchManifest, RefusesDatasetRunsThatCannotRunWhole) {
  TempFolder folder;
  makeDatasets(folder);
  const struct {
    std::vector<std::string> options;
    const char* method;
    const char* root;
    const char* message;
  } cases[] = {
      {{"--pfm", "x.pfm"}, "", "root", "the option \"--pfm\" is set by the batch itself"},
      {{"--json=x.json"}, "", "root", "the option \"--json=x.json\" is set by the batch itself"},
      {{"-o", "x.bmp"}, "", "root", "the option \"-o\" is set by the batch itself"},
      {{"--ply", "x.ply"}, "", "root", "the option \"--ply\" names a file, which every pair would write over"},
      {{"--submit", "x"}, "", "root", "the option \"--submit\" names a file"},
      {{}, "my method", "root", "The method name \"my method\" must be one or more letters"},
      {{}, "Mine", "root/training", "A submission is made of Middlebury 2014 sets, and"},
      {{}, "", "root/nowhere", "is not there"},
  };
  for (const auto& c : cases) {
    const Expected<std::vector<BatchPair>> read = readDatasetBatch(folder.file(c.root), "out", c.options, c.method);
    ASSERT_FALSE(read) << c.message;
    EXPECT_NE(read.error().message.find(c.message), std::string::npos) << read.error().message;
  }
  // A negative number is a value, not an option.
  EXPECT_TRUE(readDatasetBatch(folder.file("root"), "out", {"--base-disparity", "-3", "--lambda", "-.5"}, ""));

  const std::pair<const char*, const char*> manifests[] = {
      {R"({"pairs": [{"dataset": "root/trainingQ/Adirondack", "truth": "gt.pfm"}]})",
       "\"truth\" does not go with the dataset"},
      {R"({"pairs": [{"dataset": "root", "frame": "000009"}]})", "holds no KITTI frame \"000009\""},
      {R"({"pairs": [{"left": "a", "right": "b", "frame": "000004"}]})", "\"frame\" picks a KITTI frame of a"},
      {R"({"pairs": [{"dataset": "root", "frame": 4}]})", "\"frame\" must be a string"},
  };
  for (const auto& [json, message] : manifests) {
    writeText(folder.file("m.json"), json);
    const Expected<std::vector<BatchPair>> read = readBatchManifest(folder.file("m.json"), "out");
    ASSERT_FALSE(read) << json;
    EXPECT_NE(read.error().message.find(message), std::string::npos) << read.error().message;
  }
}

TEST(BatchManifest, ShardsAreIOfN) {
  const Expected<BatchShard> shard = parseShard("2/4");
  ASSERT_TRUE(shard) << shard.error().message;
  EXPECT_EQ(shard->index, 1);
  EXPECT_EQ(shard->count, 4);
  for (const char* bad : {"0/4", "5/4", "1/0", "1", "a/b", "1/2x", "-1/2", ""}) {
    const Expected<BatchShard> refused = parseShard(bad);
    ASSERT_FALSE(refused) << bad;
    EXPECT_NE(refused.error().message.find("must be I/N"), std::string::npos) << bad;
  }
}

}  // namespace
}  // namespace orbelt
