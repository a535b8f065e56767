// orbelt-run-bench: the whole run at the dialog's defaults (ANCC costs, then
// ten optimizer passes; runStereo with the real engines) on the
// default pair, and on Middlebury Teddy and Cones when the public data is
// present, with OpenCV's semi-global block matcher (StereoSGBM) on the same
// pair for scale.
//
// Every measurement runs in a child process of its own, so that its peak
// resident memory (VmHWM) is its own:
//  - floor: loads the pair and does nothing else (libraries, the images);
//  - run: the whole run;
//  - matcher: the cost stage alone, through the run's Matcher (cost volume,
//    working images, window caches);
//  - optimizer: ten passes alone on a flat cost array of the run's size,
//    handed over to the optimizer as the run hands it (the costs and the
//    optimizer's own arrays);
//  - sgbm: StereoSGBM at numDisparities = the range rounded up to 16,
//    blockSize 5, P1 = 8*3*25, P2 = 32*3*25.
// The run's memory budget is the larger of what its two parts need when each
// is measured alone, max(matcher - floor, optimizer - floor): the parts never
// overlap (the matcher's storage is freed before the labeller starts, and the
// volume is handed over, not copied), so beside the larger one the run holds
// only its own maps, counted as 16 bytes a pixel (labels, the float map, the
// pair). The run's own peak (run - floor) must stay within it; the line
// "within budget" or "OVER BUDGET" says so (exit status 1 when over).
//
// Times are wall seconds and CPU seconds of the child (the machine is shared:
// CPU time is the steadier figure; the matcher and the optimizer's moves both
// run on --threads threads). Label orders are seeded (--seed), so the run's labels
// are reproducible: their hash is printed. The run's line also gives each
// pass's wall seconds and the optimizer-to-cost-volume ratio: the ten passes'
// wall time over the cost volume's, both from that one run, and the same
// ratio in CPU seconds (the machine is shared: the two clocks bracket it).
//
//   cmake --build build --target orbelt-run-bench -j2
// --scale 2,4 also runs Teddy enlarged bicubically 2 and 4 times with the
// labels alike (x4: 1800 x 1500, 280 labels); --sizes 0.35:70,1.5:140,6:280
// runs Teddy enlarged bicubically to that many megapixels (both sides alike)
// with that many labels. Each prints the stages, the whole run over its cost
// volume, the peak over the float volume (width x height x labels x 4
// bytes), whether recycling stayed on and how many labels kept their flows,
// and StereoSGBM; at these sizes only the run and StereoSGBM are measured.
// --memory-limits 0,2.2 runs each of those once per limit, the run's budget
// (StereoRequest::availableBytes) that many float volumes (0: what the
// machine has), side by side: what a tighter plan costs in time. --repeat 3
// runs each of those three times and adds the median of each stage and of
// the whole-over-cost ratio, with the ratio's range.
//
//   build/bin/orbelt-run-bench [--threads 2] [--seed 1] [--pairs default,teddy,cones] [--scale 2,4]
//                              [--sizes 1.5:140,6:280] [--memory-limits 0,2.2] [--repeat 3]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "ancc/CostVolume.h"
#include "io/ImageFile.h"
#include "mrf/AlphaExpansion.h"
#include "app/StereoParams.h"
#include "pipeline/ColorCheck.h"
#include "pipeline/Matcher.h"
#include "pipeline/RunStereo.h"
#include "platform/AvailableMemory.h"
#include "platform/Timing.h"

namespace {

struct PairFiles {
  std::string name;
  std::string ref;
  std::string target;
  double zoom = 1.0;   // both views enlarged this many times on each side (bicubic)
  int labels = 0;      // the run's label count; 0: the dialog's
  bool large = false;  // measured as a full-resolution pair (benchLargePair)
  std::string title;   // how the size is named in the heading, e.g. "x4" or "1.5 MP"
};

// What a child reports: its figures as "key value" words, one line.
using Figures = std::vector<std::pair<std::string, double>>;

double figure(const Figures& figures, const std::string& key) {
  for (const auto& [k, v] : figures)
    if (k == key) return v;
  return 0.0;
}

double vmHwmMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;  // kB
  }
  return 0.0;
}

