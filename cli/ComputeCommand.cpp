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

// The command line's words, judged and loaded: everything the run and the
// steps after it read. Paths left empty are outputs not asked for.
struct RequestedOutputs {
  std::string displayMap;  // empty with --no-map
  std::string pfm, png16, color, confidence, cost, json;
};

// What the score against a ground truth needs; empty paths when not asked.
struct ScoreRequest {
  std::string truthPath, maskPath;
  double truthScale = 1.0;
  float badThreshold = 1.0f;
  cv::Mat truth, mask;  // read before the run, so a bad file costs no time
};

struct ComputeRequest {
  std::string leftPath = kDefaultRefPath;
  std::string rightPath = kDefaultTargetPath;
  StereoParams params;
  std::string colorMode = "logchrom";  // as typed; the header line names it
  // Set only when --log-chrom-weight came after --color-mode.
  std::optional<float> logChromWeight;
  std::optional<std::uint32_t> seed;
  int threads = 0;
  bool subpixel = false;
  bool lrCheck = false;
  double lrThreshold = 1.0;
  bool fill = false;
  std::optional<int> medianRadius;
  bool quiet = false;
  RequestedOutputs outputs;
  ScoreRequest score;
  StereoRequest stereo;  // the run itself, already checked by checkStereoRequest

  int width() const { return stereo.left.cols; }
  int height() const { return stereo.left.rows; }
};

// A refusal before any work, printed exactly as the command always has.
Error usageError(const std::string& message) {
  return Error{.kind = ErrorKind::InvalidInput, .message = message + "\n", .exitStatus = kExitUsage};
}

