#include "pipeline/RunMemory.h"

#include <algorithm>
#include <limits>

#include "ancc/MatcherMemory.h"

namespace orbelt {

std::uint64_t estimateRunBytes(int width, int height, const StereoParams& params) {
  return estimateRunBytes(width, height, stereoOptionsFor(params).matcher);
}

std::uint64_t estimateMatcherWorkingBytes(int width, int height, const MatcherOptions& matcher) {
  // The matcher runs fewer workers when memory is short, but needs at least
  // one; its own sizing of that one is the figure.
  return matcherWorkingBytes(width, height, matcher, 1);
}

std::uint64_t estimateRunBytes(int width, int height, const MatcherOptions& params) {
  const double pixels = static_cast<double>(std::max(width, 0)) * std::max(height, 0);
  const double labels = std::max(params.disparityRange, 0);
  const double volumeBytes = pixels * labels * sizeof(float);
  const double maps = pixels * 2;

  // Matcher: the volume, the preview and output maps, and the matcher's
  // working storage as the matcher itself sizes it.
  const double matcherPhase =
      volumeBytes + maps + static_cast<double>(estimateMatcherWorkingBytes(width, height, params));

  // Flattening: the volume and its flat copy side by side.
  const double flattenPhase = 2 * volumeBytes + maps;

  // Optimizer: the flat copy, labels and scratch (ints per pixel), the
  // smoothness table, and one move's flow graph (a node per pixel, two arc
  // pairs per pixel and their per-node layout), generously rounded.
  const double solverArrays = pixels * 2 * sizeof(int) + labels * labels * sizeof(float) + labels * sizeof(int);
  const double flowGraph = pixels * 256;
  const double optimizerPhase = volumeBytes + maps + solverArrays + flowGraph;

  const double peak = std::max({matcherPhase, flattenPhase, optimizerPhase});
  if (!(peak < 1.8e19)) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(peak);
}

}  // namespace orbelt