// Runs `work` in a child process and returns the figures it wrote, plus its
// peak memory; an empty list when the child failed (its message is on stderr).
Figures inChild(const std::function<Figures()>& work) {
  int channel[2];
  if (pipe(channel) != 0) {
    std::perror("orbelt-run-bench: pipe");
    return {};
  }
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) {
    std::perror("orbelt-run-bench: fork");
    return {};
  }
  if (child == 0) {
    close(channel[0]);
    const double wall = orbelt::steadySeconds();
    const double cpu = orbelt::processCpuSeconds();
    Figures figures = work();
    const bool worked = !figures.empty();  // the work's own figures, before the timings join them
    figures.emplace_back("wall", orbelt::steadySeconds() - wall);
    figures.emplace_back("cpu", orbelt::processCpuSeconds() - cpu);
    figures.emplace_back("hwm", vmHwmMiB());
    std::ostringstream text;
    text.precision(17);
    for (const auto& [k, v] : figures) text << k << ' ' << v << ' ';
    const std::string line = text.str();
    const bool written = write(channel[1], line.data(), line.size()) == static_cast<ssize_t>(line.size());
    _exit(written && worked ? 0 : 3);
  }
  close(channel[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  Figures figures;
  std::istringstream in(text);
  std::string key;
  double value = 0.0;
  while (in >> key >> value) figures.emplace_back(key, value);
  return figures;
}

// The dialog's parameters on opening, with SigmaP pre-set from the half
// window size as the dialog does before reading its controls.
orbelt::StereoParams dialogDefaults() {
  orbelt::StereoParams params;
  params.sigmaP = orbelt::sigmaPPreset(params.halfWinSize);
  return params;
}

// The run of the dialog's parameters with the bench's seed and threads.
orbelt::StereoOptions benchOptions(std::uint32_t seed, int threads) {
  orbelt::StereoOptions options = orbelt::stereoOptionsFor(dialogDefaults());
  options.optimizer.seed = seed;
  options.useThreads(threads);
  return options;
}

bool loadPair(const PairFiles& files, cv::Mat& ref, cv::Mat& target) {
  const auto load = [](const std::string& path, const char* role, cv::Mat& image) {
    orbelt::Expected<cv::Mat> loaded = orbelt::loadInputImage(path, role);
    if (!loaded) {
      std::fprintf(stderr, "orbelt-run-bench: %s\n", loaded.error().message.c_str());
      return false;
    }
    image = std::move(*loaded);
    return true;
  };
  if (!load(files.ref, "reference", ref) || !load(files.target, "target", target)) return false;
  if (files.zoom != 1.0) {
    const cv::Size size(static_cast<int>(std::lround(ref.cols * files.zoom)),
                        static_cast<int>(std::lround(ref.rows * files.zoom)));
    cv::resize(ref, ref, size, 0, 0, cv::INTER_CUBIC);
    cv::resize(target, target, size, 0, 0, cv::INTER_CUBIC);
  }
  if (!orbelt::passesColorCheck(ref, target)) {
    std::fprintf(stderr, "orbelt-run-bench: %s: %s\n", files.name.c_str(), orbelt::kColorFormatMessage);
    return false;
  }
  return true;
}

// The run of the pair at the dialog's parameters, with the bench's seed and threads.
bool loadRequest(const PairFiles& files, std::uint32_t seed, int threads, orbelt::StereoRequest& request) {
  if (!loadPair(files, request.left, request.right)) return false;
  request.options = benchOptions(seed, threads);
  return true;
}

std::uint64_t labelHash(const std::vector<int>& labels) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (int label : labels) {
    h ^= static_cast<std::uint64_t>(label);
    h *= 1099511628211ull;
  }
  return h;
}

// The whole run at full resolution, `repeats` times: each stage, whole over
// cost volume, peak over the float volume, recycling and the labels that
// kept their flows, from each run, beside StereoSGBM. The matcher-alone and
// optimizer-alone children of benchPair are left out: at these sizes each
// takes minutes.
int benchLargePair(const PairFiles& files, int threads, std::uint32_t seed, double memoryLimit, int repeats);

