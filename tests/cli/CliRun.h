#pragma once
// Running the built orbelt-cli as a user does, the small pairs its tests
// feed it, and reading back what it wrote.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "io/PfmFile.h"
#include "tests/io/ErrorText.h"
#include "tests/io/ShiftedPair.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt::testing {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// orbelt-cli `args` (shell words) in `folder`, with no standard input.
inline CliRun runCli(const TempFolder& folder, const std::string& args) {
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

// writeShiftedPairFiles into `folder`.
inline void writeShiftedPair(const TempFolder& folder, const std::string& left, const std::string& right, int width,
                             int height, int shift) {
  writeShiftedPairFiles(folder.file(left), folder.file(right), width, height, shift);
}

// A float map the command wrote; a failed read fails the test.
inline cv::Mat readFloatMap(const std::string& path) {
  const Expected<cv::Mat> map = readPfm(path);
  EXPECT_EQ(errorText(map), "") << path;
  return map ? *map : cv::Mat();
}

// A JSON file the command wrote (a run summary).
inline nlohmann::json readJson(const std::string& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in);
}

}  // namespace orbelt::testing
