// Benchmark folders through the built orbelt-cli: a tiny Middlebury 2014 set
// and KITTI frame made here (a clean two-pixel shift, so the truth is known
// everywhere the right view sees), and, when the public sets are there,
// Teddy and Cones laid out as those benchmarks. Judged by exit status,
// messages, the run summary and the files left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>

#include "io/PfmFile.h"
#include "tests/cli/CliRun.h"
#include "tests/io/ErrorText.h"
#include "tests/pipeline/TempFolder.h"
#include "tools/dataset-fixtures/DatasetFixtures.h"

namespace orbelt {
namespace {

namespace fs = std::filesystem;
using testing::CliRun;
using testing::errorText;
using testing::readFloatMap;
using testing::readJson;
using testing::readText;
using testing::runCli;
using testing::TempFolder;
using testing::writeShiftedPair;
using testing::writeText;

constexpr int kWidth = 40, kHeight = 30, kShift = 2;
constexpr float kInf = std::numeric_limits<float>::infinity();

// focal 100 px, baseline 50 mm, doffs 2 px: depth 100 * 50 / (2 + 2) = 1250 mm.
const std::string kCalib =
    "cam0=[100 0 19.5; 0 100 14.5; 0 0 1]\ncam1=[100 0 21.5; 0 100 14.5; 0 0 1]\ndoffs=2\nbaseline=50\n"
    "width=40\nheight=30\nndisp=6\nisint=0\nvmin=2\nvmax=2\n";

// KITTI's focal 100 px, camera 2 at +0.06 m, camera 3 at 0.06 - 0.5 m: baseline 0.5 m.
const std::string kKittiCalib =
    "P_rect_02: 100 0 19.5 6 0 100 14.5 0 0 0 1 0\nP_rect_03: 100 0 19.5 -44 0 100 14.5 0 0 0 1 0\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

// The truth of the shifted pair: kShift where the right view sees the point.
cv::Mat shiftTruth() {
  cv::Mat truth(kHeight, kWidth, CV_32FC1, cv::Scalar(kShift));
  truth.colRange(0, kShift).setTo(kInf);
  return truth;
}

// A 2014 set in `folder`: the pair, `calib`, the truth and the occlusion
// mask (columns 2 and 3 occluded, 128).
void make2014Set(const TempFolder& root, const std::string& folder, const std::string& calib = kCalib) {
  fs::create_directories(root.file(folder));
  writeShiftedPair(root, folder + "/im0.png", folder + "/im1.png", kWidth, kHeight, kShift);
  writeText(root.file(folder + "/calib.txt"), calib);
  ASSERT_EQ(errorText(writePfm(root.file(folder + "/disp0GT.pfm"), shiftTruth())), "");
  cv::Mat mask(kHeight, kWidth, CV_8UC1, cv::Scalar(255));
  mask.colRange(0, kShift).setTo(0);
  mask.colRange(kShift, kShift + 2).setTo(128);
  cv::imwrite(root.file(folder + "/mask0nocc.png"), mask);
}

// Frame 000000_10 of a KITTI 2015 split in `split`: the pair, the truths
// (noc without the occluded columns 2 and 3) and the calibration.
void makeKittiFrame(const TempFolder& root, const std::string& split) {
  for (const char* sub : {"/image_2", "/image_3", "/disp_noc_0", "/disp_occ_0", "/calib_cam_to_cam"}) {
    fs::create_directories(root.file(split + sub));
  }
  writeShiftedPair(root, split + "/image_2/000000_10.png", split + "/image_3/000000_10.png", kWidth, kHeight, kShift);
  cv::Mat occ(kHeight, kWidth, CV_16UC1, cv::Scalar(kShift * 256));
  occ.colRange(0, kShift).setTo(0);
  cv::Mat noc = occ.clone();
  noc.colRange(kShift, kShift + 2).setTo(0);
  cv::imwrite(root.file(split + "/disp_occ_0/000000_10.png"), occ);
  cv::imwrite(root.file(split + "/disp_noc_0/000000_10.png"), noc);
  writeText(root.file(split + "/calib_cam_to_cam/000000.txt"), kKittiCalib);
}

class DatasetCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder.file("out"));
    make2014Set(folder, "root/Shift");
    makeKittiFrame(folder, "root/training");
  }
  TempFolder folder;
  const std::string small = " --half-win-size 2 --seed 3 ";
};

