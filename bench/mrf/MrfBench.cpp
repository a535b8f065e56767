// orbelt-mrf-bench: time and memory of the optimizer's passes on a run shaped
// like the pipeline's, beside another build of the same bench (an earlier
// commit's, made by tools/build-reference.sh) run side by side.
//
// The run: a Table data term, the dialog's smoothness (squared label distance,
// truncated at 5, lambda 0.99), all labels reset to 0, then --passes
// optimize(1) calls with label orders seeded by --seed, so both builds do the
// same work, as the pipeline runs its optimizer.
//
// The costs, one of:
//  - synthetic (default): a --width x --height x --labels volume (450 x 375 x
//    60 by default, Teddy's size at the dialog's range): a scene of slanted
//    planes and boxes, cost |d - true| / 4 clipped at 2 plus hashed noise;
//  - --costs FILE.npy: a float32 array (height, width, labels), such as
//    `orbelt-cli --save-cost` writes;
//  - --pair default|teddy|cones [--scale N | --upscale N]: the matcher's
//    costs at the dialog's defaults on that pair (Teddy and Cones from the
//    public data), the images shrunk N times (area average) or enlarged N
//    times (bicubic), and the labels with them: Teddy --upscale 4 is the
//    2.7-megapixel, 280-label run. --keep-costs FILE.npy also leaves those
//    costs in FILE, so that later runs take them with --costs (a 2.7-MP
//    volume is 3 GB: keep it in /tmp, and delete it when done).
//
// Every measured run is a child process of its own (this program with
// --emit, or the reference build's), so each has its own peak memory; a
// pair's costs are computed here once and handed to both as a scratch file,
// so the reference build needs only its commit's optimizer; with
// --reference the two builds alternate, --rounds times, the first one to go
// switching every round, and each pass keeps its lowest time over the rounds:
// a change in the machine's load hits both alike. Both builds run the
// optimizer the way the pipeline does, with its own graph handling, on
// --threads threads (default: one per hardware thread, as the pipeline); a
// build whose optimizer has no threads runs on one, and the header line
// says so: give --threads 1 to set like against like. Labels are compared pass by pass
// through their hash; where they differ, the energies are shown side by side.
//
// --scaling runs the passes on one pair (--pair, default Teddy when present)
// at 1/4, 1/2 and full size with labels in proportion, so the growth of the
// time with the pixels shows.
//
//   cmake --build build --target orbelt-mrf-bench -j2
//   build/bin/orbelt-mrf-bench [--width 450 --height 375 --labels 60 | --costs FILE.npy |
//                               --pair NAME [--scale N | --upscale N] [--keep-costs FILE.npy]]
//                              [--passes 10] [--seed 7] [--reference DIR/bin] [--rounds 2] [--scaling]
//                              [--threads N] [--handover]
//
// --handover hands the costs over to the optimizer (adoptDataCosts) instead
// of lending it the table, as a run that keeps no second copy does; a build
// whose optimizer cannot take them lends them.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "mrf/AlphaExpansion.h"

// The matcher's costs of a pair are computed by the program that compares
// (always this tree's build, through the run's own route) and handed to both
// builds' runs as a file, so that a reference build needs nothing but the
// optimizer from its commit.
#if __has_include("pipeline/Matcher.h")
#define ORBELT_BENCH_COMPUTES_PAIR_COSTS 1
#include <opencv2/imgproc.hpp>

#include "app/StereoParams.h"
#include "io/ImageFile.h"
#include "pipeline/RunStereo.h"
#endif

