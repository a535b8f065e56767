#include "cli/EvalCommand.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/ComputeCommand.h"
#include "cli/ParseArguments.h"
#include "eval/DisparityEvaluation.h"
#include "eval/MiddleburySet.h"
#include "io/DisparityMapFiles.h"

namespace orbelt {

namespace {

int refuse(const std::string& message) {
  std::fprintf(stderr, "orbelt-cli eval: %s\n", message.c_str());
  return kExitUsage;
}

}  // namespace

int runEvalCommand(int argc, char** argv) {
  std::string mapPath, datasetPath, truthPath, nonoccPath, allPath, discPath;
  std::optional<double> scale;
  std::optional<int> displayLevel;
  int baseDisparity = 0;
  int border = 0;
  bool json = false;

  CLI::App app{
      "Scores a disparity map against a Middlebury ground truth: the share of pixels off by more than\n"
      "0.5, 1, 2 and 4 px and the mean absolute error, per mask. Pixels the map leaves unknown count as\n"
      "bad at every threshold and are left out of the mean error (their count is shown).",
      "orbelt-cli eval"};
  app.footer(
      "Exit status: 0 scored, 2 usage or input error.\n"
      "Example: orbelt-cli eval teddy.pfm --dataset ../shared/data/middlebury2003/teddy");
  app.get_formatter()->column_width(34);
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.add_option("map", mapPath,
                 "The result: .pfm (pixels, inf = unknown), 16-bit PNG (x256, 0 = unknown) or 8-bit display map "
                 "(needs --display-level)")
      ->required();
  app.add_option("--dataset", datasetPath,
                 "A Middlebury set folder: takes its ground truth, scale and nonocc/all/disc masks");
  app.add_option("--truth", truthPath, "Ground truth (.pfm or 8/16-bit image); overrides the dataset's");
  app.add_option("--scale", scale, "Ground-truth value per pixel of disparity (default: the dataset's, else 1)")
      ->check(CLI::PositiveNumber);
  app.add_option("--nonocc", nonoccPath, "Mask of non-occluded pixels (255 = scored)");
  app.add_option("--all", allPath, "Mask of all pixels with truth (255 = scored)");
  app.add_option("--disc", discPath, "Mask of pixels near depth discontinuities (255 = scored)");
  app.add_option("--display-level", displayLevel, "For an 8-bit display map: its display level")
      ->check(CLI::PositiveNumber);
  app.add_option("--base-disparity", baseDisparity, "For an 8-bit display map: its base disparity")
      ->capture_default_str();
  app.add_option("--border", border, "Frame of pixels left out on every side")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_flag("--json", json, "Print JSON instead of a table");
  if (const auto status = parseArguments(app, argc, argv)) return *status;

  double truthScale = 1.0;
  if (!datasetPath.empty()) {
    const Expected<MiddleburySet> found = findMiddleburySet(datasetPath);
    if (!found) return refuse(found.error().message);
    const MiddleburySet& set = *found;
    if (truthPath.empty()) {
      truthPath = set.truth;
      truthScale = set.truthScale;
    }
    if (nonoccPath.empty()) nonoccPath = set.nonocc;
    if (allPath.empty()) allPath = set.all;
    if (discPath.empty()) discPath = set.disc;
  }
  if (scale) truthScale = *scale;
  if (truthPath.empty()) return refuse("give the ground truth with --truth FILE or --dataset FOLDER");

  std::optional<GreyEncoding> grey;
  if (displayLevel) grey = GreyEncoding{*displayLevel, baseDisparity};
  const Expected<cv::Mat> disparity = readDisparityMap(mapPath, grey);
  if (!disparity) return refuse(disparity.error().message);
  const Expected<cv::Mat> truth = readGroundTruth(truthPath);
  if (!truth) return refuse(truth.error().message);

  struct Row {
    std::string name;
    std::string path;
    cv::Mat mask;
    DisparityScore score;
  };
  std::vector<Row> rows;
  for (const auto& [name, path] :
       {std::pair<std::string, std::string>{"nonocc", nonoccPath}, {"all", allPath}, {"disc", discPath}}) {
    if (path.empty()) continue;
    Expected<cv::Mat> mask = readMask(path);
    if (!mask) return refuse(mask.error().message);
    rows.push_back(Row{name, path, std::move(*mask), {}});
  }
  // Without masks every pixel with a known truth is scored.
  if (rows.empty()) rows.push_back({"known", "", {}, {}});
  for (Row& row : rows) {
    Expected<DisparityScore> scored = evaluateDisparity(*disparity, *truth, row.mask, {truthScale, border});
    if (!scored) {
      return refuse(mapPath + " against " + truthPath + (row.path.empty() ? "" : " with " + row.path) + ": " +
                    scored.error().message);
    }
    row.score = *scored;
  }

  if (json) {
    nlohmann::json out = {{"map", mapPath}, {"truth", truthPath}, {"scale", truthScale}, {"border", border}};
    nlohmann::json masks = nlohmann::json::object();
    for (const Row& row : rows) {
      masks[row.name] = {{"mask", row.path},
                         {"evaluated", row.score.evaluated},
                         {"unknown", row.score.invalid},
                         {"bad_0.5", row.score.badOver05},
                         {"bad_1", row.score.badOver1},
                         {"bad_2", row.score.badOver2},
                         {"bad_4", row.score.badOver4},
                         {"mean_abs_error", row.score.meanError}};
    }
    out["masks"] = masks;
    std::printf("%s\n", out.dump(2).c_str());
    return kExitSuccess;
  }
  std::printf("%-7s %9s %8s %8s %8s %8s %8s %10s\n", "mask", "pixels", "unknown", "bad>0.5", "bad>1", "bad>2", "bad>4",
              "mean err");
  for (const Row& row : rows) {
    const DisparityScore& s = row.score;
    std::printf("%-7s %9lld %8lld %7.2f%% %7.2f%% %7.2f%% %7.2f%% %7.3f px\n", row.name.c_str(),
                static_cast<long long>(s.evaluated), static_cast<long long>(s.invalid), s.badOver05, s.badOver1,
                s.badOver2, s.badOver4, s.meanError);
  }
  return kExitSuccess;
}

}  // namespace orbelt
