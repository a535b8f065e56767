// orbelt-ancc-bench: time of computeCostVolume at the dialog's defaults
// (r 15, spatial sigma 14, colour sigma 3.8, logChrom) on a 450x375 pair with
// 60 labels (Teddy when the public data is there, else a synthetic pair) and
// on the repository's default pair with 70 labels. Prints seconds, pixel-label
// pairs per second and the peak resident memory of each run.
//
//   orbelt-ancc-bench [--threads N]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"

using namespace orbelt::bench;

int main(int argc, char** argv) {
  int threads = 0;
  for (int i = 1; i + 1 < argc; i += 2)
    if (std::string(argv[i]) == "--threads") threads = std::atoi(argv[i + 1]);

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
  else
    cases.push_back({&defaults, 70});

  std::printf("%-14s %9s %6s %9s %14s %10s\n", "pair", "size", "labels", "seconds", "Mpairs/s", "peak MiB");
  for (const Case& c : cases) {
    MatcherRunSettings settings;
    settings.labels = c.labels;
    settings.threads = threads;
    resetPeakMemory();
    const MatcherRunResult run = runMatcher(*c.pair, settings);
    if (run.seconds < 0) return 1;
    const double pairs = double(c.pair->ref.cols) * c.pair->ref.rows * c.labels;
    const std::string size = std::to_string(c.pair->ref.cols) + "x" + std::to_string(c.pair->ref.rows);
    std::printf("%-14s %9s %6d %9.2f %14.3f %10.1f\n", c.pair->name.c_str(), size.c_str(), c.labels, run.seconds,
                pairs / run.seconds / 1e6, peakMemoryMiB());
  }
  return 0;
}