int benchPair(const PairFiles& files, int threads, std::uint32_t seed, double memoryLimit, int repeats) {
  if (files.large) return benchLargePair(files, threads, seed, memoryLimit, repeats);
  const orbelt::StereoParams params = dialogDefaults();
  cv::Mat probeRef, probeTarget;
  if (!loadPair(files, probeRef, probeTarget)) return 2;
  const int width = probeRef.cols;
  const int height = probeRef.rows;
  const int range = params.disparityRange;
  probeRef.release();
  probeTarget.release();
  const double volumeMiB = static_cast<double>(width) * height * range * sizeof(float) / (1024.0 * 1024.0);
  std::printf("\n%s: %d x %d, %d labels (dialog defaults, r %d), threads %d, seed %u\n", files.name.c_str(), width,
              height, range, params.halfWinSize, threads, seed);

  const Figures floor = inChild([&] {
    cv::Mat ref, target;
    if (!loadPair(files, ref, target)) return Figures{};
    return Figures{{"loaded", 1}};
  });

  const Figures run = inChild([&] {
    orbelt::StereoRequest request;
    if (!loadRequest(files, seed, threads, request)) return Figures{};
    // The CPU time of each stage, read at the stage boundaries the run reports.
    // The optimizer's share runs from the cost volume's last row to the end,
    // so it includes the handover of the costs (a few milliseconds).
    double cpuAtStart = orbelt::processCpuSeconds();
    double cpuAtCostEnd = 0.0;
    request.progress.onRow = [&](orbelt::StereoView, int rowsDone, int rows) {
      if (rowsDone == rows) cpuAtCostEnd = orbelt::processCpuSeconds();
    };
    cpuAtStart = orbelt::processCpuSeconds();
    const orbelt::Expected<orbelt::StereoResult> computed = orbelt::runStereo(request);
    const double costCpu = cpuAtCostEnd - cpuAtStart;
    const double optimizerCpu = orbelt::processCpuSeconds() - cpuAtCostEnd;
    if (!computed) {
      std::fprintf(stderr, "orbelt-run-bench: %s: %s\n", files.name.c_str(), computed.error().summary().c_str());
      return Figures{};
    }
    const orbelt::DisparityResult& result = computed->left;
    Figures passes;
    for (std::size_t k = 0; k < result.passSeconds.size(); ++k) {
      passes.emplace_back("pass" + std::to_string(k + 1), result.passSeconds[k]);
    }
    Figures figures{{"costSeconds", result.costSeconds},
                    {"costCpu", costCpu},
                    {"optimizerCpu", optimizerCpu},
                    {"passes", static_cast<double>(result.passSeconds.size())},
                    {"optimizeSeconds", result.optimizeSeconds},
                    {"energy", result.passEnergies.empty() ? 0.0 : result.passEnergies.back()},
                    {"hashHigh", static_cast<double>(labelHash(result.labels) >> 32)},
                    {"hashLow", static_cast<double>(labelHash(result.labels) & 0xFFFFFFFFu)}};
    figures.insert(figures.end(), passes.begin(), passes.end());
    return figures;
  });

  const Figures matcher = inChild([&] {
    cv::Mat ref, target;
    if (!loadPair(files, ref, target)) return Figures{};
    const orbelt::Expected<orbelt::CostVolume> costs = orbelt::createAnccMatcher()->compute(
        ref, target, benchOptions(seed, threads).matcher, orbelt::availableMemoryBytes(), {}, orbelt::StereoView::Left);
    if (!costs) {
      std::fprintf(stderr, "orbelt-run-bench: %s: %s\n", files.name.c_str(), costs.error().summary().c_str());
      return Figures{};
    }
    return Figures{{"done", 1}};
  });

  const Figures optimizer = inChild([&] {
    cv::Mat ref, target;
    if (!loadPair(files, ref, target)) return Figures{};
    // Costs shaped like the matcher's (a slanted scene plus noise), so the
    // moves are as large as the run's.
    std::vector<float> flat(static_cast<std::size_t>(width) * height * range);
    std::uint32_t state = 12345u;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int truth = (x * (range - 1)) / (2 * width) + (y * (range - 1)) / (3 * height);
        for (int d = 0; d < range; ++d) {
          state = state * 1664525u + 1013904223u;
          const float distance = 0.05f * static_cast<float>(std::abs(d - truth));
          flat[(static_cast<std::size_t>(y) * width + x) * range + d] =
              (distance < 1.0f ? distance : 1.0f) + static_cast<float>(state >> 24) / 512.0f;
        }
      }
    orbelt::DataTerm data;
    data.form = orbelt::CostForm::Table;
    data.costTable = flat.data();
    orbelt::SmoothTerm smooth;
    smooth.form = orbelt::CostForm::TruncatedPower;
    smooth.exponent = params.smoothExponent;
    smooth.maxCost = static_cast<float>(params.smoothMax);
    smooth.lambda = params.lambda * 30.0f;
    orbelt::EnergyTerms terms{&data, &smooth};
    orbelt::AlphaExpansion solver(width, height, range, &terms);
    solver.setThreadCount(threads);
    solver.fixLabelOrderSeed(seed);
    if (!solver.initialize()) return Figures{};
    if (!solver.adoptDataCosts(std::move(flat))) return Figures{};
    solver.resetLabels();
    for (int pass = 0; pass < orbelt::kOptimizerPasses; ++pass) {
      if (!solver.optimize(1, nullptr)) return Figures{};
    }
    return Figures{{"done", 1}};
  });

  const Figures sgbm = inChild([&] {
    cv::Mat ref, target;
    if (!loadPair(files, ref, target)) return Figures{};
    const int disparities = (range + 15) / 16 * 16;
    const int block = 5;
    cv::Ptr<cv::StereoSGBM> matcher =
        cv::StereoSGBM::create(0, disparities, block, 8 * 3 * block * block, 32 * 3 * block * block);
    cv::Mat disparity;
    matcher->compute(ref, target, disparity);
    return Figures{{"disparities", disparities}};
  });

  if (floor.empty() || run.empty() || matcher.empty() || optimizer.empty() || sgbm.empty()) {
    std::fprintf(stderr, "orbelt-run-bench: %s: a measurement failed (see above)\n", files.name.c_str());
    return 1;
  }
  const double floorMiB = figure(floor, "hwm");
  const std::uint64_t hash =
      (static_cast<std::uint64_t>(figure(run, "hashHigh")) << 32) | static_cast<std::uint64_t>(figure(run, "hashLow"));
  std::printf(
      "  orbelt run   %7.2f s wall %7.2f s cpu  (costs %.2f s, optimizer %.2f s wall)  energy %.1f  labels %016llx\n",
      figure(run, "wall"), figure(run, "cpu"), figure(run, "costSeconds"), figure(run, "optimizeSeconds"),
      figure(run, "energy"), static_cast<unsigned long long>(hash));
  std::printf("  passes (wall s):");
  for (int k = 1; k <= static_cast<int>(figure(run, "passes")); ++k) {
    std::printf(" %.2f", figure(run, "pass" + std::to_string(k)));
  }
  std::printf(
      "\n  optimizer / cost volume: %.2fx wall (%.2f s / %.2f s), %.2fx cpu (%.2f s / %.2f s; the cost "
      "volume and the optimizer on %d threads)\n",
      figure(run, "optimizeSeconds") / figure(run, "costSeconds"), figure(run, "optimizeSeconds"),
      figure(run, "costSeconds"), figure(run, "optimizerCpu") / figure(run, "costCpu"), figure(run, "optimizerCpu"),
      figure(run, "costCpu"), threads);
  std::printf("  StereoSGBM   %7.2f s wall %7.2f s cpu  (%d disparities, block 5)  orbelt/SGBM %.0fx wall\n",
              figure(sgbm, "wall"), figure(sgbm, "cpu"), static_cast<int>(figure(sgbm, "disparities")),
              figure(run, "wall") / figure(sgbm, "wall"));
  const double runPeak = figure(run, "hwm") - floorMiB;
  const double matcherPeak = figure(matcher, "hwm") - floorMiB;
  const double optimizerPeak = figure(optimizer, "hwm") - floorMiB;
  const double mapsMiB = static_cast<double>(width) * height * 16 / (1024.0 * 1024.0);
  const double budget = std::max(matcherPeak, optimizerPeak) + mapsMiB;
  std::printf("  peak memory (VmHWM above the %.1f MiB of a process that only loaded the pair):\n", floorMiB);
  std::printf(
      "    run %.1f MiB = %.2fx the float volume; budget %.1f MiB = the larger of matcher alone %.1f (volume %.1f, "
      "images, window caches) and optimizer alone %.1f (costs %.1f, its arrays %.1f), + maps %.1f\n",
      runPeak, runPeak / volumeMiB, budget, matcherPeak, volumeMiB, optimizerPeak, volumeMiB, optimizerPeak - volumeMiB,
      mapsMiB);
  std::printf("    %s; SGBM %.1f MiB\n", runPeak <= budget ? "within budget" : "OVER BUDGET",
              figure(sgbm, "hwm") - floorMiB);
  return runPeak <= budget ? 0 : 1;
}

