// orbelt-ancc-bench: speed of computeCostVolume at the dialog's defaults
// (r 15, spatial sigma 14, colour sigma 3.8, logChrom) on a 450x375 pair with
// 60 labels (Teddy when the public data is there, else a synthetic pair) and
// on the repository's default pair with 70 labels.
//
// For each pair it runs, in one process: the plain cached sweep on one
// thread (the baseline), the blocked sweep on one thread, and the blocked
// sweep on all threads; for Teddy also the blocked sweep with the two costs
// blended half and half (logChromWeight 0.5), where no signal's correlations
// can be skipped (the baseline's work does not depend on the weight). It
// prints wall seconds, process CPU seconds and each worker thread's CPU
// seconds, pixel-label pairs per second, peak resident memory (VmHWM) and
// the speed-ups over the baseline, by wall time and by the CPU time of the
// busiest thread (what the wall time would be on otherwise idle cores).
// Then it times the whole-window dot-product kernel alone and prints its
// GFLOP/s against an FMA-only loop of the same width and against the
// nominal double-precision peak of the processor.
//
//   orbelt-ancc-bench [--threads N] [--skip-baseline]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "ancc/BlockedKernels.h"
#include "ancc/BlockedRowSweep.h"

using namespace orbelt;
using namespace orbelt::bench;

