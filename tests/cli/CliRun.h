#pragma once
// Running the built orbelt-cli as a user does, and the small pairs its
// tests feed it.
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

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

// A textured left view and a right view that sees it `shift` columns to the
// left (x_right = x_left - shift), so the true disparity is `shift`
// wherever the point is visible.
inline void writeShiftedPair(const TempFolder& folder, const std::string& left, const std::string& right, int width,
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

}  // namespace orbelt::testing
