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