// The figures of the whole run at full resolution, from one child.
Figures runLargePair(const PairFiles& files, int threads, std::uint32_t seed, int labels, double memoryLimit) {
  orbelt::StereoRequest request;
  if (!loadRequest(files, seed, threads, request)) return Figures{};
  request.options.matcher.disparityRange = labels;
  if (memoryLimit > 0) {
    request.availableBytes =
        static_cast<std::uint64_t>(memoryLimit * request.left.cols * request.left.rows * labels * sizeof(float));
  }
  const orbelt::Expected<orbelt::StereoResult> run = orbelt::runStereo(request);
  if (!run) {
    std::fprintf(stderr, "orbelt-run-bench: %s: %s\n", files.name.c_str(), run.error().summary().c_str());
    return Figures{};
  }
  const orbelt::DisparityResult& computed = run->left;
  Figures figures{{"costSeconds", computed.costSeconds},
                  {"flattenSeconds", computed.flattenSeconds},
                  {"optimizeSeconds", computed.optimizeSeconds},
                  {"recycling", computed.flowRecycling ? 1.0 : 0.0},
                  {"keptLabels", static_cast<double>(computed.keptFlowLabels)},
                  {"energy", computed.passEnergies.empty() ? 0.0 : computed.passEnergies.back()},
                  {"hashHigh", static_cast<double>(labelHash(computed.labels) >> 32)},
                  {"hashLow", static_cast<double>(labelHash(computed.labels) & 0xFFFFFFFFu)},
                  {"passes", static_cast<double>(computed.passSeconds.size())}};
  for (std::size_t k = 0; k < computed.passSeconds.size(); ++k)
    figures.emplace_back("pass" + std::to_string(k + 1), computed.passSeconds[k]);
  return figures;
}