// Separate from the run so that every mistake on the command line, in an
// input file or in an output path is judged before anything is printed or
// computed: a refusal costs no time and touches no file. The Error holds the
// text to print and the status; after --help the parser has printed already,
// so its message is empty and its status is the parser's.
Expected<ComputeRequest> parseComputeRequest(int argc, char** argv) {
  ComputeRequest r;
  StereoParams& params = r.params;
  std::string outputPath = defaultSavePath();
  bool noMap = false;
  std::string lrText;
  std::string weightText;

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

  app.add_option("left,--left", r.leftPath, "Reference (left) image")->capture_default_str();
  app.add_option("right,--right", r.rightPath, "Target (right) image")->capture_default_str();
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
  CLI::Option* colorModeOption = app.add_option("--color-mode", r.colorMode, "Colour space the windows are compared in")
                                     ->check(CLI::IsMember({"logchrom", "rgb"}))
                                     ->capture_default_str();
  CLI::Option* weightOption =
      app.add_option("--log-chrom-weight", weightText,
                     "The matcher's blend of its two costs, 0 to 1: 1 = log-chromaticity only (as --color-mode "
                     "logchrom), 0 = colour values only (as rgb); of it and --color-mode the later one given wins")
          ->type_name("W");
  app.add_option("--seed", r.seed, "Seed of the optimizer's label orders, for a reproducible map (default: the clock)");
  app.add_option("--threads", r.threads, "Threads of the cost computation and of the optimizer's moves; 0 = all cores")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--pfm", r.outputs.pfm, "Float disparity map (.pfm, pixels, inf = unknown)");
  app.add_option("--png16", r.outputs.png16,
                 "16-bit disparity map (.png, disparity x 256, 0 = unknown; needs disparities 0..255)");
  app.add_option("--color", r.outputs.color, "Colour-mapped disparity picture with a legend (.png, .bmp, .jpg)");
  app.add_option("--save-cost", r.outputs.cost,
                 "Also write the flat cost array as a NumPy float32 .npy of shape (height, width, labels)");
  app.add_flag("--subpixel", r.subpixel,
               "Refine the float outputs by a parabola through each pixel's cost and its neighbours' (+-0.5 px)");
  CLI::Option* lrOption =
      app.add_option("--lr-check", lrText,
                     "Also compute the right view's map and mark pixels whose two disparities differ by more than "
                     "THRESH pixels as unknown in the float outputs (default 1)")
          ->expected(0, 1)
          ->type_name("[THRESH]");
  app.add_flag("--fill", r.fill,
               "With --lr-check: give each unknown pixel of the float outputs the lower of the nearest consistent "
               "disparities to its left and right on its row (the background side); a row with none stays unknown");
  app.add_option("--median", r.medianRadius,
                 "Weighted median of radius R (1 to " + std::to_string(kMaxMedianRadius) +
                     ") over the float outputs, guided by the left view, after --fill; unknown pixels stay unknown")
      ->type_name("R");
  app.add_option("--confidence", r.outputs.confidence,
                 "With --lr-check: 8-bit image, 255 where the check passed, 0 where it failed (.png, .bmp)");
  app.add_option("--json", r.outputs.json,
                 "Run summary: parameters, size, stage seconds, energies, peak memory, outputs, score");
  app.add_option("--ground-truth", r.score.truthPath,
                 "Score the result against a ground truth of the left view (.pfm, or an 8/16-bit image with "
                 "--gt-scale) and print the result");
  app.add_option("--gt-scale", r.score.truthScale,
                 "Ground-truth value per pixel of disparity (Middlebury: 16, 8, 4, 3)")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--mask", r.score.maskPath, "Score only where this 8-bit mask is 255 (e.g. nonocc.png)");
  app.add_option("--bad-threshold", r.score.badThreshold, "Error above which a pixel counts as bad, pixels")
      ->capture_default_str();
  app.add_flag("-q,--quiet", r.quiet, "Print only errors, the score and the \"wrote\" lines");

  if (const auto status = parseArguments(app, argc, argv)) {
    return Error{.kind = ErrorKind::InvalidInput, .message = {}, .exitStatus = *status};
  }
  params.colorMode = r.colorMode == "rgb" ? ColorMode::Rgb : ColorMode::LogChrom;
  r.lrCheck = lrOption->count() > 0;
  if (r.lrCheck && !lrText.empty()) {
    // The value is optional, so it is read here rather than by the parser.
    char* end = nullptr;
    r.lrThreshold = std::strtod(lrText.c_str(), &end);
    if (end == lrText.c_str() || *end != '\0' || !(r.lrThreshold >= 0) || !std::isfinite(r.lrThreshold)) {
      return usageError("--lr-check: the threshold \"" + lrText + "\" must be a number of pixels, 0 or more");
    }
  }
  if (weightOption->count() > 0) {
    char* end = nullptr;
    const double weight = std::strtod(weightText.c_str(), &end);
    if (end == weightText.c_str() || *end != '\0' || !(weight >= 0.0 && weight <= 1.0)) {
      return usageError("--log-chrom-weight " + weightText +
                        ": the weight must be from 0 to 1 (0: colour values only, 1: log-chromaticity only)");
    }
    // Like a repeated option, the later of the two settings of the blend wins.
    const std::vector<CLI::Option*> order = app.parse_order();
    const auto lastOf = [&](const CLI::Option* option) {
      for (std::size_t i = order.size(); i-- > 0;) {
        if (order[i] == option) return static_cast<std::ptrdiff_t>(i);
      }
      return std::ptrdiff_t{-1};
    };
    if (lastOf(weightOption) > lastOf(colorModeOption)) r.logChromWeight = static_cast<float>(weight);
  }
  const RefinementOptions refinement{
      .lrCheck = r.lrCheck, .lrThreshold = r.lrThreshold, .fill = r.fill, .medianRadius = r.medianRadius};
  if (noMap) outputPath.clear();
  r.outputs.displayMap = outputPath;
  const RequestedOutputs& out = r.outputs;

  if (Status bad = params.check(); !bad) return bad.error();
  if (const Status bad = refinement.check({"--lr-check", "--fill", "--median"}); !bad) {
    return usageError(bad.error().message);
  }
  if (!out.confidence.empty() && !r.lrCheck) {
    return usageError("--confidence needs --lr-check: the confidence is the left-right check's result");
  }
  if (!out.png16.empty()) {
    if (const Status fits = checkPng16Range(params.baseDisparity, params.disparityRange); !fits) {
      return usageError(fits.error().message);
    }
  }
  if (out.displayMap.empty() && out.pfm.empty() && out.png16.empty() && out.color.empty() && out.cost.empty() &&
      out.confidence.empty() && out.json.empty() && r.score.truthPath.empty()) {
    return usageError("Nothing to do: --no-map without any other output");
  }
  const std::vector<PlannedOutput> plan = {
      {out.displayMap, "disparity map", {}, true},
      {out.pfm, "float disparity map", {".pfm"}, false},
      {out.png16, "16-bit disparity map", {".png"}, false},
      {out.color, "colour disparity picture", {}, true},
      {out.confidence, "confidence image", {".png", ".bmp", ".pgm", ".tif", ".tiff"}, true},
      {out.cost, "cost array", {".npy"}, false},
      {out.json, "run summary", {}, false},
  };
  if (std::string bad = checkOutputPlan(plan); !bad.empty()) return usageError(bad);
  ScoreRequest& score = r.score;
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

  const Expected<cv::Mat> loadedLeft = loadInputImage(r.leftPath, "reference");
  if (!loadedLeft) return usageError(loadedLeft.error().message);
  const Expected<cv::Mat> loadedRight = loadInputImage(r.rightPath, "target");
  if (!loadedRight) return usageError(loadedRight.error().message);
  StereoRequest& request = r.stereo;
  request.left = *loadedLeft;
  request.right = *loadedRight;
  request.options = stereoOptionsFor(params);
  request.options.useThreads(r.threads);
  if (r.logChromWeight) request.options.matcher.logChromWeight = *r.logChromWeight;
  request.options.optimizer.seed = r.seed;
  request.options.keepCosts = !out.cost.empty();
  request.options.subpixel = r.subpixel;
  if (r.lrCheck) request.options.leftRightThreshold = r.lrThreshold;
  request.options.fill = r.fill;
  request.options.medianRadius = r.medianRadius;
  request.fieldNames = kDialogFieldNames;
  if (Status refused = checkStereoRequest(request); !refused) return refused.error();
  const cv::Mat& left = request.left;
  const auto sizeMismatch = [&](const cv::Mat& m, const std::string& what, const std::string& path) {
    return what + " \"" + path + "\" is " + std::to_string(m.cols) + " x " + std::to_string(m.rows) +
           " but the reference image is " + std::to_string(left.cols) + " x " + std::to_string(left.rows);
  };
  if (!score.truth.empty() && score.truth.size() != left.size()) {
    return usageError(sizeMismatch(score.truth, "The ground truth", score.truthPath));
  }
  if (!score.mask.empty() && score.mask.size() != left.size()) {
    return usageError(sizeMismatch(score.mask, "The mask", score.maskPath));
  }
  return r;
}