namespace {

[[noreturn]] void refuse(const std::string& message) {
  std::fprintf(stderr, "orbelt-mrf-bench: %s\n", message.c_str());
  std::exit(2);
}

// ------------------------------------------------------------------ costs

// The true label of a pixel in a scene of three planes and two boxes.
int trueLabel(int x, int y, int width, int height, int labels) {
  const double u = static_cast<double>(x) / width;
  const double v = static_cast<double>(y) / height;
  double d = 0.15 + 0.1 * v;                                            // floor, rising towards the bottom
  if (u > 0.1 && u < 0.55 && v > 0.15 && v < 0.7) d = 0.35 + 0.25 * u;  // slanted wall
  if (u > 0.6 && u < 0.9 && v > 0.3 && v < 0.8) d = 0.8;                // near box
  if (u > 0.25 && u < 0.4 && v > 0.5 && v < 0.9) d = 0.6;               // middle box
  const int label = static_cast<int>(d * (labels - 1) + 0.5);
  return label < 0 ? 0 : (label >= labels ? labels - 1 : label);
}

float noise(int x, int y, int d) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u ^
                    static_cast<std::uint32_t>(d) * 83492791u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<float>(h % 1024u) / 1024.0f;
}

std::vector<float> syntheticCosts(int width, int height, int labels) {
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<float> costs(pixels * static_cast<std::size_t>(labels));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int truth = trueLabel(x, y, width, height, labels);
      float* pixelCosts = &costs[(static_cast<std::size_t>(y) * width + x) * labels];
      for (int d = 0; d < labels; ++d) {
        const float distance = 0.25f * static_cast<float>(std::abs(d - truth));
        pixelCosts[d] = (distance < 2.0f ? distance : 2.0f) + 0.8f * noise(x, y, d);
      }
    }
  }
  return costs;
}

// Reads a little-endian float32 C-order .npy of shape (height, width, labels).
std::vector<float> readCostFile(const std::string& path, int& width, int& height, int& labels) {
  std::ifstream in(path, std::ios::binary);
  if (!in) refuse("cannot open the cost file " + path);
  char magic[8] = {};
  in.read(magic, 8);
  if (!in || std::memcmp(magic, "\x93NUMPY", 6) != 0) refuse(path + " is not a .npy file");
  std::uint32_t headerLength = 0;
  if (magic[6] == 1) {
    unsigned char bytes[2] = {};
    in.read(reinterpret_cast<char*>(bytes), 2);
    headerLength = bytes[0] | (bytes[1] << 8);
  } else {
    unsigned char bytes[4] = {};
    in.read(reinterpret_cast<char*>(bytes), 4);
    headerLength = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  }
  std::string header(headerLength, '\0');
  in.read(header.data(), headerLength);
  if (!in) refuse(path + ": the .npy header is cut short");
  if (header.find("'<f4'") == std::string::npos) refuse(path + ": the costs must be little-endian float32 ('<f4')");
  if (header.find("'fortran_order': False") == std::string::npos) refuse(path + ": the costs must be in C order");
  long h = 0, w = 0, l = 0;
  const std::size_t shape = header.find("'shape': (");
  if (shape == std::string::npos || std::sscanf(header.c_str() + shape, "'shape': (%ld, %ld, %ld)", &h, &w, &l) != 3 ||
      h <= 0 || w <= 0 || l <= 0 || h > 100000 || w > 100000 || l > 10000) {
    refuse(path + ": the costs must have the shape (height, width, labels)");
  }
  height = static_cast<int>(h);
  width = static_cast<int>(w);
  labels = static_cast<int>(l);
  std::vector<float> costs(static_cast<std::size_t>(h) * static_cast<std::size_t>(w) * static_cast<std::size_t>(l));
  in.read(reinterpret_cast<char*>(costs.data()), static_cast<std::streamsize>(costs.size() * sizeof(float)));
  if (!in) refuse(path + ": the file holds fewer costs than its shape says");
  return costs;
}

// The reference and target image files of a named pair; empty when absent.
std::pair<std::string, std::string> pairFiles(const std::string& name) {
  const std::string source = ORBELT_SOURCE_DIR;
  const std::string shared = ORBELT_SHARED_DATA_DIR;
  std::pair<std::string, std::string> files;
  if (name == "default") files = {source + "/data/Img0.png", source + "/data/Img1.png"};
  else if (name == "teddy")
    files = {shared + "/middlebury2003/teddy/im2.png", shared + "/middlebury2003/teddy/im6.png"};
  else if (name == "cones")
    files = {shared + "/middlebury2003/cones/im2.png", shared + "/middlebury2003/cones/im6.png"};
  else refuse("unknown pair \"" + name + "\" (pairs: default, teddy, cones)");
  if (access(files.first.c_str(), R_OK) != 0 || access(files.second.c_str(), R_OK) != 0) return {};
  return files;
}