// StereoSGBM on the same pair, for scale.
Figures runSgbm(const PairFiles& files, int labels) {
  cv::Mat ref, target;
  if (!loadPair(files, ref, target)) return Figures{};
  const int block = 5;
  cv::Ptr<cv::StereoSGBM> matcher =
      cv::StereoSGBM::create(0, (labels + 15) / 16 * 16, block, 8 * 3 * block * block, 32 * 3 * block * block);
  cv::Mat disparity;
  matcher->compute(ref, target, disparity);
  return Figures{{"done", 1}};
}

// A run's wall seconds from the first cost to the last pass.
double wholeSeconds(const Figures& run) {
  return figure(run, "costSeconds") + figure(run, "flattenSeconds") + figure(run, "optimizeSeconds");
}

void printLargeRun(const Figures& run, const Figures& floor, double volumeMiB, int labels) {
  const double whole = wholeSeconds(run);
  std::printf(
      "  stages (wall s): cost volume %.2f, handover %.2f, ten passes %.2f; whole %.2f = %.2fx the cost volume\n",
      figure(run, "costSeconds"), figure(run, "flattenSeconds"), figure(run, "optimizeSeconds"), whole,
      whole / figure(run, "costSeconds"));
  std::printf("  passes (wall s):");
  for (int k = 1; k <= static_cast<int>(figure(run, "passes")); ++k)
    std::printf(" %.2f", figure(run, "pass" + std::to_string(k)));
  std::printf(
      "\n  run %.2f s wall %.2f s cpu, energy %.1f, labels %08x%08x, recycling %s, %d of %d labels kept their "
      "flows\n",
      figure(run, "wall"), figure(run, "cpu"), figure(run, "energy"), static_cast<unsigned>(figure(run, "hashHigh")),
      static_cast<unsigned>(figure(run, "hashLow")), figure(run, "recycling") > 0 ? "on" : "OFF",
      static_cast<int>(figure(run, "keptLabels")), labels);
  const double runPeak = figure(run, "hwm") - figure(floor, "hwm");
  std::printf(
      "  peak memory above a process that only loaded the pair: %.1f MiB = %.2fx the float volume (%.1f MiB); "
      "whole process %.1f MiB = %.2fx\n",
      runPeak, runPeak / volumeMiB, volumeMiB, figure(run, "hwm"), figure(run, "hwm") / volumeMiB);
}

