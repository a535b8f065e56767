#pragma once
// What the matcher's benchmark programs share: finding the stereo pairs,
// timing a matcher run, and reading the process's peak memory.
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "ancc/AnccMatcher.h"
#include "platform/Timing.h"

namespace orbelt::bench {

struct StereoPair {
  std::string name;
  cv::Mat ref, target;
};

// Reads a pair unchanged; empty images when a file is missing.
inline StereoPair loadPair(const std::string& name, const std::string& refPath, const std::string& targetPath) {
  return {name, cv::imread(refPath, cv::IMREAD_COLOR), cv::imread(targetPath, cv::IMREAD_COLOR)};
}

// A textured 450x375-like pair when the public data is absent: smooth random
// colours, the target the reference shifted left by `shift` pixels.
inline StereoPair syntheticPair(int width, int height, int shift) {
  cv::Mat small(height / 8 + 1, width / 8 + 1, CV_8UC3);
  cv::randu(small, cv::Scalar::all(0), cv::Scalar::all(255));
  cv::Mat big;
  cv::resize(small, big, cv::Size(width + shift, height), 0, 0, cv::INTER_CUBIC);
  cv::Mat noise(big.size(), CV_8UC3);
  cv::randu(noise, cv::Scalar::all(0), cv::Scalar::all(16));
  big += noise;
  return {"synthetic", big(cv::Rect(shift, 0, width, height)).clone(), big(cv::Rect(0, 0, width, height)).clone()};
}

// The dialog's defaults: r 15, spatial sigma 14 (SigmaP), colour sigma 3.8 (SigmaS).
struct MatcherRunSettings {
  int labels = 60;              // disparity range
  int halfWinSize = 15;         // r
  float spatialSigma = 14.0f;   // pixels
  float colorSigma = 3.8f;      // Lab units
  float logChromWeight = 1.0f;  // 1 = logChrom, 0 = original RGB
  int threads = 0;              // 0 = hardware
  bool baseline = false;        // the plain cached sweep on one thread
};

// The 1-, 5- and 15-minute load averages, as /proc/loadavg gives them.
inline std::string loadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string a, b, c;
  file >> a >> b >> c;
  return a + " " + b + " " + c;
}

// CPU time of the calling thread so far, seconds.
inline double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

struct MatcherRunResult {
  double seconds = 0;     // wall-clock
  double cpuSeconds = 0;  // user + system time of the whole process during the run
  // CPU seconds of each thread that computed rows, up to its last row (the
  // calling thread first when it took rows): on a shared machine wall time
  // also measures the neighbours, these do not.
  std::vector<double> threadCpuSeconds;
  CostVolume volume;
};

inline MatcherRunResult runMatcher(const StereoPair& pair, const MatcherRunSettings& s) {
  MatcherRunResult result;
  result.volume = CostVolume(pair.ref.cols, pair.ref.rows, s.labels);
  AnccMatcher matcher(result.volume, pair.ref, pair.target);
  matcher.options.baseDisparity = 0;
  matcher.options.disparityRange = s.labels;
  matcher.options.halfWinSize = s.halfWinSize;
  matcher.options.spatialSigma = s.spatialSigma;
  matcher.options.colorSigma = s.colorSigma;
  matcher.options.threadCount = s.threads;
  matcher.options.useBaselineSweep = s.baseline;
  // The observer runs on the thread that finished the row; a worker's
  // thread clock starts with the worker, the caller's before the run.
  const std::thread::id caller = std::this_thread::get_id();
  const double callerStart = threadCpuSeconds();
  std::map<std::thread::id, double> threadCpu;
  matcher.rowObserver = [&](int, int) {
    const auto id = std::this_thread::get_id();
    threadCpu[id] = threadCpuSeconds() - (id == caller ? callerStart : 0.0);
  };
  const double cpuStart = processCpuSeconds();
  const auto start = SteadyClock::now();
  if (const Status done = matcher.computeCostVolume(s.logChromWeight); !done) {
    std::fprintf(stderr, "matcher refused %s: %s\n", pair.name.c_str(), done.error().summary().c_str());
    result.seconds = -1;
    return result;
  }
  result.seconds = secondsSince(start);
  result.cpuSeconds = processCpuSeconds() - cpuStart;
  if (auto it = threadCpu.find(caller); it != threadCpu.end()) result.threadCpuSeconds.push_back(it->second);
  for (const auto& [id, seconds] : threadCpu)
    if (id != caller) result.threadCpuSeconds.push_back(seconds);
  return result;
}

// Peak resident memory of the process (VmHWM), in MiB; -1 when unknown.
inline double peakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      double kib = 0;
      status >> kib;
      return kib / 1024.0;
    }
    std::getline(status, key);
  }
  return -1;
}

// Starts a new peak-memory measurement (Linux: writing 5 to clear_refs
// resets VmHWM to the current resident size). False when not possible.
inline bool resetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return static_cast<bool>(clear);
}

}  // namespace orbelt::bench
