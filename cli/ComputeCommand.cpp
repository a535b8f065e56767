#include "cli/ComputeCommand.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/OutputPlan.h"
#include "cli/ParseArguments.h"
#include "cli/PeakMemory.h"
#include "cli/ProgressDisplay.h"
#include "eval/DisparityEvaluation.h"
#include "io/AtomicFile.h"
#include "io/DisparityImages.h"
#include "io/DisparityMapFiles.h"
#include "io/ImageFile.h"
#include "io/NpyFile.h"
#include "io/PfmFile.h"
#include "pipeline/DisparityPipeline.h"
#include "platform/Timing.h"
#include "postprocess/DisplayGrey.h"
#include "postprocess/FloatDisparity.h"
#include "postprocess/LeftRightCheck.h"
#include "postprocess/MapRefinement.h"
#include "postprocess/WeightedMedian.h"
#include "postprocess/SubpixelRefinement.h"

namespace orbelt {

namespace {

// Engine messages go where the progress display writes, ending a bar first.
class StderrMessageBox : public MessageBox {
 public:
  explicit StderrMessageBox(ProgressDisplay& progress) : progress_(progress) {}
  void show(const std::string& text) override {
    progress_.endBar();
    std::fprintf(stderr, "%s\n", text.c_str());
  }

 private:
  ProgressDisplay& progress_;
};

int fail(ProgressDisplay* progress, const std::string& message, int status) {
  if (progress) progress->endBar();
  std::fprintf(stderr, "%s\n", message.c_str());
  return status;
}

// An engine's Error is printed as it is, on its own stream, and its status
// ends the command.
int fail(ProgressDisplay* progress, const Error& error) {
  if (progress) progress->endBar();
  std::fputs(error.message.c_str(), error.stream == ErrorStream::Stdout ? stdout : stderr);
  return error.exitStatus & 0xff;
}

// A float as the shortest decimal that reads back as it (0.033, not
// 0.032999999821186066), so summaries show the values as typed.
double shortestDecimal(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::strtod(std::string(text, end).c_str(), nullptr);
}

nlohmann::json paramsJson(const StereoParams& p, float logChromWeight) {
  return {{"half_win_size", p.halfWinSize},
          {"sigma_s", shortestDecimal(p.sigmaS)},
          {"sigma_p", shortestDecimal(p.sigmaP)},
          {"base_disparity", p.baseDisparity},
          {"disparity_range", p.disparityRange},
          {"display_level", p.displayLevel},
          {"smooth_exponent", p.smoothExponent},
          {"smooth_max", p.smoothMax},
          {"lambda", shortestDecimal(p.lambda)},
          {"color_mode", p.colorMode == ColorMode::Rgb ? "rgb" : "logchrom"},
          {"log_chrom_weight", shortestDecimal(logChromWeight)}};
}

// Pixels of a float map without a disparity (not finite).
std::size_t countUnknown(const cv::Mat& disparity) {
  std::size_t unknown = 0;
  for (int y = 0; y < disparity.rows; ++y) {
    const float* row = disparity.ptr<float>(y);
    for (int x = 0; x < disparity.cols; ++x) unknown += !std::isfinite(row[x]);
  }
  return unknown;
}

nlohmann::json stageJson(const DisparityResult& r) {
  return {{"cost_volume", r.costSeconds},
          {"flatten", r.flattenSeconds},
          {"optimize", r.optimizeSeconds},
          {"passes", r.passSeconds},
          {"energies", r.passEnergies}};
}

}  // namespace

int runComputeCommand(int argc, char** argv) {
  StereoParams params;
  std::string leftPath = kDefaultRefPath;
  std::string rightPath = kDefaultTargetPath;
  std::string outputPath = defaultSavePath();
  bool noMap = false;
  std::string colorMode = "logchrom";
  std::optional<std::uint32_t> seed;
  int threads = 0;
  std::string costPath, pfmPath, png16Path, colorPath, confidencePath, jsonPath;
  bool subpixel = false;
  double lrThreshold = 1.0;
  std::string lrText;
  std::string weightText;
  bool fill = false;
  std::optional<int> medianRadius;
  std::string truthPath, maskPath;
  double truthScale = 1.0;
  float badThreshold = 1.0f;
  bool quiet = false;

  CLI::App app{
      "Computes a dense disparity map from a rectified colour stereo pair: ANCC matching costs, then\n"
      "alpha-expansion over a grid MRF (ten passes). Writes the labels as an 8-bit grey map,\n"
      "grey = ((label + base) * display level) mod 256 (the base is left out when negative), and on\n"
      "request float, 16-bit and colour maps, the costs, a left-right check and a JSON run summary.\n"
      "Other commands: 'orbelt-cli eval --help' scores a saved map against ground truth;\n"
      "'orbelt-cli batch --help' runs a manifest of pairs.",
      "orbelt-cli"};
  app.footer(
      "Exit status:\n"
      "  0    every requested output was written\n"
      "  1    an engine ended the run (its message says why, e.g. a smoothness exponent other than 1 or 2)\n"
      "  2    usage, input or output-file error (nothing is written; earlier outputs stay as they were)\n"
      "  255  an input image is not a 3-channel colour image");
  app.get_formatter()->column_width(36);
  // A repeated option takes its last value, so a script can append overrides.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

  app.add_option("left,--left", leftPath, "Reference (left) image")->capture_default_str();
  app.add_option("right,--right", rightPath, "Target (right) image")->capture_default_str();
  app.add_option("-o,--output", outputPath, "Display map (the dialog's 8-bit grey map); the extension picks the format")
      ->capture_default_str();
  app.add_flag("--no-map", noMap, "Do not write the display map (only the outputs asked for below)");
  app.add_option("--half-win-size", params.halfWinSize, "Window half size r, pixels; windows are (2r+1)^2")
      ->capture_default_str();
  app.add_option("--sigma-s", params.sigmaS, "Colour-difference sigma of the window weights, Lab units")
      ->capture_default_str();
  app.add_option("--sigma-p", params.sigmaP, "Spatial sigma of the window weights, pixels")->capture_default_str();
  app.add_option("--base-disparity", params.baseDisparity, "Disparity of label 0, pixels")->capture_default_str();
  app.add_option("--disparity-range", params.disparityRange, "Number of disparity labels")->capture_default_str();
  app.add_option("--display-level", params.displayLevel, "Grey multiplier of the map (low 8 bits act)")
      ->capture_default_str();
  app.add_option("--smooth-exponent", params.smoothExponent, "Exponent of the smoothness term (1 or 2)")
      ->capture_default_str();
  app.add_option("--smooth-max", params.smoothMax, "Truncation of the label-distance power")->capture_default_str();
  app.add_option("--lambda", params.lambda, "Smoothness weight (scaled by 30 inside)")->capture_default_str();
  CLI::Option* colorModeOption =
      app.add_option("--color-mode", colorMode, "Colour space the windows are compared in")
          ->check(CLI::IsMember({"logchrom", "rgb"}))
          ->capture_default_str();
  CLI::Option* weightOption =
      app.add_option("--log-chrom-weight", weightText,
                     "The matcher's blend of its two costs, 0 to 1: 1 = log-chromaticity only (as --color-mode "
                     "logchrom), 0 = colour values only (as rgb); of it and --color-mode the later one given wins")
          ->type_name("W");
  app.add_option("--seed", seed, "Seed of the optimizer's label orders, for a reproducible map (default: the clock)");
  app.add_option("--threads", threads, "Threads of the cost computation; 0 = all cores")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--pfm", pfmPath, "Float disparity map (.pfm, pixels, inf = unknown)");
  app.add_option("--png16", png16Path,
                 "16-bit disparity map (.png, disparity x 256, 0 = unknown; needs disparities 0..255)");
  app.add_option("--color", colorPath, "Colour-mapped disparity picture with a legend (.png, .bmp, .jpg)");
  app.add_option("--save-cost", costPath,
                 "Also write the flat cost array as a NumPy float32 .npy of shape (height, width, labels)");
  app.add_flag("--subpixel", subpixel,
               "Refine the float outputs by a parabola through each pixel's cost and its neighbours' (+-0.5 px)");
  CLI::Option* lrOption =
      app.add_option("--lr-check", lrText,
                     "Also compute the right view's map and mark pixels whose two disparities differ by more than "
                     "THRESH pixels as unknown in the float outputs (default 1)")
          ->expected(0, 1)
          ->type_name("[THRESH]");
  app.add_flag("--fill", fill,
               "With --lr-check: give each unknown pixel of the float outputs the lower of the nearest consistent "
               "disparities to its left and right on its row (the background side); a row with none stays unknown");
  app.add_option("--median", medianRadius,
                 "Weighted median of radius R (1 to " + std::to_string(kMaxMedianRadius) +
                     ") over the float outputs, guided by the left view, after --fill; unknown pixels stay unknown")
      ->type_name("R");
  app.add_option("--confidence", confidencePath,
                 "With --lr-check: 8-bit image, 255 where the check passed, 0 where it failed (.png, .bmp)");
  app.add_option("--json", jsonPath,
                 "Run summary: parameters, size, stage seconds, energies, peak memory, outputs, score");
  app.add_option("--ground-truth", truthPath,
                 "Score the result against a ground truth of the left view (.pfm, or an 8/16-bit image with "
                 "--gt-scale) and print the result");
  app.add_option("--gt-scale", truthScale, "Ground-truth value per pixel of disparity (Middlebury: 16, 8, 4, 3)")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--mask", maskPath, "Score only where this 8-bit mask is 255 (e.g. nonocc.png)");
  app.add_option("--bad-threshold", badThreshold, "Error above which a pixel counts as bad, pixels")
      ->capture_default_str();
  app.add_flag("-q,--quiet", quiet, "Print only errors, the score and the \"wrote\" lines");

  if (const auto status = parseArguments(app, argc, argv)) return *status;
  params.colorMode = colorMode == "rgb" ? ColorMode::Rgb : ColorMode::LogChrom;
  const bool lrCheck = lrOption->count() > 0;
  if (lrCheck && !lrText.empty()) {
    // The value is optional, so it is read here rather than by the parser.
    char* end = nullptr;
    lrThreshold = std::strtod(lrText.c_str(), &end);
    if (end == lrText.c_str() || *end != '\0' || !(lrThreshold >= 0) || !std::isfinite(lrThreshold)) {
      return fail(nullptr, "--lr-check: the threshold \"" + lrText + "\" must be a number of pixels, 0 or more",
                  kExitUsage);
    }
  }
  std::optional<float> logChromWeight;
  if (weightOption->count() > 0) {
    char* end = nullptr;
    const double weight = std::strtod(weightText.c_str(), &end);
    if (end == weightText.c_str() || *end != '\0' || !(weight >= 0.0 && weight <= 1.0)) {
      return fail(nullptr,
                  "--log-chrom-weight " + weightText +
                      ": the weight must be from 0 to 1 (0: colour values only, 1: log-chromaticity only)",
                  kExitUsage);
    }
    // Like a repeated option, the later of the two settings of the blend wins.
    const std::vector<CLI::Option*> order = app.parse_order();
    const auto lastOf = [&](const CLI::Option* option) {
      for (std::size_t i = order.size(); i-- > 0;) {
        if (order[i] == option) return static_cast<std::ptrdiff_t>(i);
      }
      return std::ptrdiff_t{-1};
    };
    if (lastOf(weightOption) > lastOf(colorModeOption)) logChromWeight = static_cast<float>(weight);
  }
  const float effectiveWeight = logChromWeight.value_or(logChromWeightOf(params.colorMode));
  const RefinementOptions refinement{
      .lrCheck = lrCheck, .lrThreshold = lrThreshold, .fill = fill, .medianRadius = medianRadius};
  if (noMap) outputPath.clear();

  // Everything that can be judged without computing is judged first, so a
  // mistake costs no time and touches no file.
  if (Status bad = params.check(); !bad) return fail(nullptr, bad.error());
  if (const Status bad = refinement.check({"--lr-check", "--fill", "--median"}); !bad) {
    return fail(nullptr, bad.error().message, kExitUsage);
  }
  if (!confidencePath.empty() && !lrCheck) {
    return fail(nullptr, "--confidence needs --lr-check: the confidence is the left-right check's result",
                kExitUsage);
  }
  if (!png16Path.empty()) {
    if (const Status fits = checkPng16Range(params.baseDisparity, params.disparityRange); !fits) {
      return fail(nullptr, fits.error().message, kExitUsage);
    }
  }
  if (outputPath.empty() && pfmPath.empty() && png16Path.empty() && colorPath.empty() && costPath.empty() &&
      confidencePath.empty() && jsonPath.empty() && truthPath.empty()) {
    return fail(nullptr, "Nothing to do: --no-map without any other output", kExitUsage);
  }
  const std::vector<PlannedOutput> plan = {
      {outputPath, "disparity map", {}, true},
      {pfmPath, "float disparity map", {".pfm"}, false},
      {png16Path, "16-bit disparity map", {".png"}, false},
      {colorPath, "colour disparity picture", {}, true},
      {confidencePath, "confidence image", {".png", ".bmp", ".pgm", ".tif", ".tiff"}, true},
      {costPath, "cost array", {".npy"}, false},
      {jsonPath, "run summary", {}, false},
  };
  if (std::string bad = checkOutputPlan(plan); !bad.empty()) return fail(nullptr, bad, kExitUsage);
  cv::Mat truth, mask;
  if (!truthPath.empty()) {
    Expected<cv::Mat> read = readGroundTruth(truthPath);
    if (!read) return fail(nullptr, read.error().message, kExitUsage);
    truth = std::move(*read);
  }
  if (!maskPath.empty()) {
    if (truthPath.empty()) return fail(nullptr, "--mask needs --ground-truth", kExitUsage);
    Expected<cv::Mat> read = readMask(maskPath);
    if (!read) return fail(nullptr, read.error().message, kExitUsage);
    mask = std::move(*read);
  }

  const Expected<cv::Mat> loadedLeft = loadInputImage(leftPath, "reference");
  if (!loadedLeft) return fail(nullptr, loadedLeft.error().message, kExitUsage);
  const Expected<cv::Mat> loadedRight = loadInputImage(rightPath, "target");
  if (!loadedRight) return fail(nullptr, loadedRight.error().message, kExitUsage);
  const cv::Mat& left = *loadedLeft;
  const cv::Mat& right = *loadedRight;
  // The run's request, checked before anything is printed or computed.
  StereoRequest request;
  request.left = left;
  request.right = right;
  request.options = stereoOptionsFor(params);
  request.options.matcher.threadCount = threads;
  if (logChromWeight) request.options.matcher.logChromWeight = *logChromWeight;
  request.options.optimizer.seed = seed;
  request.options.keepCosts = !costPath.empty();
  request.options.subpixel = subpixel;
  if (lrCheck) request.options.leftRightThreshold = lrThreshold;
  request.options.fill = fill;
  request.options.medianRadius = medianRadius;
  request.fieldNames = kDialogFieldNames;
  if (Status refused = checkStereoRequest(request); !refused) return fail(nullptr, refused.error());
  const int width = left.cols;
  const int height = left.rows;
  const auto sizeMismatch = [&](const cv::Mat& m, const std::string& what, const std::string& path) {
    return what + " \"" + path + "\" is " + std::to_string(m.cols) + " x " + std::to_string(m.rows) +
           " but the reference image is " + std::to_string(width) + " x " + std::to_string(height);
  };
  if (!truth.empty() && truth.size() != left.size()) {
    return fail(nullptr, sizeMismatch(truth, "The ground truth", truthPath), kExitUsage);
  }
  if (!mask.empty() && mask.size() != left.size()) {
    return fail(nullptr, sizeMismatch(mask, "The mask", maskPath), kExitUsage);
  }

  ProgressDisplay progress(progressStyleFor(quiet, stderr));
  StderrMessageBox messages(progress);
  {
    char text[256];
    const std::string signal =
        logChromWeight ? "log-chrom weight " + std::to_string(*logChromWeight).substr(0, 5) : colorMode;
    std::snprintf(text, sizeof text, "%s: %d x %d, %d labels from %d, window %d x %d, %s%s%s%s%s", "orbelt-cli",
                  width, height, params.disparityRange, params.baseDisparity, 2 * params.halfWinSize + 1,
                  2 * params.halfWinSize + 1, signal.c_str(), subpixel ? ", sub-pixel" : "",
                  lrCheck ? ", left-right check" : "", fill ? ", fill" : "",
                  medianRadius ? (", median " + std::to_string(*medianRadius)).c_str() : "");
    progress.line(text);
  }
  const auto runStart = SteadyClock::now();
  request.progress = progress.stereoProgress();
  Expected<StereoResult> run = runStereo(request);
  if (!run) return fail(&progress, run.error());
  const StereoResult& stereo = *run;
  const DisparityResult& result = stereo.left;
  const DisparityResult rightResult = stereo.right ? *stereo.right : DisparityResult{};
  const double lrSeconds = stereo.leftRightSeconds;
  const double subpixelSeconds = stereo.subpixelSeconds;
  const cv::Mat& disparity = stereo.disparity;
  const std::size_t unknownPixels = countUnknown(disparity);

  // Every output is made in memory, then each is written through a temporary
  // file and a rename, so a failed write never leaves a half-written file.
  const auto saveStart = SteadyClock::now();
  std::vector<std::string> written;
  nlohmann::json outputs = nlohmann::json::object();
  const auto wrote = [&](const std::string& key, const std::string& path) {
    written.push_back(path);
    outputs[key] = path;
  };
  double mapSaveSeconds = 0.0;
  if (!outputPath.empty()) {
    const auto start = SteadyClock::now();
    const cv::Mat map = renderDisplayMap(result.labels, width, height, params.baseDisparity, params.displayLevel);
    if (const Status saved = saveImageAtomically(outputPath, map); !saved) {
      return fail(&progress, saved.error().message, kExitUsage);
    }
    wrote("display_map", outputPath);
    mapSaveSeconds = secondsSince(start);
  }
  if (!pfmPath.empty()) {
    if (const Status saved = writePfm(pfmPath, disparity); !saved) {
      return fail(&progress, saved.error().message, kExitUsage);
    }
    wrote("pfm", pfmPath);
  }
  if (!png16Path.empty()) {
    if (const Status saved = saveImageAtomically(png16Path, encodeDisparityPng16(disparity)); !saved) {
      return fail(&progress, saved.error().message, kExitUsage);
    }
    wrote("png16", png16Path);
  }
  if (!colorPath.empty()) {
    const cv::Mat picture = renderColorMap(disparity, params.baseDisparity,
                                           static_cast<double>(params.baseDisparity) + params.disparityRange - 1);
    if (const Status saved = saveImageAtomically(colorPath, picture); !saved) {
      return fail(&progress, saved.error().message, kExitUsage);
    }
    wrote("color", colorPath);
  }
  if (!confidencePath.empty()) {
    const cv::Mat confidence = renderConfidence(stereo.consistent, width, height);
    if (const Status saved = saveImageAtomically(confidencePath, confidence); !saved) {
      return fail(&progress, saved.error().message, kExitUsage);
    }
    wrote("confidence", confidencePath);
  }
  double costSaveSeconds = 0.0;
  if (!costPath.empty()) {
    const auto start = SteadyClock::now();
    const Status saved =
        writeNpyFloat32(costPath, result.costs.data(),
                        {static_cast<std::size_t>(height), static_cast<std::size_t>(width),
                         static_cast<std::size_t>(params.disparityRange)});
    costSaveSeconds = secondsSince(start);
    if (!saved) return fail(&progress, saved.error().message, kExitUsage);
    wrote("cost", costPath);
  }
  const double saveSeconds = secondsSince(saveStart);

  char text[256];
  std::snprintf(text, sizeof text, "cost volume  %8.3f s", result.costSeconds);
  progress.line(text);
  std::snprintf(text, sizeof text, "flatten      %8.3f s", result.flattenSeconds);
  progress.line(text);
  std::snprintf(text, sizeof text, "optimize     %8.3f s  (%d passes, final energy %.1f)", result.optimizeSeconds,
                kOptimizerPasses, result.passEnergies.empty() ? 0.0 : result.passEnergies.back());
  progress.line(text);
  if (lrCheck) {
    std::snprintf(text, sizeof text, "right view   %8.3f s  (%.1f%% of pixels consistent within %g px)", lrSeconds,
                  100.0 * double(stereo.consistentCount) / (double(width) * height), lrThreshold);
    progress.line(text);
  }
  if (fill) {
    std::snprintf(text, sizeof text, "fill         %8.3f s  (%zu pixels filled, %zu in rows without a consistent one)",
                  stereo.fillSeconds, stereo.fill.filled, stereo.fill.unknown);
    progress.line(text);
  }
  if (medianRadius) {
    std::snprintf(text, sizeof text, "median       %8.3f s  (radius %d)", stereo.medianSeconds, *medianRadius);
    progress.line(text);
  }
  if (subpixel) {
    std::snprintf(text, sizeof text, "sub-pixel    %8.3f s", subpixelSeconds);
    progress.line(text);
  }
  if (!outputPath.empty()) {
    std::snprintf(text, sizeof text, "save map     %8.3f s", mapSaveSeconds);
    progress.line(text);
  }
  if (!costPath.empty()) {
    std::snprintf(text, sizeof text, "save costs   %8.3f s  (%s)", costSaveSeconds, costPath.c_str());
    progress.line(text);
  }
  std::snprintf(text, sizeof text, "save outputs %8.3f s", saveSeconds);
  progress.line(text);

  nlohmann::json score;
  if (!truth.empty()) {
    DisparityScore s;
    std::string error;
    if (!evaluateDisparity(disparity, truth, mask, {truthScale, 0, badThreshold}, s, error)) return fail(&progress, error, kExitUsage);
    const double badPercent = s.badOverCustom;
    progress.endBar();
    std::printf("bad pixels (error > %g px): %.2f%% of %lld; mean absolute error %.3f px\n",
                static_cast<double>(badThreshold), badPercent, static_cast<long long>(s.evaluated), s.meanError);
    score = {{"truth", truthPath},        {"scale", truthScale},      {"mask", maskPath},
             {"evaluated", s.evaluated},  {"unknown", s.invalid},     {"bad_0.5", s.badOver05},
             {"bad_1", s.badOver1},       {"bad_2", s.badOver2},      {"bad_4", s.badOver4},
             {"mean_abs_error", s.meanError}, {"bad_threshold", badThreshold}, {"bad_at_threshold", badPercent}};
  }

  if (!jsonPath.empty()) {
    nlohmann::json summary = {
        {"left", leftPath},
        {"right", rightPath},
        {"width", width},
        {"height", height},
        {"parameters", paramsJson(params, effectiveWeight)},
        {"seed", seed ? nlohmann::json(*seed) : nlohmann::json()},
        {"threads", threads},
        {"flow_recycling", result.flowRecycling},
        {"subpixel", subpixel},
        {"seconds", stageJson(result)},
        {"total_seconds", secondsSince(runStart)},
        {"save_seconds", saveSeconds},
        {"peak_memory_bytes", peakResidentBytes()},
        {"outputs", outputs},
    };
    if (lrCheck) {
      summary["lr_check"] = {{"threshold", lrThreshold},
                             {"consistent_fraction", double(stereo.consistentCount) / (double(width) * height)},
                             {"seconds", lrSeconds},
                             {"right_view", stageJson(rightResult)}};
    }
    if (subpixel) summary["subpixel_seconds"] = subpixelSeconds;
    summary["refinement"] = {{"lr_check", lrCheck},
                             {"fill", fill},
                             {"median_radius", medianRadius ? nlohmann::json(*medianRadius) : nlohmann::json()},
                             {"filled_pixels", stereo.fill.filled},
                             {"unknown_pixels", unknownPixels},
                             {"fill_seconds", stereo.fillSeconds},
                             {"median_seconds", stereo.medianSeconds}};
    if (!score.is_null()) summary["score"] = score;
    summary["outputs"]["json"] = jsonPath;
    const std::string textOut = summary.dump(2) + "\n";
    if (const Status saved = writeFileAtomically(jsonPath, {{textOut.data(), textOut.size()}}); !saved) {
      return fail(&progress, saved.error().message, kExitUsage);
    }
    written.push_back(jsonPath);
  }
  progress.endBar();
  for (const std::string& path : written) std::printf("wrote %s\n", path.c_str());
  return kExitSuccess;
}

}  // namespace orbelt
