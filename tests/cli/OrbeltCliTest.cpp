// The command line as a user meets it: the built orbelt-cli run on tiny
// generated pairs, judged by exit status, messages and the files it leaves.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "pipeline/PfmFile.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::readText;
using testing::TempFolder;
using testing::writeText;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

CliRun runCli(const TempFolder& folder, const std::string& args) {
  const std::string outFile = folder.file(".stdout");
  const std::string errFile = folder.file(".stderr");
  const std::string command = "cd '" + folder.path() + "' && '" ORBELT_CLI_PATH "' " + args + " >'" + outFile +
                              "' 2>'" + errFile + "' </dev/null";
  const int raw = std::system(command.c_str());
  CliRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = readText(outFile);
  run.err = readText(errFile);
  return run;
}

// A textured left view and a right view that sees it `shift` columns to the
// left (x_right = x_left - shift), so the true disparity is `shift`
// wherever the point is visible.
void writeShiftedPair(const TempFolder& folder, const std::string& left, const std::string& right, int width,
                      int height, int shift) {
  cv::Mat l(height, width, CV_8UC3);
  cv::Mat r(height, width, CV_8UC3);
  cv::RNG rng(42);
  rng.fill(l, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
  rng.fill(r, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
  l(cv::Rect(shift, 0, width - shift, height)).copyTo(r(cv::Rect(0, 0, width - shift, height)));
  cv::imwrite(folder.file(left), l);
  cv::imwrite(folder.file(right), r);
}

class OrbeltCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder.file("data"));
    std::filesystem::create_directories(folder.file("out"));
    writeShiftedPair(folder, "left.png", "right.png", 40, 30, 2);
    writeShiftedPair(folder, "data/Img0.png", "data/Img1.png", 24, 16, 1);
  }
  TempFolder folder;
  // Small enough to run in a blink with the real engines.
  const std::string small = " --disparity-range 6 --half-win-size 2 --seed 3 ";
};

TEST_F(OrbeltCli, WritesTheMapTheCostsAndTellsTheTimeOfEachStage) {
  const CliRun run = runCli(folder, "left.png right.png -o out/map.bmp --save-cost out/costs.npy" + small);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "wrote out/map.bmp\n");
  for (const char* stage : {"cost volume", "flatten", "optimize", "save map", "save costs", "pass 10 of 10"}) {
    EXPECT_NE(run.err.find(stage), std::string::npos) << "no \"" << stage << "\" in:\n" << run.err;
  }
  const cv::Mat map = cv::imread(folder.file("out/map.bmp"), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(map.type(), CV_8UC1);
  EXPECT_EQ(map.size(), cv::Size(40, 30));
  const std::string npy = readText(folder.file("out/costs.npy"));
  EXPECT_NE(npy.find("'shape': (30, 40, 6)"), std::string::npos);
  EXPECT_EQ(npy.size() % 64, (40u * 30u * 6u * 4u) % 64);
  EXPECT_GT(npy.size(), 40u * 30u * 6u * 4u);
}

TEST_F(OrbeltCli, ReadsTheDefaultPairFromTheWorkingDirectory) {
  const CliRun run = runCli(folder, "-q -o out/default.bmp" + small);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // quiet
  EXPECT_EQ(cv::imread(folder.file("out/default.bmp"), cv::IMREAD_UNCHANGED).size(), cv::Size(24, 16));
}

TEST_F(OrbeltCli, TheSameSeedGivesTheSameMap) {
  ASSERT_EQ(runCli(folder, "left.png right.png -q -o out/a.bmp" + small).status, 0);
  ASSERT_EQ(runCli(folder, "--left left.png --right right.png -q -o out/b.bmp" + small).status, 0);
  EXPECT_EQ(readText(folder.file("out/a.bmp")), readText(folder.file("out/b.bmp")));
}

TEST_F(OrbeltCli, ScoresAgainstAGroundTruth) {
  ASSERT_EQ(writePfm(folder.file("truth.pfm"), cv::Mat(30, 40, CV_32FC1, cv::Scalar(2.0f))), "");
  const CliRun run = runCli(folder, "left.png right.png -q -o out/map.bmp --ground-truth truth.pfm" + small);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto at = run.out.find("bad pixels (error > 1 px): ");
  ASSERT_NE(at, std::string::npos) << run.out;
  // A clean shift of a random texture: only the borders may go wrong.
  const double badPercent = std::stod(run.out.substr(at + 27));
  EXPECT_LT(badPercent, 20.0) << run.out;
}

TEST_F(OrbeltCli, RefusalsExplainThemselvesAndLeaveEarlierOutputAlone) {
  cv::imwrite(folder.file("grey0.png"), cv::Mat(16, 24, CV_8UC1, cv::Scalar(90)));
  cv::imwrite(folder.file("grey1.png"), cv::Mat(16, 24, CV_8UC1, cv::Scalar(80)));
  struct Case {
    std::string args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"missing.png right.png", 2, "Cannot read the reference image \"missing.png\": file missing"},
      {"left.png data", 2, "Cannot read the target image \"data\": it is a folder"},
      {"grey0.png grey1.png", 255, "Input images should be color format !"},
      {"left.png data/Img1.png", 2, "both images of a pair must have the same size"},
      {"left.png right.png --disparity-range 0", 2, "Disparity Range is 0; it must be 1 or more"},
      {"left.png right.png --sigma-p 0", 2, "SigmaP is 0; it must be a finite number other than 0"},
      {"left.png right.png --color-mode lab", 2, "--color-mode"},
      {"left.png right.png --no-such-option", 2, "--no-such-option"},
      {"left.png right.png --disparity-range many", 2, "--disparity-range"},
      {"left.png right.png -o nowhere/map.bmp", 2, "its folder \"nowhere\" is not there"},
      {"left.png right.png --save-cost nowhere/c.npy", 2, "Cannot write the cost array \"nowhere/c.npy\""},
      {"left.png right.png --ground-truth none.pfm", 2, "Cannot read the float map \"none.pfm\""},
      // The optimizer owns the exponent rule: its message, its status.
      {"left.png right.png --smooth-exponent 3", 1, "Wrong exponent in setSmoothness()!"},
  };
  for (const Case& c : cases) {
    writeText(folder.file("out/map.bmp"), "the earlier map");
    // The case's own options come last and so win over the common ones.
    const CliRun run = runCli(folder, "-o out/map.bmp" + small + c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.args << "\n" << run.err;
    EXPECT_EQ(run.out.find("wrote"), std::string::npos) << c.args;
    EXPECT_EQ(readText(folder.file("out/map.bmp")), "the earlier map") << c.args;
  }
}

TEST_F(OrbeltCli, HelpListsEveryParameterAndTheExitStatuses) {
  const CliRun run = runCli(folder, "--help");
  EXPECT_EQ(run.status, 0);
  for (const char* text : {"--half-win-size", "--sigma-s", "--sigma-p", "--base-disparity", "--disparity-range",
                           "--display-level", "--smooth-exponent", "--smooth-max", "--lambda", "--color-mode",
                           "--seed", "--save-cost", "Exit status", "255"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace orbelt