// The header line says what is about to be computed before the long wait;
// it is apart from reportRun because it comes before the run, the rest after.
void announceRun(const ComputeRequest& r, ProgressDisplay& progress) {
  const StereoParams& params = r.params;
  char text[256];
  const std::string signal =
      r.logChromWeight ? "log-chrom weight " + std::to_string(*r.logChromWeight).substr(0, 5) : r.colorMode;
  std::snprintf(text, sizeof text, "%s: %d x %d, %d labels from %d, window %d x %d, %s%s%s%s%s", "orbelt-cli",
                r.width(), r.height(), params.disparityRange, params.baseDisparity, 2 * params.halfWinSize + 1,
                2 * params.halfWinSize + 1, signal.c_str(), r.subpixel ? ", sub-pixel" : "",
                r.lrCheck ? ", left-right check" : "", r.fill ? ", fill" : "",
                r.medianRadius ? (", median " + std::to_string(*r.medianRadius)).c_str() : "");
  progress.line(text);
}

// The one call into the pipeline, apart so the command's own work (judging
// words, writing files, printing) is plainly everything around it: the
// engines, the left-right check, the fill and the median all happen here.
Expected<StereoResult> runRequestedStereo(ComputeRequest& r, ProgressDisplay& progress) {
  r.stereo.progress = progress.stereoProgress();
  return runStereo(r.stereo);
}

// The files written so far, in the order written, with the time they took:
// the report prints the times, the summary lists the files, and the "wrote"
// lines come last, once everything has been written.
struct WrittenOutputs {
  std::vector<std::string> paths;
  nlohmann::json byKey = nlohmann::json::object();  // the summary's "outputs"
  double mapSaveSeconds = 0.0;
  double costSaveSeconds = 0.0;
  double saveSeconds = 0.0;

  void add(const std::string& key, const std::string& path) {
    paths.push_back(path);
    byKey[key] = path;
  }
};