// The median of `values` (the mean of the two middle ones for an even
// count); 0 for none.
double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// Over the runs of one pair: the median and range of each stage and of the
// whole run over its cost volume, each ratio taken within its own run, and
// whether every run gave the same labels.
void printRepeatedRuns(const std::vector<Figures>& runs) {
  std::vector<double> costs, passes, ratios;
  bool sameLabels = true;
  for (const Figures& run : runs) {
    costs.push_back(figure(run, "costSeconds"));
    passes.push_back(figure(run, "optimizeSeconds"));
    ratios.push_back(wholeSeconds(run) / figure(run, "costSeconds"));
    sameLabels = sameLabels && figure(run, "hashHigh") == figure(runs.front(), "hashHigh") &&
                 figure(run, "hashLow") == figure(runs.front(), "hashLow");
  }
  const auto [lowest, highest] = std::minmax_element(ratios.begin(), ratios.end());
  std::printf(
      "  median of %zu runs: cost volume %.2f s, ten passes %.2f s, whole = %.2fx the cost volume (%.2f-%.2fx); "
      "labels %s\n",
      runs.size(), median(costs), median(passes), median(ratios), *lowest, *highest,
      sameLabels ? "the same in every run" : "DIFFER between runs");
}

int benchLargePair(const PairFiles& files, int threads, std::uint32_t seed, double memoryLimit, int repeats) {
  const int labels = files.labels > 0 ? files.labels : dialogDefaults().disparityRange;
  const Figures floor = inChild([&] {
    cv::Mat ref, target;
    if (!loadPair(files, ref, target)) return Figures{};
    return Figures{{"width", ref.cols}, {"height", ref.rows}};
  });
  if (floor.empty()) {
    std::fprintf(stderr, "orbelt-run-bench: %s: the pair could not be made (see above)\n", files.name.c_str());
    return 1;
  }
  const double width = figure(floor, "width");
  const double height = figure(floor, "height");
  const double volumeMiB = width * height * labels * sizeof(float) / (1024.0 * 1024.0);
  std::printf("\n%s %s: %.0f x %.0f (%.2f megapixels), %d labels, threads %d, seed %u", files.name.c_str(),
              files.title.c_str(), width, height, width * height / 1e6, labels, threads, seed);
  if (memoryLimit > 0) {
    std::printf(", budget %.2fx the float volume\n", memoryLimit);
  } else {
    std::printf(", budget what the machine has\n");
  }
  std::fflush(stdout);
  // On a shared machine one run's stages can swing by a quarter; repeated
  // runs, each in a child of its own, give the ratio's spread as well.
  std::vector<Figures> runs;
  for (int r = 0; r < repeats; ++r) {
    runs.push_back(inChild([&] { return runLargePair(files, threads, seed, labels, memoryLimit); }));
    if (runs.back().empty()) {
      std::fprintf(stderr, "orbelt-run-bench: %s: a measurement failed (see above)\n", files.name.c_str());
      return 1;
    }
    if (repeats > 1) std::printf("  run %d of %d\n", r + 1, repeats);
    printLargeRun(runs.back(), floor, volumeMiB, labels);
    std::fflush(stdout);
  }
  if (repeats > 1) printRepeatedRuns(runs);
  const Figures& run = runs.back();
  const Figures sgbm = inChild([&] { return runSgbm(files, labels); });
  if (sgbm.empty()) {
    std::fprintf(stderr, "orbelt-run-bench: %s: a measurement failed (see above)\n", files.name.c_str());
    return 1;
  }
  std::printf("  StereoSGBM %.2f s wall, %.1f MiB; orbelt/SGBM %.0fx wall\n", figure(sgbm, "wall"),
              figure(sgbm, "hwm") - figure(floor, "hwm"), figure(run, "wall") / figure(sgbm, "wall"));
  return 0;
}

}  // namespace

