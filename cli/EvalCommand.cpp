#include "cli/EvalCommand.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/BenchmarkTable.h"
#include "cli/CliNames.h"
#include "cli/ExitStatus.h"
#include "cli/ParseArguments.h"
#include "eval/BenchmarkScore.h"
#include "eval/DisparityEvaluation.h"
#include "eval/StereoDataset.h"
#include "io/DisparityMapFiles.h"
#include "report/DatasetReport.h"
#include "report/RunReport.h"

namespace orbelt {

namespace {

int refuse(const std::string& message) {
  std::fprintf(stderr, "orbelt-cli eval: %s\n", message.c_str());
  return kExitUsage;
}

// What the eval command was asked.
struct EvalWords {
  std::string mapPath, datasetPath, frame, truthPath, nonoccPath, allPath, discPath;
  std::optional<double> scale;
  std::optional<int> displayLevel;
  int baseDisparity = 0;
  int border = 0;
  bool json = false;
};

void declareEvalOptions(CLI::App& app, EvalWords& w) {
  app.footer(
      "A Middlebury 2014/2021 set is scored against disp0GT.pfm (or disp0.pfm) with mask0nocc.png (255\n"
      "visible in both views, 128 occluded) by that benchmark's measures over nonocc and all pixels with\n"
      "truth: bad 0.5/1/2/4, avgErr, rms and the error quantiles A50/A90/A95/A99. An unknown pixel is bad\n"
      "at every threshold, ranks last in the quantiles (inf when one falls among them) and is left out\n"
      "of avgErr and rms.\n"
      "A KITTI frame (--dataset ROOT --frame ID) is scored against disp_noc(_0) and disp_occ(_0): D1\n"
      "(error above 3 px and 5% of the truth), bad 2/3/4/5 and avgErr over noc and occ. Unknown pixels\n"
      "are first filled from the background, as that benchmark fills sparse maps; the density is shown.\n"
      "Older sets (2001-2005) are scored per mask as described above.\n"
      "Exit status: 0 scored, 2 usage or input error.\n"
      "Example: orbelt-cli eval teddy.pfm --dataset ../shared/data/middlebury2003/teddy");
  app.get_formatter()->column_width(34);
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.add_option("map", w.mapPath,
                 "The result: .pfm (pixels, inf = unknown), 16-bit PNG (x256, 0 = unknown) or 8-bit display map "
                 "(needs --display-level)")
      ->required();
  app.add_option("--dataset", w.datasetPath,
                 "A dataset folder: a Middlebury 2014/2021 set, a 2001-2005 set (its truth, scale and "
                 "nonocc/all/disc masks), or KITTI frames (with --frame)");
  app.add_option(kCliFrameOption, w.frame, "The KITTI frame of --dataset: 000123, 000123_10 or training/000123")
      ->type_name("ID");
  app.add_option("--truth", w.truthPath, "Ground truth (.pfm or 8/16-bit image); overrides the dataset's");
  app.add_option("--scale", w.scale, "Ground-truth value per pixel of disparity (default: the dataset's, else 1)")
      ->check(CLI::PositiveNumber);
  app.add_option("--nonocc", w.nonoccPath, "Mask of non-occluded pixels (255 = scored)");
  app.add_option("--all", w.allPath, "Mask of all pixels with truth (255 = scored)");
  app.add_option("--disc", w.discPath, "Mask of pixels near depth discontinuities (255 = scored)");
  app.add_option("--display-level", w.displayLevel, "For an 8-bit display map: its display level")
      ->check(CLI::PositiveNumber);
  app.add_option("--base-disparity", w.baseDisparity, "For an 8-bit display map: its base disparity")
      ->capture_default_str();
  app.add_option("--border", w.border, "Frame of pixels left out on every side")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_flag("--json", w.json, "Print JSON instead of a table");
}

// What --dataset names: nothing, an older set (whose files fill what is not
// given), or a pair scored by its benchmark's measures.
struct EvalDataset {
  std::optional<StereoDataset> benchmark;  // a 2014 set or a KITTI frame
  double truthScale = 1.0;                 // the older sets' truth scale
};

// A 2014 set or a KITTI frame brings its own truth and regions, so the
// older sets' overrides are refused beside it rather than quietly unused.
Status refuseOverrides(const EvalWords& w, const StereoDataset& dataset) {
  for (const auto& [given, flag] :
       {std::pair{!w.truthPath.empty(), "--truth"}, std::pair{w.scale.has_value(), "--scale"},
        std::pair{!w.nonoccPath.empty(), "--nonocc"}, std::pair{!w.allPath.empty(), "--all"},
        std::pair{!w.discPath.empty(), "--disc"}, std::pair{w.border != 0, "--border"}}) {
    if (given) {
      return invalidInput(std::string(flag) + " does not apply to the " + layoutName(dataset) + " dataset \"" +
                          w.datasetPath + "\": it is scored against its own truth by its benchmark's measures");
    }
  }
  return {};
}

// An older set fills the truth, scale and masks that are not given.
double takeOlderSet(EvalWords& w, const MiddleburySet& set) {
  double truthScale = 1.0;
  if (w.truthPath.empty()) {
    w.truthPath = set.truth;
    truthScale = set.truthScale;
  }
  if (w.nonoccPath.empty()) w.nonoccPath = set.nonocc;
  if (w.allPath.empty()) w.allPath = set.all;
  if (w.discPath.empty()) w.discPath = set.disc;
  return truthScale;
}

Expected<EvalDataset> resolveDataset(EvalWords& w) {
  EvalDataset found;
  if (!w.datasetPath.empty()) {
    Expected<StereoDataset> dataset = openStereoDataset(w.datasetPath, w.frame, kCliFrameOption);
    if (!dataset) return std::move(dataset).error();
    if (const auto* older = std::get_if<MiddleburySet>(&dataset->source)) {
      found.truthScale = takeOlderSet(w, *older);
    } else {
      if (Status refused = refuseOverrides(w, *dataset); !refused) return std::move(refused).error();
      found.benchmark = std::move(*dataset);
      return found;
    }
  } else if (!w.frame.empty()) {
    return invalidInput(std::string(kCliFrameOption) + " picks a frame of a KITTI folder: give it with --dataset");
  }
  if (w.scale) found.truthScale = *w.scale;
  if (w.truthPath.empty()) return invalidInput("give the ground truth with --truth FILE or --dataset FOLDER");
  return found;
}

// Scores the map by the dataset's benchmark and prints the table or JSON.
Status scoreByBenchmark(const EvalWords& w, const StereoDataset& dataset, const cv::Mat& disparity) {
  Expected<BenchmarkTruth> truth = readBenchmarkTruth(dataset);
  if (!truth) return std::move(truth).error();
  if (std::holds_alternative<std::monostate>(*truth)) {
    return invalidInput("The " + layoutName(dataset) + " dataset \"" + w.datasetPath + "\" has no truth to score " +
                        "against");
  }
  Expected<BenchmarkScore> scored = scoreBenchmark(disparity, *truth);
  if (!scored) return invalidInput(w.mapPath + " against \"" + w.datasetPath + "\": " + scored.error().message);
  const nlohmann::json benchmark = benchmarkJson(*scored);
  if (w.json) {
    const nlohmann::json out = {{"map", w.mapPath}, {"dataset", datasetJson(dataset)}, {"benchmark", benchmark}};
    std::printf("%s\n", out.dump(2).c_str());
  } else {
    std::fputs(benchmarkTable(benchmark).c_str(), stdout);
  }
  return {};
}

// One mask's row of the table.
struct Row {
  std::string name;
  std::string path;
  cv::Mat mask;
  DisparityScore score;
};

// The masks given, read; without any, one row scoring every pixel with a
// known truth.
Expected<std::vector<Row>> readMasks(const EvalWords& w) {
  std::vector<Row> rows;
  for (const auto& [name, path] :
       {std::pair<std::string, std::string>{"nonocc", w.nonoccPath}, {"all", w.allPath}, {"disc", w.discPath}}) {
    if (path.empty()) continue;
    Expected<cv::Mat> mask = readMask(path);
    if (!mask) return std::move(mask).error();
    rows.push_back(Row{name, path, std::move(*mask), {}});
  }
  if (rows.empty()) rows.push_back({"known", "", {}, {}});
  return rows;
}

void printRows(const EvalWords& w, double truthScale, const std::vector<Row>& rows) {
  if (w.json) {
    nlohmann::json out = {{"map", w.mapPath}, {"truth", w.truthPath}, {"scale", truthScale}, {"border", w.border}};
    nlohmann::json masks = nlohmann::json::object();
    for (const Row& row : rows) {
      masks[row.name] = scoreJson(row.score);
      masks[row.name]["mask"] = row.path;
    }
    out["masks"] = masks;
    std::printf("%s\n", out.dump(2).c_str());
    return;
  }
  std::printf("%-7s %9s %8s %8s %8s %8s %8s %10s\n", "mask", "pixels", "unknown", "bad>0.5", "bad>1", "bad>2", "bad>4",
              "mean err");
  for (const Row& row : rows) {
    const DisparityScore& s = row.score;
    std::printf("%-7s %9lld %8lld %7.2f%% %7.2f%% %7.2f%% %7.2f%% %7.3f px\n", row.name.c_str(),
                static_cast<long long>(s.evaluated), static_cast<long long>(s.invalid), s.badOver05, s.badOver1,
                s.badOver2, s.badOver4, s.meanError);
  }
}

}  // namespace

int runEvalCommand(int argc, char** argv) {
  CLI::App app{
      "Scores a disparity map against a ground truth: the share of pixels off by more than 0.5, 1, 2\n"
      "and 4 px and the mean absolute error, per mask. Pixels the map leaves unknown count as bad at\n"
      "every threshold and are left out of the mean error (their count is shown). A Middlebury 2014\n"
      "set or a KITTI frame given with --dataset is scored by its own benchmark's measures (below).",
      "orbelt-cli eval"};
  EvalWords w;
  declareEvalOptions(app, w);
  if (const auto status = parseArguments(app, argc, argv)) return *status;
  const Expected<EvalDataset> dataset = resolveDataset(w);
  if (!dataset) return refuse(dataset.error().message);

  std::optional<GreyEncoding> grey;
  if (w.displayLevel) grey = GreyEncoding{*w.displayLevel, w.baseDisparity};
  const Expected<cv::Mat> disparity = readDisparityMap(w.mapPath, grey);
  if (!disparity) return refuse(disparity.error().message);
  if (dataset->benchmark) {
    const Status scored = scoreByBenchmark(w, *dataset->benchmark, *disparity);
    return scored ? kExitSuccess : refuse(scored.error().message);
  }
  const double truthScale = dataset->truthScale;
  const Expected<cv::Mat> truth = readGroundTruth(w.truthPath);
  if (!truth) return refuse(truth.error().message);
  Expected<std::vector<Row>> rows = readMasks(w);
  if (!rows) return refuse(rows.error().message);
  for (Row& row : *rows) {
    Expected<DisparityScore> scored = evaluateDisparity(*disparity, *truth, row.mask, {truthScale, w.border});
    if (!scored) {
      return refuse(w.mapPath + " against " + w.truthPath + (row.path.empty() ? "" : " with " + row.path) + ": " +
                    scored.error().message);
    }
    row.score = *scored;
  }
  printRows(w, truthScale, *rows);
  return kExitSuccess;
}

}  // namespace orbelt