// The vertex count a PLY header states.
long vertexCount(const std::string& ply) {
  const auto at = ply.find("element vertex ");
  return at == std::string::npos ? -1 : std::stol(ply.substr(at + 15));
}

TEST_F(DatasetCommands, A2014SetRunsWithItsLabelCountAndGivesDepthPointsAndItsSubmission) {
  const CliRun run = runCli(folder,
                            "root/Shift -q --no-map --pfm out/d.pfm --depth out/z.pfm --ply out/p.ply --json out/r.json"
                            " --submit Mine --submit-dir out/sub" +
                                small);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("region     pixels  unknown  bad>0.5"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("wrote out/sub/Shift/disp0Mine.pfm\nwrote out/sub/Shift/timeMine.txt\n"), std::string::npos)
      << run.out;

  const nlohmann::json summary = readJson(folder.file("out/r.json"));
  EXPECT_EQ(summary["parameters"]["disparity_range"], 6);  // calib.txt's ndisp
  EXPECT_EQ(summary["dataset"]["layout"], "middlebury2014");
  EXPECT_EQ(summary["dataset"]["vmin"], 2.0);
  EXPECT_EQ(summary["dataset"]["vmax"], 2.0);
  EXPECT_EQ(summary["calibration"]["source"], "root/Shift/calib.txt");
  EXPECT_EQ(summary["calibration"]["doffs"], 2.0);
  const nlohmann::json& regions = summary["benchmark"]["regions"];
  ASSERT_EQ(regions.size(), 2u);
  EXPECT_EQ(regions[0]["region"], "nonocc");
  EXPECT_EQ(regions[0]["evaluated"], kHeight * (kWidth - kShift - 2));  // mask 255 with truth
  EXPECT_EQ(regions[1]["region"], "all");
  EXPECT_EQ(regions[1]["evaluated"], kHeight * (kWidth - kShift));  // 255 and 128

  // Depth and points from the map and calib.txt: f * b / (d + doffs).
  const cv::Mat map = readFloatMap(folder.file("out/d.pfm"));
  const cv::Mat depth = readFloatMap(folder.file("out/z.pfm"));
  ASSERT_EQ(depth.size(), map.size());
  int known = 0;
  for (int y = 0; y < map.rows; ++y) {
    for (int x = 0; x < map.cols; ++x) {
      const float d = map.at<float>(y, x);
      known += std::isfinite(d) && d + 2 > 0;
      EXPECT_FLOAT_EQ(depth.at<float>(y, x), std::isfinite(d) ? 100.0f * 50.0f / (d + 2.0f) : kInf) << x << "," << y;
    }
  }
  const std::string ply = readText(folder.file("out/p.ply"));
  EXPECT_EQ(vertexCount(ply), known);
  EXPECT_EQ(ply.size() - (ply.find("end_header\n") + 11), 15u * known);

  // The submission: the same map, and the run's seconds as the summary has them.
  EXPECT_EQ(readText(folder.file("out/sub/Shift/disp0Mine.pfm")), readText(folder.file("out/d.pfm")));
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f\n", summary["submission"]["seconds"].get<double>());
  EXPECT_EQ(readText(folder.file("out/sub/Shift/timeMine.txt")), seconds);

  // A range given wins over ndisp.
  ASSERT_EQ(runCli(folder, "--dataset root/Shift -q --no-map --json out/r4.json --disparity-range 4" + small).status,
            0);
  EXPECT_EQ(readJson(folder.file("out/r4.json"))["parameters"]["disparity_range"], 4);
}