// Teddy enlarged as --scale and --sizes ask, each once per memory limit; an
// empty list with a message when a word is wrong (`ok` false).
struct LargeRuns {
  std::vector<PairFiles> pairs;
  bool ok = true;
};

LargeRuns enlargedTeddy(const std::string& scales, const std::string& sizes) {
  LargeRuns runs;
  if (scales.empty() && sizes.empty()) return runs;
  const std::string folder = std::string(ORBELT_SHARED_DATA_DIR) + "/middlebury2003/teddy";
  if (access((folder + "/im2.png").c_str(), R_OK) != 0) {
    std::printf("enlarged Teddy skipped: %s/im2.png is not there (the public data is absent)\n", folder.c_str());
    return runs;
  }
  const auto add = [&](double zoom, int labels, const std::string& title) {
    runs.pairs.push_back({"Teddy (middlebury2003/teddy im2, im6, enlarged)", folder + "/im2.png", folder + "/im6.png",
                          zoom, labels, true, title});
  };
  std::stringstream factors(scales);
  for (std::string factor; std::getline(factors, factor, ',');) {
    char* end = nullptr;
    const long n = std::strtol(factor.c_str(), &end, 10);
    if (factor.empty() || *end != '\0' || n < 2 || n > 8) {
      std::fprintf(stderr, "orbelt-run-bench: --scale takes factors 2..8, got \"%s\"\n", factor.c_str());
      return {{}, false};
    }
    add(static_cast<double>(n), static_cast<int>(n) * dialogDefaults().disparityRange,
        std::string("x").append(std::to_string(n)));
  }
  std::stringstream list(sizes);
  for (std::string size; std::getline(list, size, ',');) {
    char* end = nullptr;
    const double megapixels = std::strtod(size.c_str(), &end);
    const long labels = *end == ':' ? std::strtol(end + 1, &end, 10) : 0;
    if (*end != '\0' || !(megapixels >= 0.01 && megapixels <= 40) || labels < 1 || labels > 1000) {
      std::fprintf(stderr,
                   "orbelt-run-bench: --sizes takes megapixels:labels, 0.01..40 and 1..1000 (e.g. 1.5:140), got "
                   "\"%s\"\n",
                   size.c_str());
      return {{}, false};
    }
    // Teddy is 450 x 375.
    add(std::sqrt(megapixels * 1e6 / (450.0 * 375.0)), static_cast<int>(labels),
        std::string(size, 0, size.find(':')).append(" MP"));
  }
  return runs;
}

// The --memory-limits list: multiples of the float volume, 0 for none.
bool parseLimits(const std::string& text, std::vector<double>& limits) {
  limits.clear();
  std::stringstream list(text);
  for (std::string word; std::getline(list, word, ',');) {
    char* end = nullptr;
    const double limit = std::strtod(word.c_str(), &end);
    if (word.empty() || *end != '\0' || !(limit == 0 || (limit >= 1 && limit <= 100))) {
      std::fprintf(stderr, "orbelt-run-bench: --memory-limits takes 0 or 1..100 float volumes, got \"%s\"\n",
                   word.c_str());
      return false;
    }
    limits.push_back(limit);
  }
  return !limits.empty();
}