#ifdef ORBELT_BENCH_COMPUTES_PAIR_COSTS
// The matcher's costs at the dialog's defaults on a pair shrunk `scale`
// times or enlarged `upscale` times, with the label range scaled alike; the
// seconds the matcher took.
std::vector<float> pairCosts(const std::pair<std::string, std::string>& files, const std::string& name, int scale,
                             int upscale, int range, int& width, int& height, int& labels, double& seconds) {
  if (files.first.empty()) refuse("the pair " + name + " is not there (the public data is absent)");
  orbelt::Expected<cv::Mat> loadedRef = orbelt::loadInputImage(files.first, "reference");
  orbelt::Expected<cv::Mat> loadedTarget = orbelt::loadInputImage(files.second, "target");
  if (!loadedRef) refuse(loadedRef.error().summary());
  if (!loadedTarget) refuse(loadedTarget.error().summary());
  cv::Mat ref = *loadedRef;
  cv::Mat target = *loadedTarget;
  if (scale > 1) {
    cv::resize(ref, ref, cv::Size(ref.cols / scale, ref.rows / scale), 0, 0, cv::INTER_AREA);
    cv::resize(target, target, cv::Size(target.cols / scale, target.rows / scale), 0, 0, cv::INTER_AREA);
  }
  if (upscale > 1) {
    cv::resize(ref, ref, cv::Size(ref.cols * upscale, ref.rows * upscale), 0, 0, cv::INTER_CUBIC);
    cv::resize(target, target, cv::Size(target.cols * upscale, target.rows * upscale), 0, 0, cv::INTER_CUBIC);
  }
  orbelt::StereoParams params;
  params.sigmaP = orbelt::sigmaPPreset(params.halfWinSize);
  params.disparityRange = range > 0 ? range : std::max(2, (params.disparityRange + scale / 2) / scale) * upscale;
  width = ref.cols;
  height = ref.rows;
  labels = params.disparityRange;
  orbelt::StereoRequest request;
  request.left = ref;
  request.right = target;
  request.options = orbelt::stereoOptionsFor(params);
  request.options.costsOnly = true;
  request.options.useThreads(2);
  orbelt::Expected<orbelt::StereoResult> costs = orbelt::runStereo(request);
  if (!costs) refuse(name + ": " + costs.error().summary());
  seconds = costs->left.costSeconds;
  return std::move(costs->left.costs);
}

// Writes costs as a float32 .npy of shape (height, width, labels).
void writeCostFile(const std::string& path, const std::vector<float>& costs, int width, int height, int labels) {
  std::string header = "{'descr': '<f4', 'fortran_order': False, 'shape': (" + std::to_string(height) + ", " +
                       std::to_string(width) + ", " + std::to_string(labels) + "), }";
  while ((10 + header.size() + 1) % 64 != 0) header += ' ';
  header += '\n';
  std::ofstream out(path, std::ios::binary);
  const unsigned char preamble[10] = {0x93,
                                      'N',
                                      'U',
                                      'M',
                                      'P',
                                      'Y',
                                      1,
                                      0,
                                      static_cast<unsigned char>(header.size() & 0xFF),
                                      static_cast<unsigned char>(header.size() >> 8)};
  out.write(reinterpret_cast<const char*>(preamble), sizeof preamble);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  out.write(reinterpret_cast<const char*>(costs.data()), static_cast<std::streamsize>(costs.size() * sizeof(float)));
  if (!out) refuse("cannot write the cost file " + path);
}
#endif

