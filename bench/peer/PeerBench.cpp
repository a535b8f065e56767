// orbelt-peer-bench: Orbelt beside OpenCV's matchers on the public Middlebury
// sets, on the original pair and on right views changed radiometrically.
//
// Methods (JSON keys):
//   orbelt_logchrom    Orbelt, dialog defaults (log-chromaticity), each set's label count
//   orbelt_rgb         the same in rgb mode
//   orbelt_refined     orbelt_rgb, then the left-right check (1 px), the background
//                      fill and a weighted median of radius 3 guided by the left view
//   opencv_census_sgm  cv::stereo::StereoBinarySGBM with a census kernel (PeerMatchers.h)
//   opencv_sgbm_wls    StereoSGBM + right matcher + DisparityWLSFilter (PeerMatchers.h)
//   opencv_sgbm        plain StereoSGBM (PeerMatchers.h)
//
// Every method is scored twice at 1 px (nonocc mask where the set has one,
// else all pixels with truth):
//   bad1         unknown pixels count as bad: the map a user gets;
//   bad1_filled  after the same background fill for every method (each hole
//                takes the lower of its row's nearest known disparities),
//                so holes are judged by what a plain fill makes of them: the
//                matchers compared on equal terms.
// The seconds are those of the method alone. The full run is long: pick parts
// with --sets, --conditions and --methods. Each row is printed (and the JSON
// rewritten) as soon as it is done, so an interrupted run keeps what it did.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>

#include "bench/peer/PeerMatchers.h"
#include "bench/peer/RadiometricChange.h"
#include "eval/DisparityEvaluation.h"
#include "eval/MiddleburySet.h"
#include "io/AtomicFile.h"
#include "io/DisparityMapFiles.h"
#include "pipeline/RunStereo.h"
#include "platform/Timing.h"
#include "postprocess/BackgroundFill.h"
#include "postprocess/FloatDisparity.h"
#include "postprocess/LeftRightCheck.h"
#include "postprocess/MapRefinement.h"

