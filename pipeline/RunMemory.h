#pragma once
// How much memory a run needs, estimated from the sizes alone so a run that
// cannot fit is refused before any work starts, and how a run that ran out
// of memory anyway is told.
#include <cstdint>

#include "ancc/MatcherOptions.h"
#include "platform/Expected.h"

namespace orbelt {

// Bytes a run needs at its peak, estimated from the sizes alone: the largest
// of the matcher phase (cost volume, two maps' worth of bytes per pixel, and
// the matcher's working storage for one worker, estimateMatcherWorkingBytes),
// the flattening phase (volume and flat copy together) and the optimizer
// phase (flat copy, label arrays, smoothness table, one move's flow graph).
// Never overflows: absurd sizes give UINT64_MAX.
std::uint64_t estimateRunBytes(int width, int height, const MatcherOptions& matcher);
// The matcher's working storage counted in the matcher phase: the matcher's
// own figure for one worker (matcherWorkingBytes), the least it runs with.
std::uint64_t estimateMatcherWorkingBytes(int width, int height, const MatcherOptions& matcher);

// Whether a width x height run with `matcher` fits in `availableBytes`
// (estimateRunBytes). Otherwise RunTooLarge naming the size, the
// label count and the window as `disparityRangeName` and `halfWinSizeName`
// call them, what the run needs and what is available.
Status checkRunFits(int width, int height, const MatcherOptions& matcher, std::uint64_t availableBytes,
                    const char* disparityRangeName, const char* halfWinSizeName);

// The Error of a run that ran out of memory once under way (OutOfMemory), in
// the terms the user can change, named as the two names say.
Error runOutOfMemory(int width, int height, const MatcherOptions& matcher, const char* disparityRangeName,
                     const char* halfWinSizeName);

}  // namespace orbelt