TEST_F(DatasetCommands, AKittiFrameRunsWith192LabelsItsCalibrationAndKittisSixteenBitMap) {
  const CliRun run = runCli(folder,
                            "--dataset root/training --frame 000000 -q --no-map --pfm out/k.pfm --png16 out/k.png "
                            "--depth out/kz.pfm --json out/k.json" +
                                small);
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json summary = readJson(folder.file("out/k.json"));
  EXPECT_EQ(summary["parameters"]["disparity_range"], 192);
  EXPECT_EQ(summary["dataset"]["frame"], "000000_10");
  EXPECT_DOUBLE_EQ(summary["calibration"]["baseline"].get<double>(), 0.5);
  EXPECT_EQ(summary["benchmark"]["measures"], "kitti");
  EXPECT_EQ(summary["benchmark"]["regions"][0]["region"], "noc");
  EXPECT_EQ(summary["benchmark"]["regions"][1]["region"], "occ");

  const cv::Mat map = readFloatMap(folder.file("out/k.pfm"));
  const cv::Mat stored = cv::imread(folder.file("out/k.png"), cv::IMREAD_UNCHANGED);
  const cv::Mat depth = readFloatMap(folder.file("out/kz.pfm"));
  ASSERT_EQ(stored.type(), CV_16UC1);
  for (int y = 0; y < map.rows; ++y) {
    for (int x = 0; x < map.cols; ++x) {
      const float d = map.at<float>(y, x);
      // A known 0 is stored as 1, not as KITTI's "unknown".
      EXPECT_EQ(stored.at<unsigned short>(y, x), std::max(1L, std::lround(d * 256))) << x << "," << y;
      EXPECT_FLOAT_EQ(depth.at<float>(y, x), d > 0 ? 100.0f * 0.5f / d : kInf) << x << "," << y;
    }
  }
  // The only frame of a folder needs no --frame.
  EXPECT_EQ(runCli(folder, "root/training -q --no-map --pfm out/k1.pfm" + small).status, 0);
  EXPECT_EQ(readText(folder.file("out/k1.pfm")), readText(folder.file("out/k.pfm")));
}

TEST_F(DatasetCommands, RefusalsOfDatasetsCalibrationsAndOutputsChangeNothing) {
  make2014Set(folder, "no-baseline", replaced(kCalib, "baseline=50\n", ""));
  make2014Set(folder, "wordy", replaced(kCalib, "baseline=50", "baseline=fifty"));
  make2014Set(folder, "no-ndisp", replaced(kCalib, "ndisp=6", "ndisp=0"));
  make2014Set(folder, "wide", replaced(kCalib, "width=40", "width=80"));
  make2014Set(folder, "small-truth");
  ASSERT_EQ(errorText(writePfm(folder.file("small-truth/disp0GT.pfm"), cv::Mat(10, 10, CV_32FC1, 2.0f))), "");
  fs::remove(folder.file("small-truth/mask0nocc.png"));
  makeKittiFrame(folder, "one-sided");
  writeShiftedPair(folder, "one-sided/image_2/000001_10.png", "lone-right.png", kWidth, kHeight, kShift);
  writeShiftedPair(folder, "left.png", "right.png", kWidth, kHeight, kShift);
  writeText(folder.file("plain"), "a file");
  const struct {
    std::string args;
    std::string message;
  } cases[] = {
      {"no-baseline", "Cannot read the calibration \"no-baseline/calib.txt\": the key \"baseline\" is missing"},
      {"wordy", "the key \"baseline\" holds \"fifty\", not a number"},
      {"no-ndisp", "ndisp must be a whole number of at least 1, not 0"},
      {"--dataset one-sided --frame 000000", "The KITTI frame 000001_10 in \"one-sided\" has no right view"},
      {"root/Shift --ply nowhere/p.ply",
       "Cannot write the point cloud \"nowhere/p.ply\": its folder \"nowhere\" is not there"},
      {"left.png right.png --depth out/z.pfm", "--depth needs a calibration"},
      {"left.png right.png --ply out/p.ply", "--ply needs a calibration"},
      {"root/Shift --depth out/z.png", "The depth map \"out/z.png\" must end in .pfm"},
      {"wide --depth out/z.pfm", "states an image of 80 x 30 but the left view is 40 x 30"},
      {"small-truth", "The truth of the dataset \"small-truth\" is 10 x 10 but its left view is 40 x 30"},
      {"root/training --submit Mine", "--submit writes the Middlebury 2014 submission layout"},
      {"left.png right.png --submit Mine", "--submit writes the Middlebury 2014 submission layout"},
      {"root/Shift --submit 'my run'", "--submit: The method name \"my run\" must be"},
      {"root/Shift --submit Mine --submit-dir plain/x", "\"plain\" is in the way and is not a folder"},
      {"left.png right.png --frame 000000", "--frame picks a frame of a KITTI folder"},
      {"--dataset root/Shift left.png", "--dataset \"root/Shift\" brings both views"},
      {"root --frame 000009", "holds no KITTI frame \"000009\""},
      {"left.png right.png --calib root/Shift/calib.txt --focal 100", "both given"},
      {"left.png right.png --focal 100 --baseline 50 --depth out/z.pfm", "--cx, --cy are missing"},
      {"left.png right.png --focal 0 --baseline 50 --cx 1 --cy 1", "--focal is 0; it must be a positive number"},
      {"left.png right.png --calib absent.txt", "Cannot read the calibration \"absent.txt\""},
  };
  for (const auto& c : cases) {
    writeText(folder.file("out/map.bmp"), "the earlier map");
    const CliRun run = runCli(folder, "-o out/map.bmp" + small + c.args);
    EXPECT_EQ(run.status, 2) << c.args << "\n" << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.args << "\n" << run.err;
    EXPECT_EQ(run.out.find("wrote"), std::string::npos) << c.args;
    EXPECT_EQ(readText(folder.file("out/map.bmp")), "the earlier map") << c.args;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.file("out")), fs::directory_iterator()), 1) << c.args;
    EXPECT_FALSE(fs::exists(folder.file("plain/x"))) << c.args;
  }
}