namespace {

using namespace orbelt;

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The refined configuration: the better colour mode, then every refinement.
constexpr double kRefinedLrThreshold = 1.0;
constexpr int kRefinedMedianRadius = 3;

const std::vector<std::string> kMethods = {"orbelt_logchrom",   "orbelt_rgb",      "orbelt_refined",
                                           "opencv_census_sgm", "opencv_sgbm_wls", "opencv_sgbm"};

struct MethodResult {
  double bad1 = NAN;                                  // % bad at 1 px, unknown pixels bad
  double bad1Filled = NAN;                            // % bad at 1 px after the background fill
  double unknown = NAN;                               // % of scored pixels left unknown
  double seconds = NAN;                               // wall seconds of the method alone
  std::vector<std::pair<std::string, double>> steps;  // seconds of each refinement step
  std::string error;
};

struct Scene {
  cv::Mat left, right, truth, mask;
  double scale = 1;
  int labels = 0;
};

void score(const cv::Mat& disparity, const Scene& scene, MethodResult& out) {
  const Expected<DisparityScore> asIs = evaluateDisparity(disparity, scene.truth, scene.mask, {scene.scale, 0});
  if (!asIs) {
    out.error = asIs.error().message;
    return;
  }
  cv::Mat fillable = disparity.clone();
  if (const auto fill = fillFromBackground(fillable); !fill) {
    out.error = fill.error().message;
    return;
  }
  const Expected<DisparityScore> filled = evaluateDisparity(fillable, scene.truth, scene.mask, {scene.scale, 0});
  if (!filled) {
    out.error = filled.error().message;
    return;
  }
  out.bad1 = asIs->badOver1;
  out.bad1Filled = filled->badOver1;
  out.unknown = asIs->evaluated ? 100.0 * double(asIs->invalid) / double(asIs->evaluated) : 0.0;
}

MethodResult timedPeer(const std::function<cv::Mat()>& run, const Scene& scene) {
  MethodResult out;
  const auto start = SteadyClock::now();
  const cv::Mat disparity = run();
  out.seconds = secondsSince(start);
  score(disparity, scene, out);
  return out;
}

struct OrbeltRun {
  DisparityResult result;  // valid when error is empty
  std::string error;       // why the run stopped
  double seconds = 0;
};

// Which of the matcher's two signals a run compares windows on.
enum class Signal { LogChrom, Rgb };

OrbeltRun runOrbelt(const cv::Mat& reference, const cv::Mat& target, int labels, Signal signal, std::uint32_t seed,
                    int threads) {
  StereoRequest request;
  request.left = reference;
  request.right = target;
  request.options.matcher.disparityRange = labels;
  request.options.matcher.logChromWeight = signal == Signal::LogChrom ? 1.0f : 0.0f;
  request.options.optimizer.seed = seed;
  request.options.useThreads(threads);
  OrbeltRun run;
  const auto start = SteadyClock::now();
  Expected<StereoResult> computed = runStereo(request);
  run.seconds = secondsSince(start);
  if (computed) {
    run.result = std::move(computed->left);
  } else {
    run.error = computed.error().summary();
  }
  return run;
}

MethodResult scoreOrbelt(const OrbeltRun& run, const Scene& scene) {
  MethodResult out;
  out.seconds = run.seconds;
  if (!run.error.empty()) {
    out.error = run.error;
    return out;
  }
  const Expected<cv::Mat> disparity = floatDisparity(run.result.labels, run.result.width, run.result.height, 0);
  if (!disparity) {
    out.error = disparity.error().message;
    return out;
  }
  score(*disparity, scene, out);
  return out;
}

// The refinements after the left view's run: the right view's run and the
// check, the fill, the median; each step timed on its own.
MethodResult refineOrbelt(const OrbeltRun& leftRun, const Scene& scene, std::uint32_t seed, int threads) {
  MethodResult out;
  if (!leftRun.error.empty()) {
    out.error = leftRun.error;
    return out;
  }
  const int width = leftRun.result.width, height = leftRun.result.height;
  const auto start = SteadyClock::now();
  const MirroredPair mirrored = mirroredPairForRightView(scene.left, scene.right);
  const OrbeltRun rightRun = runOrbelt(mirrored.reference, mirrored.target, scene.labels, Signal::Rgb, seed, threads);
  if (!rightRun.error.empty()) {
    out.error = rightRun.error;
    return out;
  }
  const double rightViewSeconds = secondsSince(start);
  const Expected<std::vector<int>> rightLabels = mirrorLabels(rightRun.result.labels, width, height);
  if (!rightLabels) {
    out.error = rightLabels.error().message;
    return out;
  }
  const Expected<RefinedMap> refined = refineDisparityMap(
      leftRun.result.labels, &*rightLabels, width, height, 0, nullptr, scene.left,
      {.lrCheck = true, .lrThreshold = kRefinedLrThreshold, .fill = true, .medianRadius = kRefinedMedianRadius});
  if (!refined) {
    out.error = refined.error().message;
    return out;
  }
  // The check's cost is the right view's run; comparing the maps is noise beside it.
  out.steps = {{"lr_check", rightViewSeconds + refined->checkSeconds},
               {"fill", refined->fillSeconds},
               {"median", refined->medianSeconds}};
  out.seconds = leftRun.seconds;
  for (const auto& step : out.steps) out.seconds += step.second;
  score(refined->disparity, scene, out);
  return out;
}

std::string cell(const MethodResult& r) {
  char text[64];
  if (r.error == "not run") return "     -      -      -";
  if (!r.error.empty() || std::isnan(r.bad1)) return " failed      -      -";
  std::snprintf(text, sizeof text, "%6.2f %6.2f %6.2f", r.bad1, r.bad1Filled, r.seconds);
  return text;
}

nlohmann::json toJson(const MethodResult& r) {
  const auto number = [](double v) { return std::isnan(v) ? nlohmann::json() : nlohmann::json(v); };
  nlohmann::json j;
  j["bad1"] = number(r.bad1);
  j["bad1_filled"] = number(r.bad1Filled);
  j["unknown"] = number(r.unknown);
  j["seconds"] = number(r.seconds);
  if (!r.steps.empty()) {
    j["step_seconds"] = nlohmann::json::object();
    for (const auto& [name, seconds] : r.steps) j["step_seconds"][name] = seconds;
  }
  if (!r.error.empty()) j["error"] = r.error;
  return j;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dataDir = ORBELT_SHARED_DATA_DIR;
  std::vector<std::string> setNames;
  std::vector<std::string> conditionNames;
  std::vector<std::string> methodNames;
  std::string jsonPath;
  std::uint32_t seed = 1;
  int threads = 0;
  bool peersOnly = false;

  CLI::App app{
      "Orbelt beside OpenCV's matchers on the Middlebury sets, on original and radiometrically "
      "changed right views. Per method: % bad pixels at 1 px with holes counted as bad, the same "
      "after one background fill for every method, then seconds.",
      "orbelt-peer-bench"};
  std::string conditionHelp = "Conditions to run (default all):";
  for (const RadiometricChange& c : radiometricChanges()) conditionHelp += "\n  " + c.name + ": " + c.description;
  std::string methodHelp = "Methods to run (default all):";
  for (const std::string& m : kMethods) methodHelp += " " + m;
  app.add_option("--data", dataDir, "Folder of the public datasets")->capture_default_str();
  app.add_option("--sets", setNames, "Sets to run, by folder name (default all), e.g. --sets tsukuba teddy");
  app.add_option("--conditions", conditionNames, conditionHelp);
  app.add_option("--methods", methodNames, methodHelp)->check(CLI::IsMember(kMethods));
  app.add_option("--json", jsonPath, "Also write the table as JSON (rewritten after every row)");
  app.add_option("--seed", seed, "Seed of Orbelt's label orders")->capture_default_str();
  app.add_option("--threads", threads, "Threads of Orbelt's cost computation; 0 = all cores")->capture_default_str();
  app.add_flag("--peers-only", peersOnly, "Run only OpenCV's matchers (quick)");
  CLI11_PARSE(app, argc, argv);
  if (methodNames.empty()) methodNames = kMethods;
  if (peersOnly) methodNames = {"opencv_census_sgm", "opencv_sgbm_wls", "opencv_sgbm"};
  const auto wanted = [&](const std::string& m) {
    return std::find(methodNames.begin(), methodNames.end(), m) != methodNames.end();
  };

  std::vector<MiddleburySet> sets = listMiddleburySets(dataDir);
  if (sets.empty()) {
    std::fprintf(stderr, "orbelt-peer-bench: no Middlebury sets under \"%s\" (pass --data); nothing to do\n",
                 dataDir.c_str());
    return 2;
  }
  if (!setNames.empty()) {
    std::vector<MiddleburySet> chosen;
    for (const std::string& name : setNames) {
      const auto it =
          std::find_if(sets.begin(), sets.end(), [&](const MiddleburySet& s) { return lower(s.name) == lower(name); });
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

  std::printf("bad1 %%, bad1 %% after the background fill, seconds\n%-10s %-10s %-6s", "set", "condition", "mask");
  for (const std::string& m : kMethods) std::printf(" | %-20s", m.c_str());
  std::printf("\n");
  std::fflush(stdout);
  nlohmann::json rows = nlohmann::json::array();
  const nlohmann::json settings = {
      {"orbelt_refined",
       {{"color_mode", "rgb"},
        {"lr_threshold", kRefinedLrThreshold},
        {"fill", true},
        {"median_radius", kRefinedMedianRadius}}},
      {"views",
       {{"bad1", "unknown pixels count as bad"}, {"bad1_filled", "after the same background fill for every method"}}}};
  for (const MiddleburySet& set : sets) {
    Scene scene;
    scene.left = cv::imread(set.left, cv::IMREAD_COLOR);
    const cv::Mat right = cv::imread(set.right, cv::IMREAD_COLOR);
    std::string error;
    const std::string maskName = !set.nonocc.empty() ? "nonocc" : !set.all.empty() ? "all" : "none";
    const std::string maskPath = !set.nonocc.empty() ? set.nonocc : set.all;
    if (Expected<cv::Mat> read = readGroundTruth(set.truth); read) {
      scene.truth = std::move(*read);
    } else {
      error = read.error().message;
    }
    if (error.empty() && !maskPath.empty()) {
      if (Expected<cv::Mat> read = readMask(maskPath); read) {
        scene.mask = std::move(*read);
      } else {
        error = read.error().message;
      }
    }
    if (scene.left.empty() || right.empty() || !error.empty()) {
      std::fprintf(stderr, "orbelt-peer-bench: skipping %s: %s\n", set.name.c_str(),
                   error.empty() ? "cannot read its views" : error.c_str());
      continue;
    }
    scene.scale = set.truthScale;
    scene.labels = set.labelCount;
    for (const RadiometricChange& condition : conditions) {
      scene.right = condition.apply(right);
      std::map<std::string, MethodResult> results;
      for (const std::string& m : kMethods) results[m].error = "not run";
      if (wanted("orbelt_logchrom")) {
        results["orbelt_logchrom"] =
            scoreOrbelt(runOrbelt(scene.left, scene.right, scene.labels, Signal::LogChrom, seed, threads), scene);
      }
      if (wanted("orbelt_rgb") || wanted("orbelt_refined")) {
        const OrbeltRun rgb = runOrbelt(scene.left, scene.right, scene.labels, Signal::Rgb, seed, threads);
        if (wanted("orbelt_rgb")) results["orbelt_rgb"] = scoreOrbelt(rgb, scene);
        if (wanted("orbelt_refined")) results["orbelt_refined"] = refineOrbelt(rgb, scene, seed, threads);
      }
      if (wanted("opencv_census_sgm")) {
        results["opencv_census_sgm"] =
            timedPeer([&] { return runCensusSgm(scene.left, scene.right, scene.labels); }, scene);
      }
      if (wanted("opencv_sgbm_wls")) {
        results["opencv_sgbm_wls"] =
            timedPeer([&] { return runSgbmWls(scene.left, scene.right, scene.labels); }, scene);
      }
      if (wanted("opencv_sgbm")) {
        results["opencv_sgbm"] = timedPeer([&] { return runOpencvSgbm(scene.left, scene.right, scene.labels); }, scene);
      }
      std::printf("%-10s %-10s %-6s", set.name.c_str(), condition.name.c_str(), maskName.c_str());
      for (const std::string& m : kMethods) std::printf(" | %s", cell(results[m]).c_str());
      std::printf("\n");
      std::fflush(stdout);
      nlohmann::json row;
      row["set"] = set.name;
      row["condition"] = condition.name;
      row["mask"] = maskName;
      row["labels"] = set.labelCount;
      for (const std::string& m : kMethods) row[m] = toJson(results[m]);
      rows.push_back(row);
      if (!jsonPath.empty()) {
        const std::string text = nlohmann::json{{"seed", seed}, {"settings", settings}, {"rows", rows}}.dump(2) + "\n";
        if (const Status saved = writeFileAtomically(jsonPath, {{text.data(), text.size()}}); !saved) {
          std::fprintf(stderr, "orbelt-peer-bench: %s\n", saved.error().message.c_str());
          return 2;
        }
      }
    }
  }
  return 0;
}