// The optimizer's calls return a Status in later trees and nothing in
// earlier ones; a run whose optimizer refuses has no figures to give.
template <class Call>
void mustSucceed(Call&& call) {
  if constexpr (std::is_void_v<decltype(call())>) {
    call();
  } else if (const auto done = call(); !done) {
    refuse(done.error().summary());
  }
}
// An energy sum, as a double or as an Expected<double>.
template <class Sum>
double sumValue(const Sum& sum) {
  if constexpr (std::is_arithmetic_v<Sum>) {
    return sum;
  } else {
    if (!sum) refuse(sum.error().summary());
    return *sum;
  }
}

// ------------------------------------------------------------ measurement

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A memory figure of this process image from /proc/self/status, in MiB:
// "VmHWM:" (the peak; unlike ru_maxrss it starts afresh at exec, so a child
// does not inherit its parent's) or "VmRSS:" (now).
double statusMiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::strtod(line.c_str() + std::strlen(field), nullptr) / 1024.0;  // kB
  }
  return 0.0;
}

struct Options {
  int width = 450;
  int height = 375;
  int labels = 60;
  int passes = 10;
  int seed = 7;
  std::string costFile;
  std::string pair;
  std::string leftImage;  // with rightImage: a pair from these files instead of a named one
  std::string rightImage;
  int range = 0;           // the pair's labels (0: the dialog's, scaled with the images)
  bool costsOnly = false;  // compute and keep the pair's costs, and stop
  int scale = 1;
  int upscale = 1;
  std::string keptCosts;  // where to leave the pair's costs, if anywhere
  std::string reference;  // bin folder of another build
  int rounds = 2;
  bool scaling = false;
  bool emit = false;
  bool handover = false;  // hand the costs over to the optimizer (builds that can), rather than lend them
  int threads = 0;        // the optimizer's threads, 0: one per hardware thread, as the pipeline runs it
};

// Gives the optimizer `wanted` threads (0: one per hardware thread) and
// returns how many it runs on: an earlier build's optimizer may have no
// threads, and then runs on one. (A template, so that the test for the call
// compiles in either build.)
// Hands the costs over to the optimizer instead of lending it the table, as
// a run that keeps no copy of its costs does; returns whether the build can
// (an earlier build's optimizer only borrows). A template, as giveThreads.
template <typename Solver>
bool handCostsOver(Solver& solver, std::vector<float>& costs) {
  if constexpr (requires { solver.adoptDataCosts(std::move(costs)); }) {
    mustSucceed([&] { return solver.adoptDataCosts(std::move(costs)); });
    costs = {};
    return true;
  } else {
    return false;
  }
}

// Labels whose flow the optimizer kept at the end, -1 for a build that does
// not say. A template, as giveThreads.
template <typename Solver>
int keptLabels(const Solver& solver) {
  if constexpr (requires { solver.keptFlowLabels(); }) {
    return solver.keptFlowLabels();
  } else {
    return -1;
  }
}

template <typename Solver>
int giveThreads(Solver& solver, int wanted) {
  if constexpr (requires { solver.setThreadCount(1); }) {
    const int threads = wanted > 0 ? wanted : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    solver.setThreadCount(threads);
    return threads;
  } else {
    return 1;
  }
}

// The arguments that make a child measure the same run.
std::vector<std::string> runArguments(const Options& o) {
  std::vector<std::string> args = {"--passes",  std::to_string(o.passes), "--seed", std::to_string(o.seed),
                                   "--threads", std::to_string(o.threads)};
  if (o.handover) args.push_back("--handover");
  if (!o.costFile.empty()) {
    args.insert(args.end(), {"--costs", o.costFile});
  } else if (!o.pair.empty()) {
    args.insert(args.end(), {"--pair", o.pair, "--scale", std::to_string(o.scale)});
  } else {
    args.insert(args.end(), {"--width", std::to_string(o.width), "--height", std::to_string(o.height), "--labels",
                             std::to_string(o.labels)});
  }
  return args;
}