TEST_F(DatasetCommands, EvalScoresEachBenchmarkByItsOwnMeasures) {
  // The truth, one pixel 3 px off (5 where 2 is true) and its neighbour
  // unknown, both in the visible part of the first row.
  cv::Mat map = shiftTruth();
  map.colRange(0, kShift).setTo(kShift);
  map.at<float>(0, 10) = 5;
  map.at<float>(0, 11) = kInf;
  ASSERT_EQ(errorText(writePfm(folder.file("map.pfm"), map)), "");
  CliRun run = runCli(folder, "eval map.pfm --dataset root/Shift --json");
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json nonocc = nlohmann::json::parse(run.out)["benchmark"]["regions"][0];
  const double n = kHeight * (kWidth - kShift - 2);
  EXPECT_EQ(nonocc["unknown"], 1);
  EXPECT_DOUBLE_EQ(nonocc["bad_2"].get<double>(), 100 * 2 / n);  // the 3 px error and the unknown pixel
  EXPECT_DOUBLE_EQ(nonocc["bad_4"].get<double>(), 100 * 1 / n);  // the unknown pixel only
  EXPECT_DOUBLE_EQ(nonocc["mean_abs_error"].get<double>(), 3 / (n - 1));
  EXPECT_EQ(nonocc["A99"], 0.0);

  // KITTI fills the unknown pixel from the background (2 beside the 5) and
  // does not count an error of 3 px as an outlier; 4 px is one.
  map.at<float>(0, 10) = 6;
  cv::Mat stored;
  map.convertTo(stored, CV_16UC1, 256);
  stored.at<unsigned short>(0, 11) = 0;
  cv::imwrite(folder.file("map.png"), stored);
  run = runCli(folder, "eval map.png --dataset root/training --json");
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json kitti = nlohmann::json::parse(run.out)["benchmark"];
  EXPECT_DOUBLE_EQ(kitti["density"].get<double>(), 100.0 * (kWidth * kHeight - 1) / (kWidth * kHeight));
  EXPECT_EQ(kitti["regions"][0]["unknown"], 0);
  EXPECT_DOUBLE_EQ(kitti["regions"][0]["D1"].get<double>(), 100 / n);
  run = runCli(folder, "eval map.png --dataset root/training");
  EXPECT_NE(run.out.find("region     pixels  unknown       D1    bad>2"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("density 99.92%"), std::string::npos) << run.out;

  makeKittiFrame(folder, "two/training");
  makeKittiFrame(folder, "two/testing");
  const std::pair<std::string, std::string> refusals[] = {
      {"eval map.pfm --dataset root/Shift --truth map.pfm", "--truth does not apply to the middlebury2014 dataset"},
      {"eval map.pfm --dataset root/Shift --border 2", "--border does not apply"},
      {"eval map.png --dataset two", "holds 2 KITTI frames; name one with --frame"},
      {"eval map.pfm --frame 000000", "--frame picks a frame of a KITTI folder"},
      {"eval small.pfm --dataset root/training", "small.pfm against \"root/training\""},
  };
  ASSERT_EQ(errorText(writePfm(folder.file("small.pfm"), cv::Mat(3, 3, CV_32FC1, 1.0f))), "");
  for (const auto& [args, message] : refusals) {
    run = runCli(folder, args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find(message), std::string::npos) << args << "\n" << run.err;
  }
}

TEST_F(DatasetCommands, BatchRunsEveryPairOfADatasetFolderAndMakesTheSubmissionTree) {
  const CliRun run =
      runCli(folder, "batch --dataset root --out res --submit Mine -- --disparity-range 6 --half-win-size 2 --seed 3");
  ASSERT_EQ(run.status, 0) << run.err;
  // Each row's pair, status and mask (region).
  std::vector<std::string> rows;
  std::ifstream in(folder.file("res/summary.csv"));
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
    ASSERT_GE(fields.size(), 4u) << line;
    rows.push_back(fields[0] + " " + fields[1] + " " + fields[3]);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"pair status mask", "Shift 0 nonocc", "Shift 0 all",
                                            "training-000000_10 0 noc", "training-000000_10 0 occ"}));
  EXPECT_EQ(readText(folder.file("res/submission/Shift/disp0Mine.pfm")), readText(folder.file("res/Shift.pfm")));
  EXPECT_TRUE(fs::is_regular_file(folder.file("res/submission/Shift/timeMine.txt")));
  EXPECT_EQ(cv::imread(folder.file("res/training-000000_10.png"), cv::IMREAD_UNCHANGED).type(), CV_16UC1);

  // Run options that would collide or that the batch sets are refused before any run.
  for (const char* options : {"-- --ply p.ply", "-- --json x.json"}) {
    const CliRun refused = runCli(folder, std::string("batch --dataset root --out res2 ") + options);
    EXPECT_EQ(refused.status, 2) << options;
    EXPECT_EQ(refused.err.find("started"), std::string::npos) << refused.err;
  }
  EXPECT_EQ(runCli(folder, "batch --out res2 -- --seed 1").status, 2);
  EXPECT_NE(runCli(folder, "batch m.json --dataset root").err.find("give either a manifest or --dataset ROOT"),
            std::string::npos);
}

