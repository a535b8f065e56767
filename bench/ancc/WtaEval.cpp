// orbelt-wta-eval: quality of the matcher's cost alone. Runs the matcher
// with the dialog's defaults on the Middlebury pairs in both colour modes and
// scores each pixel's cheapest label (winner-take-all) against the ground
// truth: bad-pixel rate at threshold 1 over the nonocc mask where one exists.
//
// The label argmin is read from the cost volume for every pixel, the frame
// included, and scored as a disparity, so no grey value can wrap.
//
//   orbelt-wta-eval [--threads N]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "DisparityEvaluation.h"
#include "ancc/WinnerLabel.h"

using namespace orbelt;
using namespace orbelt::bench;

int main(int argc, char** argv) {
  int threads = 0;
  for (int i = 1; i + 1 < argc; i += 2)
    if (std::string(argv[i]) == "--threads") threads = std::atoi(argv[i + 1]);

  const std::string data = ORBELT_SHARED_DATA_DIR;
  struct Set {
    const char* name;
    std::string folder, left, right, truth;
    double scale;
    int labels;
  };
  const Set sets[] = {
      {"Tsukuba", "middlebury2001/tsukuba", "imL.png", "imR.png", "truedisp.row3.col3.pgm", 16, 16},
      {"Venus", "middlebury2001/venus", "im2.ppm", "im6.ppm", "disp2.pgm", 8, 20},
      {"Teddy", "middlebury2003/teddy", "im2.png", "im6.png", "disp2.png", 4, 60},
      {"Cones", "middlebury2003/cones", "im2.png", "im6.png", "disp2.png", 4, 60},
  };
  std::printf("winner-take-all bad pixels (error > 1), r 15, sigmaP 14, sigmaS 3.8\n");
  std::printf("%-9s %6s %10s %12s %12s\n", "set", "labels", "mask", "logChrom %", "RGB %");
  int scored = 0;
  for (const Set& set : sets) {
    const std::string dir = data + "/" + set.folder + "/";
    const StereoPair pair = loadPair(set.name, dir + set.left, dir + set.right);
    const cv::Mat truth = cv::imread(dir + set.truth, cv::IMREAD_UNCHANGED);
    if (pair.ref.empty() || pair.target.empty() || truth.empty() || truth.channels() != 1) {
      std::printf("%-9s skipped: pair or ground truth not found in %s\n", set.name, dir.c_str());
      continue;
    }
    cv::Mat mask;
    std::string maskName = "all";
    if (std::filesystem::exists(dir + "nonocc.png")) {
      mask = cv::imread(dir + "nonocc.png", cv::IMREAD_GRAYSCALE);
      maskName = "nonocc";
    }
    double rates[2] = {0, 0};
    for (int mode = 0; mode < 2; ++mode) {
      MatcherRunSettings settings;
      settings.labels = set.labels;
      settings.threads = threads;
      settings.logChromWeight = mode == 0 ? 1.0f : 0.0f;
      const MatcherRunResult run = runMatcher(pair, settings);
      if (run.seconds < 0) return 1;
      cv::Mat disparity(pair.ref.size(), CV_32FC1);
      for (int y = 0; y < pair.ref.rows; ++y)
        for (int x = 0; x < pair.ref.cols; ++x)
          disparity.at<float>(y, x) = float(winnerLabel(run.volume.cell(x, y), set.labels));
      EvaluationOptions options;
      options.groundTruthScale = set.scale;
      const Expected<DisparityScore> score = evaluateDisparity(disparity, truth, mask, options);
      if (!score) {
        std::fprintf(stderr, "%s: %s\n", set.name, score.error().message.c_str());
        return 1;
      }
      rates[mode] = score->badOver1;
    }
    std::printf("%-9s %6d %10s %12.2f %12.2f\n", set.name, set.labels, maskName.c_str(), rates[0], rates[1]);
    ++scored;
  }
  if (scored == 0) std::printf("no dataset found under %s: nothing scored\n", data.c_str());
  return 0;
}