// --emit: one run in this process, its figures on stdout as "key value ..."
// lines, one per pass and one for the run.
int emitRun(const Options& o) {
  // What the program takes before any work (its libraries differ between
  // builds): the peak is reported above it.
  const double floorMiB = statusMiB("VmRSS:");
  int width = o.width, height = o.height, labels = o.labels;
  double costSeconds = 0.0;
  if (!o.pair.empty()) refuse("--emit takes the pair's costs as --costs FILE.npy");
  std::vector<float> costs =
      !o.costFile.empty() ? readCostFile(o.costFile, width, height, labels) : syntheticCosts(width, height, labels);
  orbelt::DataTerm data;
  data.costTable = costs.data();
  data.form = orbelt::CostForm::Table;
  orbelt::SmoothTerm smooth;
  smooth.form = orbelt::CostForm::TruncatedPower;
  smooth.exponent = 2;
  smooth.maxCost = 5.0f;
  smooth.lambda = 0.99f;
  orbelt::EnergyTerms terms{&data, &smooth};
  orbelt::AlphaExpansion solver(width, height, labels, &terms);
  solver.fixLabelOrderSeed(static_cast<std::uint32_t>(o.seed));
  const int threads = giveThreads(solver, o.threads);
  mustSucceed([&] { return solver.initialize(); });
  if (o.handover) handCostsOver(solver, costs);
  solver.resetLabels();
  std::printf("run width %d height %d labels %d costSeconds %.6f threads %d\n", width, height, labels, costSeconds,
              threads);
  for (int pass = 1; pass <= o.passes; ++pass) {
    const std::int64_t solvedBefore = solver.moveCounts().solved;
    const double wall = wallSeconds();
    const double cpu = cpuSeconds();
    mustSucceed([&] { return solver.optimize(1, nullptr); });
    const double passWall = wallSeconds() - wall;
    const double passCpu = cpuSeconds() - cpu;
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a over the labels
    for (int p = 0; p < width * height; ++p) {
      h ^= static_cast<std::uint64_t>(solver.labelAt(p));
      h *= 1099511628211ull;
    }
    std::printf("pass %d wall %.6f cpu %.6f solved %lld energy %.17g hash %" PRIu64 "\n", pass, passWall, passCpu,
                static_cast<long long>(solver.moveCounts().solved - solvedBefore),
                sumValue(solver.dataCostSum()) + static_cast<float>(sumValue(solver.pairCostSum())), h);
  }
  std::printf("end peakMiB %.3f keptLabels %d\n", statusMiB("VmHWM:") - floorMiB, keptLabels(solver));
  return 0;
}

struct PassFigures {
  double wall = 0, cpu = 0, energy = 0;
  long long solved = 0;
  std::uint64_t hash = 0;
};
struct RunFigures {
  bool ok = false;
  int width = 0, height = 0, labels = 0;
  double costSeconds = 0, peakMiB = 0;
  int threads = 1;      // threads the optimizer was given (1 for a build without threads)
  int keptLabels = -1;  // labels that kept their flows at the end (-1: the build does not say)
  std::vector<PassFigures> passes;
};