// Teddy laid out as a 2014 set and Cones as a KITTI frame: their own truths
// read back through eval score perfectly, and a run of Teddy writes one
// vertex per pixel with a depth.
TEST(DatasetCommandsOnPublicSets, TeddyAndConesLaidOutAsBenchmarksScoreTheirOwnTruthsPerfectly) {
  const std::string shared = ORBELT_SHARED_DATA_DIR "/middlebury2003";
  if (!fs::is_directory(shared + "/teddy")) GTEST_SKIP() << "no public datasets at " << ORBELT_SHARED_DATA_DIR;
  TempFolder folder;
  ASSERT_EQ(errorText(fixtures::makeMiddlebury2014Set(shared + "/teddy", folder.file("Teddy"))), "");
  ASSERT_EQ(errorText(fixtures::makeKittiFrame(shared + "/cones", folder.file("training"), KittiEdition::Stereo2015)),
            "");

  CliRun run = runCli(folder, "eval Teddy/disp0GT.pfm --dataset Teddy --json");
  ASSERT_EQ(run.status, 0) << run.err;
  for (const nlohmann::json& region : nlohmann::json::parse(run.out)["benchmark"]["regions"]) {
    EXPECT_GT(region["evaluated"].get<int>(), 100000) << region;
    EXPECT_EQ(region["bad_0.5"], 0.0) << region;
    EXPECT_EQ(region["A99"], 0.0) << region;
  }
  run = runCli(folder, "eval training/disp_occ_0/000000_10.png --dataset training --frame 000000 --json");
  ASSERT_EQ(run.status, 0) << run.err;
  for (const nlohmann::json& region : nlohmann::json::parse(run.out)["benchmark"]["regions"]) {
    EXPECT_EQ(region["D1"], 0.0) << region;
    EXPECT_EQ(region["mean_abs_error"], 0.0) << region;
  }

  run = runCli(folder, "Teddy -q --no-map --half-win-size 3 --seed 1 --pfm d.pfm --ply p.ply --json r.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readJson(folder.file("r.json"))["parameters"]["disparity_range"], 60);
  const cv::Mat map = readFloatMap(folder.file("d.pfm"));
  const double doffs = readJson(folder.file("r.json"))["calibration"]["doffs"];
  long withDepth = 0;
  for (int y = 0; y < map.rows; ++y) {
    for (int x = 0; x < map.cols; ++x)
      withDepth += std::isfinite(map.at<float>(y, x)) && map.at<float>(y, x) + doffs > 0;
  }
  EXPECT_EQ(vertexCount(readText(folder.file("p.ply"))), withDepth);
}

}  // namespace
}  // namespace orbelt
