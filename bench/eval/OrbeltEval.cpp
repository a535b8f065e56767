// orbelt-eval: scores a disparity map against Middlebury ground truth.
//
//   orbelt-eval --disp MAP --gt TRUTH --scale S [--mask MASK] [--level L]
//               [--base B] [--border N]
//
// MAP is a PFM file of disparities, or an 8-bit grey display map (the
// matcher's preview or the saved dispMap.bmp) read with its display level L
// and base disparity B. Prints the percentage of scored pixels off by more
// than 0.5, 1 and 2 and the mean error. Exit status 0 on success, 2 on bad
// arguments or unreadable files.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "DisparityEvaluation.h"
#include "PfmFile.h"

namespace {

int usage(const std::string& problem) {
  std::fprintf(stderr,
               "orbelt-eval: %s\n"
               "usage: orbelt-eval --disp MAP --gt TRUTH --scale S [--mask MASK] [--level L] [--base B] "
               "[--border N]\n",
               problem.c_str());
  return 2;
}

bool parseNumber(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  std::string dispPath, gtPath, maskPath;
  double scale = 0, level = 0, base = 0, border = 0;
  bool haveScale = false, haveLevel = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return usage("missing value after " + arg);
    const char* value = argv[++i];
    if (arg == "--disp") dispPath = value;
    else if (arg == "--gt") gtPath = value;
    else if (arg == "--mask") maskPath = value;
    else if (arg == "--scale") haveScale = parseNumber(value, scale);
    else if (arg == "--level") haveLevel = parseNumber(value, level);
    else if (arg == "--base") {
      if (!parseNumber(value, base) || base != int(base)) return usage("--base needs a whole number");
    } else if (arg == "--border") {
      if (!parseNumber(value, border) || border < 0 || border != int(border))
        return usage("--border needs a whole number of pixels, 0 or more");
    } else return usage("unknown option " + arg);
  }
  if (dispPath.empty() || gtPath.empty()) return usage("--disp and --gt are required");
  if (!haveScale || !(scale > 0)) return usage("--scale needs a positive number (16, 8, 4 or 3 for Middlebury)");

  std::string error;
  cv::Mat disparity;
  const bool pfm = dispPath.size() >= 4 && dispPath.compare(dispPath.size() - 4, 4, ".pfm") == 0;
  if (pfm) {
    disparity = orbelt::readPfm(dispPath, error);
  } else {
    if (!haveLevel || level != int(level) || level <= 0)
      return usage("an 8-bit map needs --level, its positive whole display level");
    const cv::Mat grey = cv::imread(dispPath, cv::IMREAD_GRAYSCALE);
    if (grey.empty()) error = "cannot read " + dispPath + " as an image";
    else disparity = orbelt::disparityFromGrey(grey, int(level), int(base), error);
  }
  if (!error.empty()) return usage(error);

  const cv::Mat truth = cv::imread(gtPath, cv::IMREAD_UNCHANGED);
  if (truth.empty()) return usage("cannot read " + gtPath + " as an image");
  cv::Mat truthGrey = truth;
  if (truth.channels() != 1) return usage(gtPath + " has " + std::to_string(truth.channels()) + " channels, expected 1");
  cv::Mat mask;
  if (!maskPath.empty()) {
    mask = cv::imread(maskPath, cv::IMREAD_GRAYSCALE);
    if (mask.empty()) return usage("cannot read " + maskPath + " as an image");
  }

  orbelt::EvaluationOptions options;
  options.groundTruthScale = scale;
  options.border = int(border);
  orbelt::DisparityScore score;
  if (!orbelt::evaluateDisparity(disparity, truthGrey, mask, options, score, error)) return usage(error);
  std::printf("%s", orbelt::formatScore(score).c_str());
  return 0;
}