// The map files apart from the run: each output is made in memory, then
// written through a temporary file and a rename, so a failed write never
// leaves a half-written file. Stops at the first file that fails.
Expected<WrittenOutputs> writeOutputs(const ComputeRequest& r, const StereoResult& stereo) {
  const RequestedOutputs& out = r.outputs;
  const StereoParams& params = r.params;
  const DisparityResult& result = stereo.left;
  const cv::Mat& disparity = stereo.disparity;
  const int width = r.width();
  const int height = r.height();
  const auto saveStart = SteadyClock::now();
  WrittenOutputs written;
  if (!out.displayMap.empty()) {
    const auto start = SteadyClock::now();
    const Expected<cv::Mat> map =
        renderDisplayMap(result.labels, width, height, params.baseDisparity, params.displayLevel);
    if (!map) return map.error();
    if (const Status saved = saveImageAtomically(out.displayMap, *map); !saved) {
      return usageError(saved.error().message);
    }
    written.add("display_map", out.displayMap);
    written.mapSaveSeconds = secondsSince(start);
  }
  if (!out.pfm.empty()) {
    if (const Status saved = writePfm(out.pfm, disparity); !saved) return usageError(saved.error().message);
    written.add("pfm", out.pfm);
  }
  if (!out.png16.empty()) {
    if (const Status saved = saveImageAtomically(out.png16, encodeDisparityPng16(disparity)); !saved) {
      return usageError(saved.error().message);
    }
    written.add("png16", out.png16);
  }
  if (!out.color.empty()) {
    const cv::Mat picture = renderColorMap(disparity, params.baseDisparity,
                                           static_cast<double>(params.baseDisparity) + params.disparityRange - 1);
    if (const Status saved = saveImageAtomically(out.color, picture); !saved) {
      return usageError(saved.error().message);
    }
    written.add("color", out.color);
  }
  if (!out.confidence.empty()) {
    const cv::Mat confidence = renderConfidence(stereo.consistent, width, height);
    if (const Status saved = saveImageAtomically(out.confidence, confidence); !saved) {
      return usageError(saved.error().message);
    }
    written.add("confidence", out.confidence);
  }
  if (!out.cost.empty()) {
    const auto start = SteadyClock::now();
    const Status saved = writeNpyFloat32(out.cost, result.costs.data(),
                                         {static_cast<std::size_t>(height), static_cast<std::size_t>(width),
                                          static_cast<std::size_t>(params.disparityRange)});
    written.costSaveSeconds = secondsSince(start);
    if (!saved) return usageError(saved.error().message);
    written.add("cost", out.cost);
  }
  written.saveSeconds = secondsSince(saveStart);
  return written;
}

// The stage times and, with a ground truth, the score: apart from the files
// because it only reads what the run and the writes measured. It follows the
// map files since it prints their save times. Returns the score for the
// summary (null without a ground truth); fails when the scoring does.
Expected<nlohmann::json> reportRun(const ComputeRequest& r, const StereoResult& stereo, const WrittenOutputs& written,
                                   ProgressDisplay& progress) {
  const DisparityResult& result = stereo.left;
  char text[256];
  std::snprintf(text, sizeof text, "cost volume  %8.3f s", result.costSeconds);
  progress.line(text);
  std::snprintf(text, sizeof text, "flatten      %8.3f s", result.flattenSeconds);
  progress.line(text);
  std::snprintf(text, sizeof text, "optimize     %8.3f s  (%d passes, final energy %.1f)", result.optimizeSeconds,
                kOptimizerPasses, result.passEnergies.empty() ? 0.0 : result.passEnergies.back());
  progress.line(text);
  if (r.lrCheck) {
    std::snprintf(text, sizeof text, "right view   %8.3f s  (%.1f%% of pixels consistent within %g px)",
                  stereo.leftRightSeconds, 100.0 * double(stereo.consistentCount) / (double(r.width()) * r.height()),
                  r.lrThreshold);
    progress.line(text);
  }
  if (r.fill) {
    std::snprintf(text, sizeof text, "fill         %8.3f s  (%zu pixels filled, %zu in rows without a consistent one)",
                  stereo.fillSeconds, stereo.fill.filled, stereo.fill.unknown);
    progress.line(text);
  }
  if (r.medianRadius) {
    std::snprintf(text, sizeof text, "median       %8.3f s  (radius %d)", stereo.medianSeconds, *r.medianRadius);
    progress.line(text);
  }
  if (r.subpixel) {
    std::snprintf(text, sizeof text, "sub-pixel    %8.3f s", stereo.subpixelSeconds);
    progress.line(text);
  }
  if (!r.outputs.displayMap.empty()) {
    std::snprintf(text, sizeof text, "save map     %8.3f s", written.mapSaveSeconds);
    progress.line(text);
  }
  if (!r.outputs.cost.empty()) {
    std::snprintf(text, sizeof text, "save costs   %8.3f s  (%s)", written.costSaveSeconds, r.outputs.cost.c_str());
    progress.line(text);
  }
  std::snprintf(text, sizeof text, "save outputs %8.3f s", written.saveSeconds);
  progress.line(text);

  nlohmann::json score;
  const ScoreRequest& asked = r.score;
  if (!asked.truth.empty()) {
    const Expected<DisparityScore> scored =
        evaluateDisparity(stereo.disparity, asked.truth, asked.mask, {asked.truthScale, 0, asked.badThreshold});
    if (!scored) return usageError(scored.error().message);
    const DisparityScore& s = *scored;
    const double badPercent = s.badOverCustom;
    progress.endBar();
    std::printf("bad pixels (error > %g px): %.2f%% of %lld; mean absolute error %.3f px\n",
                static_cast<double>(asked.badThreshold), badPercent, static_cast<long long>(s.evaluated), s.meanError);
    score = {{"truth", asked.truthPath},
             {"scale", asked.truthScale},
             {"mask", asked.maskPath},
             {"evaluated", s.evaluated},
             {"unknown", s.invalid},
             {"bad_0.5", s.badOver05},
             {"bad_1", s.badOver1},
             {"bad_2", s.badOver2},
             {"bad_4", s.badOver4},
             {"mean_abs_error", s.meanError},
             {"bad_threshold", asked.badThreshold},
             {"bad_at_threshold", badPercent}};
  }
  return score;
}