namespace {

struct CpuFacts {
  int vectorDoubles = 2;    // doubles per vector register the kernels use
  int datapathDoubles = 2;  // doubles one FMA unit handles per cycle
  int fmaUnits = 2;         // FMA units per core
  double mhz = 0;           // clock from /proc/cpuinfo (or cpufreq)
  int cores = 1;
  std::string flags;  // which flag gave the width
  std::string model;  // model name
};

CpuFacts readCpuFacts() {
  CpuFacts f;
  f.cores = std::max(1u, std::thread::hardware_concurrency());
  std::ifstream info("/proc/cpuinfo");
  std::string line, vendor;
  int family = 0;
  bool avx512 = false, avx2 = false, fma = false;
  auto value = [&] { return line.substr(line.find(':') + 2); };
  while (std::getline(info, line)) {
    if (line.rfind("flags", 0) == 0) {
      std::istringstream words(line.substr(line.find(':') + 1));
      std::string w;
      while (words >> w) {
        avx512 |= w == "avx512f";
        avx2 |= w == "avx2";
        fma |= w == "fma";
      }
    } else if (line.rfind("cpu MHz", 0) == 0 && f.mhz == 0) {
      f.mhz = std::atof(value().c_str());
    } else if (line.rfind("vendor_id", 0) == 0 && vendor.empty()) {
      vendor = value();
    } else if (line.rfind("cpu family", 0) == 0 && family == 0) {
      family = std::atoi(value().c_str());
    } else if (line.rfind("model name", 0) == 0 && f.model.empty()) {
      f.model = value();
    }
  }
  std::ifstream maxFreq("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq");
  double khz = 0;
  if (maxFreq >> khz && khz > 0) f.mhz = khz / 1000.0;
  f.vectorDoubles = avx512 ? 8 : avx2 ? 4 : 2;
  f.flags = avx512 ? "avx512f" : avx2 ? (fma ? "avx2+fma" : "avx2") : "sse2";
  // AMD cores up to family 25 (Zen 4) run AVX-512 on two 256-bit FMA units,
  // each 512-bit operation taking both; later AMD and Intel cores with
  // AVX-512 have 512-bit units.
  f.datapathDoubles = vendor == "AuthenticAMD" && family <= 25 ? std::min(f.vectorDoubles, 4) : f.vectorDoubles;
  return f;
}

using ProbeFn = double (*)(long long);
using DotsFn = void (*)(const kernels::DotArgs&);

struct VariantFns {
  DotsFn dots11;
  int (*blockColumns)(int);
  ProbeFn fmaProbe;
};

VariantFns variantFns(const std::string& name) {
  if (name == "avx512") return {kernels::avx512::dots11, kernels::avx512::blockColumns, kernels::avx512::fmaProbe};
  if (name == "avx2") return {kernels::avx2::dots11, kernels::avx2::blockColumns, kernels::avx2::fmaProbe};
  return {kernels::generic::dots11, kernels::generic::blockColumns, kernels::generic::fmaProbe};
}

// Times the whole-window dot-product kernel alone (one thread, r 15: 961
// offsets, 8 reference pixels against the widest block of target pixels
// per call) and a pure FMA loop of the same vector width, the peak that
// kernel can reach on this machine; both by CPU time.
void benchDotKernel(const CpuFacts& cpu) {
  const int offsets = 31 * 31;
  const std::string name = BlockedRowSweep::kernelName();
  const VariantFns fns = variantFns(name);
  const int count = fns.blockColumns(1);
  std::vector<double> ref(size_t(offsets) * kernels::kLanes), target(ref.size()), out(size_t(count) * kernels::kLanes);
  for (size_t i = 0; i < ref.size(); ++i) {
    ref[i] = double((i * 2654435761u) % 1000) * 1e-3;
    target[i] = double((i * 40503u) % 1000) * 1e-3;
  }
  kernels::DotArgs a;
  a.ref[0] = ref.data();
  a.target[0] = target.data();
  a.oLo = 0;
  a.oHi = offsets;
  a.c0 = 0;
  a.count = count;
  a.out = out.data();
  fns.dots11(a);  // warm up
  const int calls = 40000;
  const auto start = SteadyClock::now();
  const double cpuStart = processCpuSeconds();
  for (int i = 0; i < calls; ++i) fns.dots11(a);
  const double cpuTime = processCpuSeconds() - cpuStart;
  const double wall = secondsSince(start);
  const double flops = 2.0 * kernels::kLanes * count * offsets * double(calls);

  const long long rounds = 200000000;
  const double probeStart = processCpuSeconds();
  const double probeFlops = fns.fmaProbe(rounds);
  const double probeTime = processCpuSeconds() - probeStart;
  const double measuredPeak = probeFlops / probeTime;
  const double flopsPerCycle = 2.0 /*FMA*/ * cpu.datapathDoubles * cpu.fmaUnits;
  const double nominalPeak = cpu.mhz * 1e6 * flopsPerCycle;

  std::printf("\nwhole-window dot kernel (%s variant, one thread, r 15: %d offsets, 8 x %d pixels per call):\n",
              name.c_str(), offsets, count);
  std::printf(
      "  %.2f GFLOP/s by CPU time, %.2f by wall time (2 flops per offset per pixel pair and signal,\n"
      "  12 per offset per pair)\n",
      flops / cpuTime / 1e9, flops / wall / 1e9);
  std::printf(
      "  FMA-only loop of the same width: %.2f GFLOP/s per core by CPU time, the peak this machine attains\n"
      "  (%.0f flops per cycle at %.0f MHz, the clock it implies)\n",
      measuredPeak / 1e9, flopsPerCycle, measuredPeak / flopsPerCycle / 1e6);
  std::printf(
      "  nominal peak (%s) at the clock the system reports: %.0f MHz x %d FMA units x %d doubles each\n"
      "  (%s, %d-double vectors) x 2 flops = %.1f GFLOP/s per core, %.1f on %d cores\n",
      cpu.model.c_str(), cpu.mhz, cpu.fmaUnits, cpu.datapathDoubles, cpu.flags.c_str(), cpu.vectorDoubles,
      nominalPeak / 1e9, nominalPeak * cpu.cores / 1e9, cpu.cores);
  std::printf("  the kernel reaches %.0f %% of the FMA loop and %.0f %% of the nominal peak\n",
              100.0 * flops / cpuTime / measuredPeak, 100.0 * flops / cpuTime / nominalPeak);
}

}  // namespace

