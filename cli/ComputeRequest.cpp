#include "cli/ComputeRequest.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include <CLI/CLI.hpp>

#include "cli/CliNames.h"
#include "cli/DatasetOptions.h"
#include "cli/OutputFiles.h"
#include "cli/OutputPlan.h"
#include "io/DisparityImages.h"
#include "io/DisparityMapFiles.h"
#include "io/ImageFile.h"
#include "platform/AvailableMemory.h"
#include "postprocess/WeightedMedian.h"

namespace orbelt {

namespace {

// The run's parameters, each bound to the field it sets; the names are
// kCliFieldNames', so a refusal names the flag.
void declareRunOptions(CLI::App& app, ComputeRequest& r, ComputeWords& words) {
  const StereoFieldNames& names = kCliFieldNames;
  MatcherOptions& matcher = r.stereo.options.matcher;
  OptimizerOptions& optimizer = r.stereo.options.optimizer;
  app.add_option(names.matcher.halfWinSize, matcher.halfWinSize, "Window half size r, pixels; windows are (2r+1)^2")
      ->capture_default_str();
  app.add_option(names.matcher.colorSigma, matcher.colorSigma,
                 "Colour-difference sigma of the window weights, Lab units")
      ->capture_default_str();
  app.add_option(names.matcher.spatialSigma, matcher.spatialSigma, "Spatial sigma of the window weights, pixels")
      ->capture_default_str();
  app.add_option(names.matcher.baseDisparity, matcher.baseDisparity, "Disparity of label 0, pixels")
      ->capture_default_str();
  words.rangeOption =
      app.add_option(names.matcher.disparityRange, matcher.disparityRange,
                     "Number of disparity labels (default with --dataset: the set's ndisp, 192 for KITTI)")
          ->capture_default_str();
  app.add_option("--display-level", r.outputs.displayLevel, "Grey multiplier of the map (low 8 bits act)")
      ->capture_default_str();
  app.add_option("--smooth-exponent", optimizer.smoothExponent, "Exponent of the smoothness term (1 or 2)")
      ->capture_default_str();
  app.add_option(names.optimizer.smoothMax, r.typed.smoothMax, "Truncation of the label-distance power")
      ->capture_default_str();
  app.add_option(names.optimizer.lambda, r.typed.lambda, "Smoothness weight (scaled by 30 inside)")
      ->capture_default_str();
  words.colorModeOption = app.add_option("--color-mode", r.typed.colorMode, "Colour space the windows are compared in")
                              ->type_name("TEXT:{logchrom,rgb}")
                              ->capture_default_str();
  words.weightOption =
      app.add_option(names.matcher.logChromWeight, words.weightText,
                     "The matcher's blend of its two costs, 0 to 1: 1 = log-chromaticity only (as --color-mode "
                     "logchrom), 0 = colour values only (as rgb); of it and --color-mode the later one given wins")
          ->type_name("W");
  app.add_option("--seed", optimizer.seed,
                 "Seed of the optimizer's label orders, for a reproducible map (default: the clock)");
  app.add_option(names.matcher.threadCount, matcher.threadCount,
                 "Threads of the cost computation and of the optimizer's moves; 0 = all cores")
      ->capture_default_str();
}

// The files to write and the refinements asked for.
void declareOutputOptions(CLI::App& app, ComputeRequest& r, ComputeWords& words) {
  const StereoFieldNames& names = kCliFieldNames;
  StereoOptions& options = r.stereo.options;
  // One flag per entry of the output table, bound to its path.
  for (const OutputFile& file : outputFiles()) app.add_option(file.flag, r.outputs.*file.path, file.help);
  app.add_flag("--subpixel", options.subpixel,
               "Refine the float outputs by a parabola through each pixel's cost and its neighbours' (+-0.5 px)");
  words.lrOption =
      app.add_option(names.leftRightThreshold, words.lrText,
                     "Also compute the right view's map and mark pixels whose two disparities differ by more than "
                     "THRESH pixels as unknown in the float outputs (default 1)")
          ->expected(0, 1)
          ->type_name("[THRESH]");
  app.add_flag(names.fill, options.fill,
               "With --lr-check: give each unknown pixel of the float outputs the lower of the nearest consistent "
               "disparities to its left and right on its row (the background side); a row with none stays unknown");
  app.add_option(names.medianRadius, options.medianRadius,
                 "Weighted median of radius R (1 to " + std::to_string(kMaxMedianRadius) +
                     ") over the float outputs, guided by the left view, after --fill; unknown pixels stay unknown")
      ->type_name("R");
  app.add_option("--json", r.outputs.json,
                 "Run summary: parameters, size, stage seconds, energies, peak memory, outputs, score");
}

void declareScoreOptions(CLI::App& app, ScoreRequest& score) {
  app.add_option("--ground-truth", score.truthPath,
                 "Score the result against a ground truth of the left view (.pfm, or an 8/16-bit image with "
                 "--gt-scale) and print the result");
  app.add_option("--gt-scale", score.truthScale, "Ground-truth value per pixel of disparity (Middlebury: 16, 8, 4, 3)")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--mask", score.maskPath, "Score only where this 8-bit mask is 255 (e.g. nonocc.png)");
  app.add_option("--bad-threshold", score.badThreshold, "Error above which a pixel counts as bad, pixels")
      ->capture_default_str();
}

// The blend, as --color-mode's word or --log-chrom-weight's number,
// whichever was given later (as a repeated option, the later wins).
Status interpretBlend(const CLI::App& app, const ComputeWords& words, ComputeRequest& r) {
  MatcherOptions& matcher = r.stereo.options.matcher;
  Expected<float> modeWeight = logChromWeightOfMode(r.typed.colorMode, "--color-mode");
  if (!modeWeight) return std::move(modeWeight).error();
  matcher.logChromWeight = *modeWeight;
  if (words.weightOption->count() == 0) return {};
  const std::vector<CLI::Option*> order = app.parse_order();
  const auto lastOf = [&](const CLI::Option* option) {
    for (std::size_t i = order.size(); i-- > 0;) {
      if (order[i] == option) return static_cast<std::ptrdiff_t>(i);
    }
    return std::ptrdiff_t{-1};
  };
  char* end = nullptr;
  const double weight = std::strtod(words.weightText.c_str(), &end);
  if (end == words.weightText.c_str() || *end != '\0') {
    return usageError(std::string(kCliFieldNames.matcher.logChromWeight) + " \"" + words.weightText +
                      "\" must be a number from 0 (colour values only) to 1 (log-chromaticity only)");
  }
  r.typed.weightWins = lastOf(words.weightOption) > lastOf(words.colorModeOption);
  if (r.typed.weightWins) {
    // Its range is the matcher options' rule, judged with the others.
    matcher.logChromWeight = static_cast<float>(weight);
    return {};
  }
  // A blend the colour mode overrides is still judged by that same rule.
  MatcherOptions given = matcher;
  given.logChromWeight = static_cast<float>(weight);
  return given.check(kCliFieldNames.matcher);
}

// The left-right threshold: its value is optional, so it is read here rather
// than by the parser; its range is the run's rule.
Status interpretLeftRight(const ComputeWords& words, StereoOptions& options) {
  if (words.lrOption->count() == 0) return {};
  options.leftRightThreshold = 1.0;
  if (words.lrText.empty()) return {};
  char* end = nullptr;
  const double threshold = std::strtod(words.lrText.c_str(), &end);
  if (end == words.lrText.c_str() || *end != '\0') {
    return usageError("--lr-check: the threshold \"" + words.lrText + "\" must be a number of pixels, 0 or more");
  }
  options.leftRightThreshold = threshold;
  return {};
}

// Which outputs can be written: the rules of the command's own files.
Status checkOutputs(const ComputeRequest& r) {
  const RequestedOutputs& out = r.outputs;
  const MatcherOptions& matcher = r.stereo.options.matcher;
  if (!out.confidence.empty() && !r.stereo.options.leftRightThreshold) {
    return usageError("--confidence needs --lr-check: the confidence is the left-right check's result");
  }
  if (!out.png16.empty()) {
    if (const Status fits = checkPng16Range(matcher.baseDisparity, matcher.disparityRange); !fits) {
      return usageError(fits.error().message);
    }
  }
  for (const auto& [path, flag] : {std::pair{&out.depth, "--depth"}, std::pair{&out.ply, "--ply"}}) {
    if (!path->empty() && !r.calibration.camera) {
      return usageError(std::string(flag) +
                        " needs a calibration: a dataset that has one (a 2014 set's calib.txt, a KITTI frame's "
                        "calibration file), --calib FILE, or --focal, --baseline, --cx and --cy");
    }
  }
  std::vector<PlannedOutput> plan = {{out.displayMap, "disparity map", {}, true}};
  for (const OutputFile& file : outputFiles()) {
    plan.push_back(file.plan);
    plan.back().path = out.*file.path;
  }
  if (!r.submit.method.empty()) {
    const std::filesystem::path folder(r.submit.folder);
    plan.push_back({(folder / ("disp0" + r.submit.method + ".pfm")).string(), "submitted map", {}, false, true});
    plan.push_back({(folder / ("time" + r.submit.method + ".txt")).string(), "submitted time", {}, false, true});
  }
  plan.push_back({out.json, "run summary", {}, false});
  const bool nothing = std::all_of(plan.begin(), plan.end(), [](const PlannedOutput& p) { return p.path.empty(); });
  const bool scored = !r.score.truthPath.empty() || !std::holds_alternative<std::monostate>(r.dataset.truth);
  if (nothing && !scored) return usageError("Nothing to do: --no-map without any other output");
  return checkOutputPlan(plan);
}

// The ground truth and the mask, read before the run.
Status loadScoreFiles(ScoreRequest& score) {
  if (!score.truthPath.empty()) {
    Expected<cv::Mat> read = readGroundTruth(score.truthPath);
    if (!read) return usageError(read.error().message);
    score.truth = std::move(*read);
  }
  if (!score.maskPath.empty()) {
    if (score.truthPath.empty()) return usageError("--mask needs --ground-truth");
    Expected<cv::Mat> read = readMask(score.maskPath);
    if (!read) return usageError(read.error().message);
    score.mask = std::move(*read);
  }
  return {};
}

// The ground truth and the mask must be the pair's size.
Status checkScoreSizes(const ScoreRequest& score, const cv::Mat& left) {
  const auto sizeMismatch = [&](const cv::Mat& m, const std::string& what, const std::string& path) {
    return usageError(what + " \"" + path + "\" is " + std::to_string(m.cols) + " x " + std::to_string(m.rows) +
                      " but the reference image is " + std::to_string(left.cols) + " x " + std::to_string(left.rows));
  };
  if (!score.truth.empty() && score.truth.size() != left.size()) {
    return sizeMismatch(score.truth, "The ground truth", score.truthPath);
  }
  if (!score.mask.empty() && score.mask.size() != left.size()) {
    return sizeMismatch(score.mask, "The mask", score.maskPath);
  }
  return {};
}

}  // namespace

Error usageError(const std::string& message) { return invalidInput(message + "\n"); }

void declareComputeOptions(CLI::App& app, ComputeRequest& r, ComputeWords& words) {
  words.outputPath = defaultSavePath();
  r.typed.smoothMax = static_cast<int>(OptimizerOptions{}.smoothMax);
  words.leftOption =
      app.add_option("left,--left", r.leftPath, "Reference (left) image, or a dataset folder as with --dataset")
          ->capture_default_str();
  words.rightOption = app.add_option("right,--right", r.rightPath, "Target (right) image")->capture_default_str();
  app.add_option("-o,--output", words.outputPath,
                 "Display map (the dialog's 8-bit grey map); the extension picks the format")
      ->capture_default_str();
  app.add_flag("--no-map", words.noMap, "Do not write the display map (only the outputs asked for below)");
  declareRunOptions(app, r, words);
  declareOutputOptions(app, r, words);
  declareScoreOptions(app, r.score);
  declareDatasetOptions(app, r);
  app.add_flag("-q,--quiet", r.quiet, "Print only errors, the score and the \"wrote\" lines");
}

Status interpretComputeWords(const CLI::App& app, const ComputeWords& words, ComputeRequest& r) {
  StereoOptions& options = r.stereo.options;
  if (Status blend = interpretBlend(app, words, r); !blend) return blend;
  if (Status leftRight = interpretLeftRight(words, options); !leftRight) return leftRight;
  options.optimizer.smoothMax = static_cast<float>(r.typed.smoothMax);
  options.optimizer.lambda = smoothnessWeightOf(r.typed.lambda);
  // One count for the whole run: the cost sweep's and every move's.
  options.useThreads(options.matcher.threadCount);
  if (!words.noMap) r.outputs.displayMap = words.outputPath;
  options.keepCosts = !r.outputs.cost.empty();
  r.stereo.fieldNames = kCliFieldNames;
  if (Status dataset = resolveDatasetOptions(words, r); !dataset) return dataset;
  return checkOutputs(r);
}

Status loadComputeInputs(ComputeRequest& r) {
  if (Status score = loadScoreFiles(r.score); !score) return score;
  Expected<cv::Mat> left = loadInputImage(r.leftPath, "reference");
  if (!left) return usageError(left.error().message);
  Expected<cv::Mat> right = loadInputImage(r.rightPath, "target");
  if (!right) return usageError(right.error().message);
  StereoRequest& stereo = r.stereo;
  stereo.left = std::move(*left);
  stereo.right = std::move(*right);
  // What the process may take is read once: the check and the run judge by
  // the same figure.
  stereo.availableBytes = availableMemoryBytes();
  if (Status refused = checkStereoRequest(stereo); !refused) return refused;
  if (Status sizes = checkDatasetSizes(r); !sizes) return sizes;
  return checkScoreSizes(r.score, stereo.left);
}

}  // namespace orbelt
