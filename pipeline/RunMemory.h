#pragma once
// How much memory a run needs, estimated from the sizes alone so a run that
// cannot fit is refused before any work starts.
#include <cstdint>

#include "ancc/MatcherOptions.h"
#include "pipeline/StereoParams.h"

namespace orbelt {

// Bytes a run needs at its peak, estimated from the sizes alone: the largest
// of the matcher phase (cost volume, preview and output maps, and the
// matcher's working storage for one worker, estimateMatcherWorkingBytes), the
// flattening phase (volume and flat copy together) and the optimizer phase
// (flat copy, label arrays, smoothness table, one move's flow graph). Never
// overflows: absurd sizes give UINT64_MAX.
std::uint64_t estimateRunBytes(int width, int height, const MatcherOptions& matcher);
// The same for the options of `params`.
std::uint64_t estimateRunBytes(int width, int height, const StereoParams& params);
// The matcher's working storage counted in the matcher phase: the matcher's
// own figure for one worker (matcherWorkingBytes), the least it runs with.
std::uint64_t estimateMatcherWorkingBytes(int width, int height, const MatcherOptions& matcher);

}  // namespace orbelt