int main(int argc, char** argv) {
  int threads = 0;
  bool baseline = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--threads" && i + 1 < argc) threads = std::atoi(argv[++i]);
    else if (arg == "--skip-baseline") baseline = false;
    else {
      std::fprintf(stderr, "usage: orbelt-ancc-bench [--threads N] [--skip-baseline]\n");
      return 2;
    }
  }
  const CpuFacts cpu = readCpuFacts();

  const std::string data = ORBELT_SHARED_DATA_DIR;
  StereoPair teddy = loadPair("teddy", data + "/middlebury2003/teddy/im2.png", data + "/middlebury2003/teddy/im6.png");
  if (teddy.ref.empty() || teddy.target.empty()) {
    std::printf("Teddy not found under %s: using a synthetic 450x375 pair\n", data.c_str());
    teddy = syntheticPair(450, 375, 12);
  }
  const std::string source = ORBELT_SOURCE_DIR;
  const StereoPair defaults = loadPair("default pair", source + "/data/Img0.png", source + "/data/Img1.png");

  struct Case {
    const StereoPair* pair;
    int labels;
  };
  std::vector<Case> cases = {{&teddy, 60}};
  if (defaults.ref.empty() || defaults.target.empty())
    std::printf("skipping the default pair: %s/data/Img0.png or Img1.png is missing\n", source.c_str());
  else cases.push_back({&defaults, 70});

  std::printf("kernel variant %s; %d hardware threads; load average %s at the start\n", BlockedRowSweep::kernelName(),
              cpu.cores, loadAverage().c_str());
  std::printf("%-13s %8s %4s %-19s %7s %7s %-12s %8s %8s %7s %7s\n", "pair", "size", "lab", "sweep", "wall s", "cpu s",
              "thread cpu s", "Mpairs/s", "peak MiB", "x wall", "x cpu");
  for (const Case& c : cases) {
    const double pairs = double(c.pair->ref.cols) * c.pair->ref.rows * c.labels;
    const std::string size = std::to_string(c.pair->ref.cols) + "x" + std::to_string(c.pair->ref.rows);
    struct Variant {
      const char* name;
      bool baseline;
      int threads;
      float logChromWeight;
    };
    std::vector<Variant> variants;
    if (baseline) variants.push_back({"baseline 1 thr", true, 1, 1.0f});
    variants.push_back({"blocked 1 thr", false, 1, 1.0f});
    variants.push_back({"blocked all thr", false, threads, 1.0f});
    if (c.pair == &teddy) {
      variants.push_back({"blocked 1 thr, 0.5", false, 1, 0.5f});
      variants.push_back({"blocked all, 0.5", false, threads, 0.5f});
    }
    double baseWall = 0, baseCpu = 0;
    for (const Variant& v : variants) {
      MatcherRunSettings settings;
      settings.labels = c.labels;
      settings.threads = v.threads;
      settings.baseline = v.baseline;
      settings.logChromWeight = v.logChromWeight;
      resetPeakMemory();
      const MatcherRunResult run = runMatcher(*c.pair, settings);
      if (run.seconds < 0) return 1;
      std::string perThread;
      double busiest = 0;
      for (double t : run.threadCpuSeconds) {
        char one[16];
        std::snprintf(one, sizeof one, "%s%.2f", perThread.empty() ? "" : "+", t);
        perThread += one;
        busiest = std::max(busiest, t);
      }
      if (v.baseline) baseWall = run.seconds, baseCpu = busiest;
      char ratios[64] = "";
      if (baseWall > 0 && !v.baseline)
        std::snprintf(ratios, sizeof ratios, "%7.1f %7.1f", baseWall / run.seconds, baseCpu / busiest);
      std::printf("%-13s %8s %4d %-19s %7.2f %7.2f %-12s %8.3f %8.1f %s\n", c.pair->name.c_str(), size.c_str(),
                  c.labels, v.name, run.seconds, run.cpuSeconds, perThread.c_str(), pairs / run.seconds / 1e6,
                  peakMemoryMiB(), ratios);
      std::fflush(stdout);
    }
  }
  std::printf("load average %s at the end\n", loadAverage().c_str());
  benchDotKernel(cpu);
  return 0;
}