// The JSON summary is written last, apart from the map files, because it
// records them all, the score and the whole run's time and peak memory.
Status writeRunSummary(const ComputeRequest& r, const StereoResult& stereo, const nlohmann::json& score,
                       SteadyClock::time_point runStart, WrittenOutputs& written) {
  const std::string& jsonPath = r.outputs.json;
  const DisparityResult& result = stereo.left;
  const int width = r.width();
  const int height = r.height();
  const float effectiveWeight = r.logChromWeight.value_or(logChromWeightOf(r.params.colorMode));
  nlohmann::json summary = {
      {"left", r.leftPath},
      {"right", r.rightPath},
      {"width", width},
      {"height", height},
      {"parameters", paramsJson(r.params, effectiveWeight)},
      {"seed", r.seed ? nlohmann::json(*r.seed) : nlohmann::json()},
      {"threads", r.threads},
      {"flow_recycling", result.flowRecycling},
      {"subpixel", r.subpixel},
      {"seconds", stageJson(result)},
      {"total_seconds", secondsSince(runStart)},
      {"save_seconds", written.saveSeconds},
      {"peak_memory_bytes", peakResidentBytes()},
      {"outputs", written.byKey},
  };
  if (r.lrCheck) {
    const DisparityResult rightResult = stereo.right ? *stereo.right : DisparityResult{};
    summary["lr_check"] = {{"threshold", r.lrThreshold},
                           {"consistent_fraction", double(stereo.consistentCount) / (double(width) * height)},
                           {"seconds", stereo.leftRightSeconds},
                           {"right_view", stageJson(rightResult)}};
  }
  if (r.subpixel) summary["subpixel_seconds"] = stereo.subpixelSeconds;
  summary["refinement"] = {{"lr_check", r.lrCheck},
                           {"fill", r.fill},
                           {"median_radius", r.medianRadius ? nlohmann::json(*r.medianRadius) : nlohmann::json()},
                           {"filled_pixels", stereo.fill.filled},
                           {"unknown_pixels", countUnknown(stereo.disparity)},
                           {"fill_seconds", stereo.fillSeconds},
                           {"median_seconds", stereo.medianSeconds}};
  if (!score.is_null()) summary["score"] = score;
  summary["outputs"]["json"] = jsonPath;
  const std::string textOut = summary.dump(2) + "\n";
  if (const Status saved = writeFileAtomically(jsonPath, {{textOut.data(), textOut.size()}}); !saved) {
    return usageError(saved.error().message);
  }
  written.paths.push_back(jsonPath);
  return {};
}

}  // namespace

int runComputeCommand(int argc, char** argv) {
  Expected<ComputeRequest> parsed = parseComputeRequest(argc, argv);
  if (!parsed) return fail(nullptr, parsed.error());
  ComputeRequest& request = *parsed;

  ProgressDisplay progress(progressStyleFor(request.quiet, stderr));
  StderrMessageBox messages(progress);
  announceRun(request, progress);
  const auto runStart = SteadyClock::now();
  Expected<StereoResult> run = runRequestedStereo(request, progress);
  if (!run) return fail(&progress, run.error());
  const StereoResult& stereo = *run;

  Expected<WrittenOutputs> written = writeOutputs(request, stereo);
  if (!written) return fail(&progress, written.error());
  Expected<nlohmann::json> score = reportRun(request, stereo, *written, progress);
  if (!score) return fail(&progress, score.error());
  if (!request.outputs.json.empty()) {
    if (const Status saved = writeRunSummary(request, stereo, *score, runStart, *written); !saved) {
      return fail(&progress, saved.error());
    }
  }
  progress.endBar();
  for (const std::string& path : written->paths) std::printf("wrote %s\n", path.c_str());
  return kExitSuccess;
}

}  // namespace orbelt
