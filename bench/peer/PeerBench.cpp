// orbelt-peer-bench: Orbelt (both colour modes, the dialog's defaults, each
// set's label count) beside OpenCV's StereoSGBM on the public Middlebury sets,
// on the original pair and on right views changed radiometrically.
//
// Prints, per set and condition, the share of pixels off by more than 1 px
// (nonocc mask where the set has one, else all pixels with truth; unknown
// pixels count as bad) and the seconds of each method, as one table, and
// optionally the same as JSON. The full run is long: pick parts with --sets
// and --conditions. Each row is printed (and the JSON rewritten) as soon as
// it is done, so an interrupted run keeps what it finished.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>

#include "bench/peer/RadiometricChange.h"
#include "eval/DisparityEvaluation.h"
#include "eval/MiddleburySet.h"
#include "io/AtomicFile.h"
#include "io/DisparityMapFiles.h"
#include "pipeline/DisparityPipeline.h"
#include "postprocess/FloatDisparity.h"

namespace {

using namespace orbelt;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

struct MethodResult {
  double bad1 = NAN;     // % bad at 1 px
  double seconds = NAN;  // wall seconds of the method alone
  std::string error;
};

MethodResult runOrbelt(const cv::Mat& left, const cv::Mat& right, int labels, ColorMode mode, std::uint32_t seed,
                       int threads, const cv::Mat& truth, const cv::Mat& mask, double scale) {
  StereoParams params;
  params.disparityRange = labels;
  params.colorMode = mode;
  DisparityOptions options;
  options.threadCount = threads;
  MethodResult out;
  const auto start = Clock::now();
  const DisparityResult result = computeDisparity(left, right, params, defaultEngines(seed), options);
  out.seconds = secondsSince(start);
  if (!result.error.empty()) {
    out.error = result.error;
    return out;
  }
  const cv::Mat disparity = floatDisparity(result.labels, result.width, result.height, params.baseDisparity);
  DisparityScore score;
  if (evaluateDisparity(disparity, truth, mask, {scale, 0}, score, out.error)) out.bad1 = score.badOver1;
  return out;
}

MethodResult runSgbm(const cv::Mat& left, const cv::Mat& right, int labels, const cv::Mat& truth,
                     const cv::Mat& mask, double scale) {
  const int block = 5;
  const int numDisparities = (labels + 15) / 16 * 16;
  auto sgbm = cv::StereoSGBM::create(0, numDisparities, block, 8 * 3 * block * block, 32 * 3 * block * block);
  sgbm->setMode(cv::StereoSGBM::MODE_SGBM);
  MethodResult out;
  const auto start = Clock::now();
  cv::Mat fixed;
  sgbm->compute(left, right, fixed);
  out.seconds = secondsSince(start);
  // 16 steps per pixel; values below the minimum disparity mark pixels the
  // matcher gave up on.
  cv::Mat disparity(fixed.size(), CV_32FC1);
  for (int y = 0; y < fixed.rows; ++y) {
    for (int x = 0; x < fixed.cols; ++x) {
      const short v = fixed.at<short>(y, x);
      disparity.at<float>(y, x) = v < 0 ? std::numeric_limits<float>::infinity() : v / 16.0f;
    }
  }
  DisparityScore score;
  if (evaluateDisparity(disparity, truth, mask, {scale, 0}, score, out.error)) out.bad1 = score.badOver1;
  return out;
}

std::string cell(const MethodResult& r) {
  char text[64];
  if (r.error == "not run") return "      -        -";
  if (!r.error.empty() || std::isnan(r.bad1)) return " failed        -";
  std::snprintf(text, sizeof text, "%6.2f %8.2f", r.bad1, r.seconds);
  return text;
}

nlohmann::json toJson(const MethodResult& r) {
  nlohmann::json j;
  j["bad1"] = std::isnan(r.bad1) ? nlohmann::json() : nlohmann::json(r.bad1);
  j["seconds"] = r.seconds;
  if (!r.error.empty()) j["error"] = r.error;
  return j;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dataDir = ORBELT_SHARED_DATA_DIR;
  std::vector<std::string> setNames;
  std::vector<std::string> conditionNames;
  std::string jsonPath;
  std::uint32_t seed = 1;
  int threads = 0;
  bool skipOrbelt = false;

  CLI::App app{"Orbelt beside OpenCV's StereoSGBM on the Middlebury sets, on original and radiometrically "
               "changed right views. Column figures: % bad pixels at 1 px, then seconds.",
               "orbelt-peer-bench"};
  std::string conditionHelp = "Conditions to run (default all):";
  for (const RadiometricChange& c : radiometricChanges()) conditionHelp += "\n  " + c.name + ": " + c.description;
  app.add_option("--data", dataDir, "Folder of the public datasets")->capture_default_str();
  app.add_option("--sets", setNames, "Sets to run, by folder name (default all), e.g. --sets tsukuba teddy");
  app.add_option("--conditions", conditionNames, conditionHelp);
  app.add_option("--json", jsonPath, "Also write the table as JSON (rewritten after every row)");
  app.add_option("--seed", seed, "Seed of Orbelt's label orders")->capture_default_str();
  app.add_option("--threads", threads, "Threads of Orbelt's cost computation; 0 = all cores")->capture_default_str();
  app.add_flag("--sgbm-only", skipOrbelt, "Run only the peer (to check the harness quickly)");
  CLI11_PARSE(app, argc, argv);

  std::vector<MiddleburySet> sets = listMiddleburySets(dataDir);
  if (sets.empty()) {
    std::fprintf(stderr, "orbelt-peer-bench: no Middlebury sets under \"%s\" (pass --data); nothing to do\n",
                 dataDir.c_str());
    return 2;
  }
  if (!setNames.empty()) {
    std::vector<MiddleburySet> chosen;
    for (const std::string& name : setNames) {
      const auto it = std::find_if(sets.begin(), sets.end(), [&](const MiddleburySet& s) { return lower(s.name) == lower(name); });
      if (it == sets.end()) {
        std::fprintf(stderr, "orbelt-peer-bench: no set \"%s\" under \"%s\"\n", name.c_str(), dataDir.c_str());
        return 2;
      }
      chosen.push_back(*it);
    }
    sets = chosen;
  }
  std::vector<RadiometricChange> conditions;
  for (const std::string& name : conditionNames) {
    const auto& all = radiometricChanges();
    const auto it = std::find_if(all.begin(), all.end(), [&](const RadiometricChange& c) { return c.name == name; });
    if (it == all.end()) {
      std::fprintf(stderr, "orbelt-peer-bench: unknown condition \"%s\" (see --help)\n", name.c_str());
      return 2;
    }
    conditions.push_back(*it);
  }
  if (conditions.empty()) conditions = radiometricChanges();

  std::printf("%-10s %-10s %-6s | %-15s | %-15s | %-15s\n", "set", "condition", "mask", "orbelt logchrom",
              "orbelt rgb", "opencv sgbm");
  std::printf("%-10s %-10s %-6s | %6s %8s | %6s %8s | %6s %8s\n", "", "", "", "bad1%", "s", "bad1%", "s", "bad1%",
              "s");
  std::fflush(stdout);
  nlohmann::json rows = nlohmann::json::array();
  for (const MiddleburySet& set : sets) {
    const cv::Mat left = cv::imread(set.left, cv::IMREAD_COLOR);
    const cv::Mat right = cv::imread(set.right, cv::IMREAD_COLOR);
    cv::Mat truth, mask;
    std::string error;
    const std::string maskName = !set.nonocc.empty() ? "nonocc" : !set.all.empty() ? "all" : "none";
    const std::string maskPath = !set.nonocc.empty() ? set.nonocc : set.all;
    if (Expected<cv::Mat> read = readGroundTruth(set.truth); read) {
      truth = std::move(*read);
    } else {
      error = read.error().message;
    }
    if (error.empty() && !maskPath.empty()) {
      if (Expected<cv::Mat> read = readMask(maskPath); read) {
        mask = std::move(*read);
      } else {
        error = read.error().message;
      }
    }
    if (left.empty() || right.empty() || !error.empty()) {
      std::fprintf(stderr, "orbelt-peer-bench: skipping %s: %s\n", set.name.c_str(),
                   error.empty() ? "cannot read its views" : error.c_str());
      continue;
    }
    for (const RadiometricChange& condition : conditions) {
      const cv::Mat changed = condition.apply(right);
      MethodResult logchrom, rgb;
      if (!skipOrbelt) {
        logchrom = runOrbelt(left, changed, set.labelCount, ColorMode::LogChrom, seed, threads, truth, mask,
                             set.truthScale);
        rgb = runOrbelt(left, changed, set.labelCount, ColorMode::Rgb, seed, threads, truth, mask, set.truthScale);
      } else {
        logchrom.error = rgb.error = "not run";
      }
      const MethodResult sgbm = runSgbm(left, changed, set.labelCount, truth, mask, set.truthScale);
      std::printf("%-10s %-10s %-6s | %s | %s | %s\n", set.name.c_str(), condition.name.c_str(), maskName.c_str(),
                  cell(logchrom).c_str(), cell(rgb).c_str(), cell(sgbm).c_str());
      std::fflush(stdout);
      nlohmann::json row;
      row["set"] = set.name;
      row["condition"] = condition.name;
      row["mask"] = maskName;
      row["labels"] = set.labelCount;
      row["orbelt_logchrom"] = toJson(logchrom);
      row["orbelt_rgb"] = toJson(rgb);
      row["opencv_sgbm"] = toJson(sgbm);
      rows.push_back(row);
      if (!jsonPath.empty()) {
        const std::string text = nlohmann::json{{"seed", seed}, {"rows", rows}}.dump(2) + "\n";
        if (const Status saved = writeFileAtomically(jsonPath, {{text.data(), text.size()}}); !saved) {
          std::fprintf(stderr, "orbelt-peer-bench: %s\n", saved.error().message.c_str());
          return 2;
        }
      }
    }
  }
  return 0;
}
