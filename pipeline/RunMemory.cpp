#include "pipeline/RunMemory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "ancc/MatcherMemory.h"

namespace orbelt {

namespace {

std::string mebibytes(double bytes) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.0f MiB", std::ceil(bytes / (1024.0 * 1024.0)));
  return buf;
}

}  // namespace

std::uint64_t estimateMatcherWorkingBytes(int width, int height, const MatcherOptions& matcher) {
  // The matcher runs fewer workers when memory is short, but needs at least
  // one; its own sizing of that one is the figure.
  return matcherWorkingBytes(width, height, matcher, 1);
}

std::uint64_t estimateLabellingHeldBytes(int width, int height, int labelCount) {
  const double pixels = static_cast<double>(std::max(width, 0)) * std::max(height, 0);
  const double labels = std::max(labelCount, 0);
  // The costs, handed over rather than copied; per pixel the optimizer's
  // labels, its move scratch, its snapshot of a sweep's labels and the
  // labels read back; per label its smoothness table row and move notes.
  const double bytes = pixels * labels * sizeof(float) + pixels * 4 * sizeof(int) + labels * labels * sizeof(float) +
                       labels * 2 * sizeof(std::uint64_t);
  if (!(bytes < 1.8e19)) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(bytes);
}

std::uint64_t estimateRunBytes(int width, int height, const MatcherOptions& params) {
  const double pixels = static_cast<double>(std::max(width, 0)) * std::max(height, 0);
  const double labels = std::max(params.disparityRange, 0);
  const double volumeBytes = pixels * labels * sizeof(float);
  const double maps = pixels * 2;

  // Matcher: the volume, two bytes a pixel for maps, and the matcher's
  // working storage as the matcher itself sizes it.
  const double matcherPhase =
      volumeBytes + maps + static_cast<double>(estimateMatcherWorkingBytes(width, height, params));

  // Optimizer: what the labelling holds (the volume itself, handed over,
  // and the optimizer's arrays) and one move's flow graph (a node per
  // pixel, two arc pairs per pixel and their per-node layout), generously
  // rounded. The flows kept between passes are left out: they only save
  // time, and get what the budget has left (the labeller hands it down).
  const double flowGraph = pixels * 256;
  const double optimizerPhase =
      static_cast<double>(estimateLabellingHeldBytes(width, height, params.disparityRange)) + maps + flowGraph;

  const double peak = std::max(matcherPhase, optimizerPhase);
  if (!(peak < 1.8e19)) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(peak);
}

Status checkRunFits(int width, int height, const MatcherOptions& matcher, std::uint64_t availableBytes,
                    const char* disparityRangeName, const char* halfWinSizeName) {
  const std::uint64_t need = estimateRunBytes(width, height, matcher);
  if (need <= availableBytes) return {};
  const std::string range = disparityRangeName;
  const std::string window = halfWinSizeName;
  return runTooLarge("A " + std::to_string(width) + " x " + std::to_string(height) + " pair with " + range + " " +
                     std::to_string(matcher.disparityRange) + " and " + window + " " +
                     std::to_string(matcher.halfWinSize) + " needs about " + mebibytes(static_cast<double>(need)) +
                     " of memory, but only " + mebibytes(static_cast<double>(availableBytes)) +
                     " are available; lower " + range + " or " + window + ", or use smaller images\n");
}

Error runOutOfMemory(int width, int height, const MatcherOptions& matcher, const char* disparityRangeName,
                     const char* halfWinSizeName) {
  return outOfMemory("Not enough memory for a " + std::to_string(width) + " x " + std::to_string(height) + " x " +
                     std::to_string(matcher.disparityRange) + " run (about " +
                     mebibytes(static_cast<double>(estimateRunBytes(width, height, matcher))) + "); lower " +
                     disparityRangeName + " or " + halfWinSizeName + ", or use smaller images\n");
}

}  // namespace orbelt