// Runs `program --emit args` and reads its figures.
RunFigures runChild(const std::string& program, const std::vector<std::string>& args) {
  RunFigures figures;
  int channel[2];
  if (pipe(channel) != 0) return figures;
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) return figures;
  if (child == 0) {
    close(channel[0]);
    dup2(channel[1], STDOUT_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    argv.push_back(const_cast<char*>("--emit"));
    argv.push_back(const_cast<char*>("1"));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    std::perror(("orbelt-mrf-bench: cannot run " + program).c_str());
    _exit(127);
  }
  close(channel[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return figures;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream in(line);
    std::string kind, key;
    in >> kind;
    if (kind == "run") {
      in >> key >> figures.width >> key >> figures.height >> key >> figures.labels >> key >> figures.costSeconds >>
          key >> figures.threads;
    } else if (kind == "pass") {
      PassFigures p;
      int number = 0;
      in >> number >> key >> p.wall >> key >> p.cpu >> key >> p.solved >> key >> p.energy >> key >> p.hash;
      figures.passes.push_back(p);
    } else if (kind == "end") {
      in >> key >> figures.peakMiB;
      if (!(in >> key >> figures.keptLabels)) figures.keptLabels = -1;
      figures.ok = true;
    }
  }
  return figures;
}

// Keeps, pass by pass, the lower times of two runs of the same build.
void keepFaster(RunFigures& best, const RunFigures& run) {
  if (!best.ok) {
    best = run;
    return;
  }
  for (std::size_t k = 0; k < best.passes.size() && k < run.passes.size(); ++k) {
    best.passes[k].wall = std::min(best.passes[k].wall, run.passes[k].wall);
    best.passes[k].cpu = std::min(best.passes[k].cpu, run.passes[k].cpu);
  }
  best.peakMiB = std::max(best.peakMiB, run.peakMiB);
}

double totalWall(const RunFigures& r) {
  double s = 0;
  for (const auto& p : r.passes) s += p.wall;
  return s;
}
double totalCpu(const RunFigures& r) {
  double s = 0;
  for (const auto& p : r.passes) s += p.cpu;
  return s;
}

std::string selfProgram() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) refuse("cannot find this program's own path");
  path[n] = '\0';
  return path;
}

