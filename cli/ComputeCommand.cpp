#include "cli/ComputeCommand.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/BenchmarkTable.h"
#include "cli/ComputeRequest.h"
#include "cli/ExitStatus.h"
#include "cli/OutputFiles.h"
#include "cli/ParseArguments.h"
#include "cli/PeakMemory.h"
#include "cli/ProgressDisplay.h"
#include "eval/DisparityEvaluation.h"
#include "eval/Middlebury2014Submission.h"
#include "io/AtomicFile.h"
#include "io/ImageFile.h"
#include "platform/Timing.h"
#include "postprocess/DisplayGrey.h"
#include "report/DatasetReport.h"
#include "report/RunReport.h"

namespace orbelt {

namespace {

// A failure is printed as the command prints every Error, after any bar.
int fail(ProgressDisplay& progress, const Error& error) {
  progress.endBar();
  return reportError(error);
}

// A float as the shortest decimal that reads back as it (0.033, not
// 0.032999999821186066), so summaries show the values as typed.
double shortestDecimal(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::strtod(std::string(text, end).c_str(), nullptr);
}

// The run's parameters as the user gave them.
nlohmann::json parametersJson(const ComputeRequest& r) {
  const MatcherOptions& matcher = r.stereo.options.matcher;
  return {{"half_win_size", matcher.halfWinSize},
          {"sigma_s", shortestDecimal(matcher.colorSigma)},
          {"sigma_p", shortestDecimal(matcher.spatialSigma)},
          {"base_disparity", matcher.baseDisparity},
          {"disparity_range", matcher.disparityRange},
          {"display_level", r.outputs.displayLevel},
          {"smooth_exponent", r.stereo.options.optimizer.smoothExponent},
          {"smooth_max", r.typed.smoothMax},
          {"lambda", shortestDecimal(r.typed.lambda)},
          {"color_mode", r.typed.colorMode},
          {"log_chrom_weight", shortestDecimal(matcher.logChromWeight)}};
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

// The header line says what is about to be computed before the long wait;
// it is apart from reportRun because it comes before the run, the rest after.
void announceRun(const ComputeRequest& r, ProgressDisplay& progress) {
  const StereoOptions& options = r.stereo.options;
  const MatcherOptions& matcher = options.matcher;
  char text[256];
  const std::string signal = r.typed.weightWins
                                 ? "log-chrom weight " + std::to_string(matcher.logChromWeight).substr(0, 5)
                                 : r.typed.colorMode;
  std::snprintf(text, sizeof text, "%s: %d x %d, %d labels from %d, window %d x %d, %s%s%s%s%s", "orbelt-cli",
                r.width(), r.height(), matcher.disparityRange, matcher.baseDisparity, 2 * matcher.halfWinSize + 1,
                2 * matcher.halfWinSize + 1, signal.c_str(), options.subpixel ? ", sub-pixel" : "",
                options.leftRightThreshold ? ", left-right check" : "", options.fill ? ", fill" : "",
                options.medianRadius ? (", median " + std::to_string(*options.medianRadius)).c_str() : "");
  progress.line(text);
}

// The files written so far, in the order written, with the time they took:
// the report prints the times, the summary lists the files, and the "wrote"
// lines come last, once everything has been written.
struct WrittenOutputs {
  std::vector<std::string> paths;
  nlohmann::json byKey = nlohmann::json::object();  // the summary's "outputs"
  nlohmann::json secondsByKey = nlohmann::json::object();
  double saveSeconds = 0.0;
  double runSeconds = 0.0;  // the run's own seconds, up to its result (the files' writing left out)

  void add(const std::string& key, const std::string& path, double seconds) {
    paths.push_back(path);
    byKey[key] = path;
    secondsByKey[key] = seconds;
  }
};

// The map files apart from the run: each output is made in memory, then
// written through a temporary file and a rename, so a failed write never
// leaves a half-written file. Stops at the first file that fails. The
// submission's time is `runSeconds`, the run's own (the files' writing left
// out).
Expected<WrittenOutputs> writeOutputs(const ComputeRequest& r, const StereoResult& stereo, double runSeconds) {
  const RequestedOutputs& out = r.outputs;
  const auto saveStart = SteadyClock::now();
  WrittenOutputs written;
  written.runSeconds = runSeconds;
  if (!out.displayMap.empty()) {
    const auto start = SteadyClock::now();
    const MatcherOptions& matcher = r.stereo.options.matcher;
    Expected<cv::Mat> map =
        renderDisplayMap(stereo.left.labels, r.width(), r.height(), matcher.baseDisparity, out.displayLevel);
    if (!map) return std::move(map).error();
    if (Status saved = saveImageAtomically(out.displayMap, *map); !saved) return std::move(saved).error();
    written.add("display_map", out.displayMap, secondsSince(start));
  }
  for (const OutputFile& file : outputFiles()) {
    const std::string& path = out.*file.path;
    if (path.empty()) continue;
    const auto start = SteadyClock::now();
    if (Status saved = file.write(path, r, stereo); !saved) return std::move(saved).error();
    written.add(file.key, path, secondsSince(start));
  }
  if (!r.submit.method.empty()) {
    const auto start = SteadyClock::now();
    const SubmitRequest& submit = r.submit;
    if (Status saved = writeMiddlebury2014Submission(submit.folder, submit.method, stereo.disparity, runSeconds);
        !saved) {
      return std::move(saved).error();
    }
    const double seconds = secondsSince(start);
    written.add("submission_map", submit.folder + "/disp0" + submit.method + ".pfm", seconds);
    written.add("submission_time", submit.folder + "/time" + submit.method + ".txt", 0.0);
  }
  written.saveSeconds = secondsSince(saveStart);
  return written;
}

// One line per stage that ran, with its seconds.
void printStageTimes(const ComputeRequest& r, const StereoResult& stereo, const WrittenOutputs& written,
                     ProgressDisplay& progress) {
  const StereoOptions& options = r.stereo.options;
  const DisparityResult& result = stereo.left;
  char text[256];
  std::snprintf(text, sizeof text, "cost volume  %8.3f s", result.costSeconds);
  progress.line(text);
  std::snprintf(text, sizeof text, "flatten      %8.3f s", result.flattenSeconds);
  progress.line(text);
  std::snprintf(text, sizeof text, "optimize     %8.3f s  (%d passes, final energy %.1f)", result.optimizeSeconds,
                kOptimizerPasses, result.passEnergies.empty() ? 0.0 : result.passEnergies.back());
  progress.line(text);
  if (options.leftRightThreshold) {
    std::snprintf(text, sizeof text, "right view   %8.3f s  (%.1f%% of pixels consistent within %g px)",
                  stereo.leftRightSeconds, 100.0 * double(stereo.consistentCount) / (double(r.width()) * r.height()),
                  *options.leftRightThreshold);
    progress.line(text);
  }
  if (options.fill) {
    std::snprintf(text, sizeof text, "fill         %8.3f s  (%zu pixels filled, %zu in rows without a consistent one)",
                  stereo.fillSeconds, stereo.fill.filled, stereo.fill.unknown);
    progress.line(text);
  }
  if (options.medianRadius) {
    std::snprintf(text, sizeof text, "median       %8.3f s  (radius %d)", stereo.medianSeconds, *options.medianRadius);
    progress.line(text);
  }
  if (options.subpixel) {
    std::snprintf(text, sizeof text, "sub-pixel    %8.3f s", stereo.subpixelSeconds);
    progress.line(text);
  }
  const auto secondsOf = [&](const char* key) { return written.secondsByKey.value(key, 0.0); };
  if (!r.outputs.displayMap.empty()) {
    std::snprintf(text, sizeof text, "save map     %8.3f s", secondsOf("display_map"));
    progress.line(text);
  }
  if (!r.outputs.cost.empty()) {
    std::snprintf(text, sizeof text, "save costs   %8.3f s  (%s)", secondsOf("cost"), r.outputs.cost.c_str());
    progress.line(text);
  }
  std::snprintf(text, sizeof text, "save outputs %8.3f s", written.saveSeconds);
  progress.line(text);
}

// With a ground truth: the score, printed and returned for the summary
// (null without a ground truth); fails when the scoring does.
Expected<nlohmann::json> scoreRun(const ComputeRequest& r, const StereoResult& stereo, ProgressDisplay& progress) {
  const ScoreRequest& asked = r.score;
  if (asked.truth.empty()) return nlohmann::json();
  const Expected<DisparityScore> scored =
      evaluateDisparity(stereo.disparity, asked.truth, asked.mask, {asked.truthScale, 0, asked.badThreshold});
  if (!scored) return scored.error();
  const DisparityScore& s = *scored;
  progress.endBar();
  std::printf("bad pixels (error > %g px): %.2f%% of %lld; mean absolute error %.3f px\n",
              static_cast<double>(asked.badThreshold), s.badOverCustom, static_cast<long long>(s.evaluated),
              s.meanError);
  nlohmann::json score = scoreJson(s);
  score["truth"] = asked.truthPath;
  score["scale"] = asked.truthScale;
  score["mask"] = asked.maskPath;
  score["bad_threshold"] = asked.badThreshold;
  score["bad_at_threshold"] = s.badOverCustom;
  return score;
}

// With a dataset that has a benchmark truth: the benchmark's score, printed
// as a table and returned for the summary (null without one).
Expected<nlohmann::json> scoreBenchmarkRun(const ComputeRequest& r, const StereoResult& stereo,
                                           ProgressDisplay& progress) {
  const Expected<BenchmarkScore> scored = scoreBenchmark(stereo.disparity, r.dataset.truth);
  if (!scored) return scored.error();
  nlohmann::json benchmark = benchmarkJson(*scored);
  if (benchmark.is_null()) return benchmark;
  progress.endBar();
  std::fputs(benchmarkTable(benchmark).c_str(), stdout);
  return benchmark;
}

// What the summary tells of the dataset, the calibration and the submission.
void addDatasetFacts(const ComputeRequest& r, const nlohmann::json& benchmark, const WrittenOutputs& written,
                     nlohmann::json& summary) {
  if (r.dataset.dataset) summary["dataset"] = datasetJson(*r.dataset.dataset);
  if (r.calibration.camera) {
    summary["calibration"] = calibrationJson(*r.calibration.camera);
    summary["calibration"]["source"] = r.calibration.source;
  }
  if (!benchmark.is_null()) summary["benchmark"] = benchmark;
  if (!r.submit.method.empty()) {
    summary["submission"] = {{"method", r.submit.method}, {"folder", r.submit.folder}, {"seconds", written.runSeconds}};
  }
}

// The run summary's record of the refinements and the left-right check.
void addRefinements(const ComputeRequest& r, const StereoResult& stereo, nlohmann::json& summary) {
  const StereoOptions& options = r.stereo.options;
  if (options.leftRightThreshold) {
    const DisparityResult rightResult = stereo.right ? *stereo.right : DisparityResult{};
    summary["lr_check"] = {{"threshold", *options.leftRightThreshold},
                           {"consistent_fraction", double(stereo.consistentCount) / (double(r.width()) * r.height())},
                           {"seconds", stereo.leftRightSeconds},
                           {"right_view", stageJson(rightResult)}};
  }
  if (options.subpixel) summary["subpixel_seconds"] = stereo.subpixelSeconds;
  summary["refinement"] = {
      {"lr_check", options.leftRightThreshold.has_value()},
      {"fill", options.fill},
      {"median_radius", options.medianRadius ? nlohmann::json(*options.medianRadius) : nlohmann::json()},
      {"filled_pixels", stereo.fill.filled},
      {"unknown_pixels", countUnknown(stereo.disparity)},
      {"fill_seconds", stereo.fillSeconds},
      {"median_seconds", stereo.medianSeconds}};
}

// The JSON summary is written last, apart from the map files, because it
// records them all, the score and the whole run's time and peak memory.
Status writeRunSummary(const ComputeRequest& r, const StereoResult& stereo, const nlohmann::json& score,
                       const nlohmann::json& benchmark, SteadyClock::time_point runStart, WrittenOutputs& written) {
  const std::string& jsonPath = r.outputs.json;
  const StereoOptions& options = r.stereo.options;
  nlohmann::json summary = {
      {"left", r.leftPath},
      {"right", r.rightPath},
      {"width", r.width()},
      {"height", r.height()},
      {"parameters", parametersJson(r)},
      {"seed", options.optimizer.seed ? nlohmann::json(*options.optimizer.seed) : nlohmann::json()},
      {"threads", options.matcher.threadCount},
      {"flow_recycling", stereo.left.flowRecycling},
      {"kept_flow_labels", stereo.left.keptFlowLabels},
      {"subpixel", options.subpixel},
      {"seconds", stageJson(stereo.left)},
      {"total_seconds", secondsSince(runStart)},
      {"save_seconds", written.saveSeconds},
      {"peak_memory_bytes", peakResidentBytes()},
      {"outputs", written.byKey},
  };
  addRefinements(r, stereo, summary);
  addDatasetFacts(r, benchmark, written, summary);
  if (!score.is_null()) summary["score"] = score;
  summary["outputs"]["json"] = jsonPath;
  const std::string textOut = summary.dump(2) + "\n";
  if (Status saved = writeFileAtomically(jsonPath, {{textOut.data(), textOut.size()}}); !saved) return saved;
  written.paths.push_back(jsonPath);
  return {};
}

// What the run made: the files, the stage times, the score and the summary,
// then the "wrote" lines.
int finishRun(const ComputeRequest& request, const StereoResult& stereo, SteadyClock::time_point runStart,
              ProgressDisplay& progress) {
  const double runSeconds = secondsSince(runStart);
  Expected<WrittenOutputs> written = writeOutputs(request, stereo, runSeconds);
  if (!written) return fail(progress, written.error());
  printStageTimes(request, stereo, *written, progress);
  Expected<nlohmann::json> score = scoreRun(request, stereo, progress);
  if (!score) return fail(progress, score.error());
  Expected<nlohmann::json> benchmark = scoreBenchmarkRun(request, stereo, progress);
  if (!benchmark) return fail(progress, benchmark.error());
  if (!request.outputs.json.empty()) {
    if (Status saved = writeRunSummary(request, stereo, *score, *benchmark, runStart, *written); !saved) {
      return fail(progress, saved.error());
    }
  }
  progress.endBar();
  for (const std::string& path : written->paths) std::printf("wrote %s\n", path.c_str());
  return kExitSuccess;
}

}  // namespace

int runComputeCommand(int argc, char** argv) {
  CLI::App app{
      "Computes a dense disparity map from a rectified colour stereo pair: ANCC matching costs, then\n"
      "alpha-expansion over a grid MRF (ten passes). Writes the labels as an 8-bit grey map,\n"
      "grey = ((label + base) * display level) mod 256 (the base is left out when negative), and on\n"
      "request float, 16-bit and colour maps, the costs, a left-right check, metric depth, a point\n"
      "cloud and a JSON run summary.\n"
      "Datasets: 'orbelt-cli DIR' (or --dataset DIR) takes both views of a Middlebury 2014/2021 set\n"
      "(im0.png, im1.png, calib.txt; ndisp labels, its calibration), of a 2001-2005 set, or of a KITTI\n"
      "frame (--dataset ROOT --frame 000123; 192 labels, its calib_cam_to_cam.txt). A set with truth is\n"
      "scored by its benchmark's measures. An unknown pixel of the map counts, for Middlebury 2014, as\n"
      "bad at every threshold and last in the error quantiles (left out of avgErr and rms); for KITTI,\n"
      "it is first filled from the background, as that benchmark fills sparse maps.\n"
      "Other commands: 'orbelt-cli eval --help' scores a saved map against ground truth;\n"
      "'orbelt-cli batch --help' runs a manifest of pairs.",
      "orbelt-cli"};
  app.footer(
      "Exit status:\n"
      "  0    every requested output was written\n"
      "  1    an engine ended the run (its message says why, e.g. the run ran out of memory)\n"
      "  2    usage, input or output-file error (nothing is written; earlier outputs stay as they were)\n"
      "  255  an input image is not a 3-channel colour image");
  app.get_formatter()->column_width(36);
  app.set_version_flag("--version", std::string("orbelt-cli ") + ORBELT_VERSION, "Print the version and exit");
  // A repeated option takes its last value, so a script can append overrides.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  ComputeRequest request;
  ComputeWords words;
  declareComputeOptions(app, request, words);
  if (const auto status = parseArguments(app, argc, argv)) return *status;
  // Every mistake in the words, an input file or an output path is judged
  // before anything is printed or computed.
  if (Status interpreted = interpretComputeWords(app, words, request); !interpreted) {
    return reportError(interpreted.error());
  }
  if (Status inputs = loadComputeInputs(request); !inputs) return reportError(inputs.error());

  ProgressDisplay progress(progressStyleFor(request.quiet, stderr));
  announceRun(request, progress);
  const auto runStart = SteadyClock::now();
  // The one call into the library: the engines, the left-right check, the
  // fill and the median all happen here.
  request.stereo.progress = progress.stereoProgress();
  Expected<StereoResult> run = runStereo(request.stereo);
  if (!run) return fail(progress, run.error());
  return finishRun(request, *run, runStart, progress);
}

}  // namespace orbelt