int main(int argc, char** argv) {
  int threads = 2;
  std::uint32_t seed = 1;
  std::string wanted = "default,teddy,cones";
  std::string scales;               // enlargements of Teddy to run as well, e.g. "2,4"
  std::string sizes;                // Teddy enlarged to megapixels:labels, e.g. "1.5:140,6:280"
  std::vector<double> limits{0.0};  // the enlarged runs' budgets in float volumes, 0: none
  int repeats = 1;                  // runs of each enlarged pair
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "orbelt-run-bench: %s needs a value\n", option.c_str());
      return 2;
    }
    const std::string value = argv[++i];
    char* end = nullptr;
    if (option == "--threads") {
      const long n = std::strtol(value.c_str(), &end, 10);
      if (*end != '\0' || n < 0 || n > 256) {
        std::fprintf(stderr, "orbelt-run-bench: --threads must be 0..256, got \"%s\"\n", value.c_str());
        return 2;
      }
      threads = static_cast<int>(n);
    } else if (option == "--seed") {
      const unsigned long n = std::strtoul(value.c_str(), &end, 10);
      if (*end != '\0' || value.empty() || n > 0xFFFFFFFFul) {
        std::fprintf(stderr, "orbelt-run-bench: --seed must be a 32-bit unsigned number, got \"%s\"\n", value.c_str());
        return 2;
      }
      seed = static_cast<std::uint32_t>(n);
    } else if (option == "--pairs") {
      wanted = value;
    } else if (option == "--scale") {
      scales = value;
    } else if (option == "--sizes") {
      sizes = value;
    } else if (option == "--memory-limits") {
      if (!parseLimits(value, limits)) return 2;
    } else if (option == "--repeat") {
      const long n = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || n < 1 || n > 20) {
        std::fprintf(stderr, "orbelt-run-bench: --repeat must be 1..20, got \"%s\"\n", value.c_str());
        return 2;
      }
      repeats = static_cast<int>(n);
    } else {
      std::fprintf(stderr,
                   "orbelt-run-bench: unknown option %s (options: --threads N --seed N --pairs default,teddy,cones "
                   "--scale 2,4 --sizes 1.5:140,6:280 --memory-limits 0,2.2 --repeat 3)\n",
                   option.c_str());
      return 2;
    }
  }

  std::vector<PairFiles> pairs;
  const std::string source = ORBELT_SOURCE_DIR;
  const std::string shared = ORBELT_SHARED_DATA_DIR;
  std::stringstream names(wanted);
  for (std::string name; std::getline(names, name, ',');) {
    if (name.empty()) continue;
    if (name == "default") {
      pairs.push_back({"default pair (data/Img0.png, data/Img1.png)", source + "/data/Img0.png",
                       source + "/data/Img1.png", 1.0, 0, false, ""});
    } else if (name == "teddy" || name == "cones") {
      const std::string title = name == "teddy" ? "Teddy" : "Cones";
      const std::string folder = shared + "/middlebury2003/" + name;
      if (access((folder + "/im2.png").c_str(), R_OK) != 0 || access((folder + "/im6.png").c_str(), R_OK) != 0) {
        std::printf("%s skipped: %s/im2.png and im6.png are not there (the public data is absent)\n", title.c_str(),
                    folder.c_str());
        continue;
      }
      pairs.push_back({title + " (middlebury2003/" + name + " im2, im6)", folder + "/im2.png", folder + "/im6.png", 1.0,
                       0, false, ""});
    } else {
      std::fprintf(stderr, "orbelt-run-bench: unknown pair \"%s\" (pairs: default, teddy, cones)\n", name.c_str());
      return 2;
    }
  }
  const LargeRuns large = enlargedTeddy(scales, sizes);
  if (!large.ok) return 2;
  std::printf("orbelt-run-bench: the whole run at the dialog's defaults beside OpenCV StereoSGBM\n");
  int status = 0;
  for (const PairFiles& pair : pairs) status = std::max(status, benchPair(pair, threads, seed, 0.0, 1));
  for (const PairFiles& pair : large.pairs)
    for (double limit : limits) status = std::max(status, benchPair(pair, threads, seed, limit, repeats));
  return status;
}