// Measures one run of this build, and of the reference when given, and
// prints the pass-by-pass comparison. Returns whether the labels agreed.
bool compareRun(const Options& o, RunFigures& now, RunFigures& before) {
  const std::string self = selfProgram();
  const std::string reference = o.reference.empty() ? "" : o.reference + "/orbelt-mrf-bench";
  std::vector<std::string> args = runArguments(o);
  std::string handedCosts;  // the pair's costs, as a file both builds read
  double costSeconds = 0.0;
  if (!o.pair.empty()) {
#ifdef ORBELT_BENCH_COMPUTES_PAIR_COSTS
    int width = 0, height = 0, labels = 0;
    {
      const auto files = o.leftImage.empty() ? pairFiles(o.pair) : std::make_pair(o.leftImage, o.rightImage);
      const std::vector<float> costs =
          pairCosts(files, o.pair, o.scale, o.upscale, o.range, width, height, labels, costSeconds);
      std::printf("cost volume of the pair: %d x %d x %d, %.3f s wall (the matcher on 2 threads)\n", width, height,
                  labels, costSeconds);
      if (o.costsOnly) {
        if (o.keptCosts.empty()) refuse("--costs-only needs --keep-costs FILE.npy");
        writeCostFile(o.keptCosts, costs, width, height, labels);
        return true;
      }
      if (o.keptCosts.empty()) {
        char path[] = "/tmp/orbelt-mrf-bench-costs-XXXXXX";
        const int fd = mkstemp(path);
        if (fd < 0) refuse("cannot make a scratch file in /tmp for the costs");
        close(fd);
        handedCosts = path;
      }
      writeCostFile(o.keptCosts.empty() ? handedCosts : o.keptCosts, costs, width, height, labels);
    }
    Options handed = o;
    handed.pair.clear();
    handed.costFile = o.keptCosts.empty() ? handedCosts : o.keptCosts;
    args = runArguments(handed);
#else
    refuse("this build computes no pair costs; give them with --costs FILE.npy");
#endif
  }
  for (int round = 0; round < o.rounds; ++round) {
    const bool referenceFirst = round % 2 == 0;
    for (int turn = 0; turn < 2; ++turn) {
      const bool isReference = (turn == 0) == referenceFirst;
      if (isReference && reference.empty()) continue;
      const RunFigures run = runChild(isReference ? reference : self, args);
      if (!run.ok) {
        if (!handedCosts.empty()) std::remove(handedCosts.c_str());
        refuse(std::string("the ") + (isReference ? "reference" : "this build's") + " run failed");
      }
      keepFaster(isReference ? before : now, run);
    }
  }
  if (!handedCosts.empty()) std::remove(handedCosts.c_str());
  now.costSeconds = before.costSeconds = costSeconds;
  std::printf("%d x %d grid, %d labels; %d passes of optimize(1), seed %d; %s\n", now.width, now.height, now.labels,
              o.passes, o.seed,
              !o.costFile.empty() ? o.costFile.c_str()
              : !o.pair.empty()
                  ? (o.pair + " pair, " +
                     (o.upscale > 1 ? std::to_string(o.upscale) + "x" : "1/" + std::to_string(o.scale)) + " size")
                        .c_str()
                  : "synthetic costs");
  std::printf(
      "times: seconds per pass, the lowest of %d runs; both builds as the pipeline runs the optimizer "
      "(its own graph handling); optimizer threads: this build %d%s\n",
      o.rounds, now.threads,
      !before.ok                      ? ""
      : before.threads == now.threads ? ", the reference the same (like with like)"
                                      : (", the reference " + std::to_string(before.threads) +
                                         " (it has no threads; --threads 1 compares like with like)")
                                            .c_str());
  bool same = true;
  if (!before.ok) {
    std::printf("pass   wall s    cpu s  solved  energy\n");
    for (std::size_t k = 0; k < now.passes.size(); ++k) {
      const PassFigures& p = now.passes[k];
      std::printf("%4zu %8.3f %8.3f %7lld  %.6f\n", k + 1, p.wall, p.cpu, p.solved, p.energy);
    }
    std::printf("total %8.3f %8.3f   peak memory above the program's start (costs, optimizer) %.1f MiB\n",
                totalWall(now), totalCpu(now), now.peakMiB);
    std::printf("labels that kept their flows: %d of %d\n", now.keptLabels, now.labels);
    return true;
  }
  std::printf(
      "pass | reference wall  cpu | this build wall  cpu | ratio wall  cpu | solved (this/ref) | energy (this build)   "
      "labels\n");
  for (std::size_t k = 0; k < now.passes.size() && k < before.passes.size(); ++k) {
    const PassFigures& a = before.passes[k];
    const PassFigures& b = now.passes[k];
    const bool identical = a.hash == b.hash;
    same = same && identical;
    std::printf("%4zu | %9.3f %8.3f | %10.3f %8.3f | %7.2fx %6.2fx | %8lld/%-8lld | %.6f   %s", k + 1, a.wall, a.cpu,
                b.wall, b.cpu, a.wall / b.wall, a.cpu / b.cpu, b.solved, a.solved, b.energy,
                identical ? "same" : "DIFFER");
    if (!identical) std::printf(" (reference energy %.6f, relative %.2e)", a.energy, (b.energy - a.energy) / a.energy);
    std::printf("\n");
  }
  std::printf("total | %9.3f %8.3f | %10.3f %8.3f | %7.2fx %6.2fx (reference / this build: above 1 is faster)\n",
              totalWall(before), totalCpu(before), totalWall(now), totalCpu(now), totalWall(before) / totalWall(now),
              totalCpu(before) / totalCpu(now));
  std::printf(
      "peak memory above each program's own start (costs, optimizer): reference %.1f MiB, this build %.1f MiB "
      "(%.2fx)\n",
      before.peakMiB, now.peakMiB, now.peakMiB / before.peakMiB);
  std::printf("labels that kept their flows: reference %d, this build %d, of %d (-1: the build does not say)\n",
              before.keptLabels, now.keptLabels, now.labels);
  std::printf("labels after every pass: %s\n", same ? "identical" : "DIFFERENT (see the energies)");
  return same;
}

int wholeArgument(const std::string& name, const char* text, long least) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < least || value > 1000000) {
    refuse(name + " must be a whole number of at least " + std::to_string(least) + ", got \"" + text + "\"");
  }
  return static_cast<int>(value);
}

