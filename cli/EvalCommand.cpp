#include "cli/EvalCommand.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/ExitStatus.h"
#include "cli/ParseArguments.h"
#include "eval/DisparityEvaluation.h"
#include "eval/MiddleburySet.h"
#include "io/DisparityMapFiles.h"
#include "report/RunReport.h"

namespace orbelt {

namespace {

int refuse(const std::string& message) {
  std::fprintf(stderr, "orbelt-cli eval: %s\n", message.c_str());
  return kExitUsage;
}

// What the eval command was asked.
struct EvalWords {
  std::string mapPath, datasetPath, truthPath, nonoccPath, allPath, discPath;
  std::optional<double> scale;
  std::optional<int> displayLevel;
  int baseDisparity = 0;
  int border = 0;
  bool json = false;
};

void declareEvalOptions(CLI::App& app, EvalWords& w) {
  app.footer(
      "Exit status: 0 scored, 2 usage or input error.\n"
      "Example: orbelt-cli eval teddy.pfm --dataset ../shared/data/middlebury2003/teddy");
  app.get_formatter()->column_width(34);
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.add_option("map", w.mapPath,
                 "The result: .pfm (pixels, inf = unknown), 16-bit PNG (x256, 0 = unknown) or 8-bit display map "
                 "(needs --display-level)")
      ->required();
  app.add_option("--dataset", w.datasetPath,
                 "A Middlebury set folder: takes its ground truth, scale and nonocc/all/disc masks");
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

// The ground truth's scale: a dataset's files fill what is not given.
Expected<double> resolveDataset(EvalWords& w) {
  double truthScale = 1.0;
  if (!w.datasetPath.empty()) {
    const Expected<MiddleburySet> found = findMiddleburySet(w.datasetPath);
    if (!found) return found.error();
    const MiddleburySet& set = *found;
    if (w.truthPath.empty()) {
      w.truthPath = set.truth;
      truthScale = set.truthScale;
    }
    if (w.nonoccPath.empty()) w.nonoccPath = set.nonocc;
    if (w.allPath.empty()) w.allPath = set.all;
    if (w.discPath.empty()) w.discPath = set.disc;
  }
  if (w.scale) truthScale = *w.scale;
  if (w.truthPath.empty()) return invalidInput("give the ground truth with --truth FILE or --dataset FOLDER");
  return truthScale;
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
      "Scores a disparity map against a Middlebury ground truth: the share of pixels off by more than\n"
      "0.5, 1, 2 and 4 px and the mean absolute error, per mask. Pixels the map leaves unknown count as\n"
      "bad at every threshold and are left out of the mean error (their count is shown).",
      "orbelt-cli eval"};
  EvalWords w;
  declareEvalOptions(app, w);
  if (const auto status = parseArguments(app, argc, argv)) return *status;
  const Expected<double> truthScale = resolveDataset(w);
  if (!truthScale) return refuse(truthScale.error().message);

  std::optional<GreyEncoding> grey;
  if (w.displayLevel) grey = GreyEncoding{*w.displayLevel, w.baseDisparity};
  const Expected<cv::Mat> disparity = readDisparityMap(w.mapPath, grey);
  if (!disparity) return refuse(disparity.error().message);
  const Expected<cv::Mat> truth = readGroundTruth(w.truthPath);
  if (!truth) return refuse(truth.error().message);
  Expected<std::vector<Row>> rows = readMasks(w);
  if (!rows) return refuse(rows.error().message);
  for (Row& row : *rows) {
    Expected<DisparityScore> scored = evaluateDisparity(*disparity, *truth, row.mask, {*truthScale, w.border});
    if (!scored) {
      return refuse(w.mapPath + " against " + w.truthPath + (row.path.empty() ? "" : " with " + row.path) + ": " +
                    scored.error().message);
    }
    row.score = *scored;
  }
  printRows(w, *truthScale, *rows);
  return kExitSuccess;
}

}  // namespace orbelt