int positiveArgument(const std::string& name, const char* text) { return wholeArgument(name, text, 1); }
int nonNegativeArgument(const std::string& name, const char* text) { return wholeArgument(name, text, 0); }

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--scaling") {
      o.scaling = true;
      continue;
    }
    if (option == "--handover") {
      o.handover = true;
      continue;
    }
    if (option == "--costs-only") {
      o.costsOnly = true;
      continue;
    }
    if (i + 1 >= argc) refuse(option + " needs a value");
    const char* value = argv[++i];
    if (option == "--width") o.width = positiveArgument(option, value);
    else if (option == "--height") o.height = positiveArgument(option, value);
    else if (option == "--labels") o.labels = positiveArgument(option, value);
    else if (option == "--passes") o.passes = positiveArgument(option, value);
    else if (option == "--seed") o.seed = positiveArgument(option, value);
    else if (option == "--scale") o.scale = positiveArgument(option, value);
    else if (option == "--upscale") o.upscale = positiveArgument(option, value);
    else if (option == "--keep-costs") o.keptCosts = value;
    else if (option == "--rounds") o.rounds = positiveArgument(option, value);
    else if (option == "--costs") o.costFile = value;
    else if (option == "--pair") o.pair = value;
    else if (option == "--left") o.leftImage = value;
    else if (option == "--right") o.rightImage = value;
    else if (option == "--range") o.range = positiveArgument(option, value);
    else if (option == "--reference") o.reference = value;
    else if (option == "--emit") o.emit = true;
    else if (option == "--threads") o.threads = nonNegativeArgument(option, value);
    else
      refuse("unknown option " + option +
             " (options: --width --height --labels --costs FILE.npy --pair default|teddy|cones --scale N --upscale N "
             "--keep-costs FILE.npy --passes --seed --reference BINDIR --rounds N --scaling --threads N --handover)");
  }
  if (o.emit) return emitRun(o);
  if (o.leftImage.empty() != o.rightImage.empty()) refuse("--left and --right go together");
  if (!o.leftImage.empty()) o.pair = "files";
  if (!o.reference.empty() && access((o.reference + "/orbelt-mrf-bench").c_str(), X_OK) != 0) {
    refuse("no orbelt-mrf-bench in " + o.reference + " (tools/build-reference.sh builds one)");
  }

  if (!o.scaling) {
    RunFigures now, before;
    return compareRun(o, now, before) ? 0 : 1;
  }

  if (o.pair.empty()) o.pair = pairFiles("teddy").first.empty() ? "default" : "teddy";
  std::printf("scaling: the %s pair at 1/4, 1/2 and full size, labels in proportion\n\n", o.pair.c_str());
  struct Step {
    int scale;
    RunFigures now, before;
  };
  std::vector<Step> steps;
  bool same = true;
  for (const int scale : {4, 2, 1}) {
    o.scale = scale;
    Step step{scale, {}, {}};
    same = compareRun(o, step.now, step.before) && same;
    std::printf("\n");
    steps.push_back(step);
  }
  std::printf("size  pixels     labels  pixels*labels  matcher s  passes cpu s  growth (cpu, vs the step before)%s\n",
              o.reference.empty() ? "" : "  reference cpu s  growth");
  for (std::size_t k = 0; k < steps.size(); ++k) {
    const Step& s = steps[k];
    const double pixels = static_cast<double>(s.now.width) * s.now.height;
    std::printf("1/%d  %9.0f  %6d  %13.0f  %9.2f  %12.3f", s.scale, pixels, s.now.labels, pixels * s.now.labels,
                s.now.costSeconds, totalCpu(s.now));
    if (k > 0) {
      const Step& p = steps[k - 1];
      const double pixelGrowth = pixels / (static_cast<double>(p.now.width) * p.now.height);
      std::printf("  x%.2f (pixels x%.2f, labels x%.2f)", totalCpu(s.now) / totalCpu(p.now), pixelGrowth,
                  static_cast<double>(s.now.labels) / p.now.labels);
      if (s.before.ok) std::printf("  %12.3f  x%.2f", totalCpu(s.before), totalCpu(s.before) / totalCpu(p.before));
    } else if (s.before.ok) {
      std::printf("  %*s  %12.3f", 36, "", totalCpu(s.before));
    }
    std::printf("\n");
  }
  return same ? 0 : 1;
}
