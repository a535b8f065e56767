#pragma once
// How much memory a run needs, estimated from the sizes alone so a run that
// cannot fit is refused before any work starts, and how a run that ran out
// of memory anyway is told.
#include <cstdint>

#include "ancc/MatcherOptions.h"
#include "platform/Expected.h"

namespace orbelt {

// Bytes a run needs at its peak, estimated from the sizes alone: the larger
// of the matcher phase (cost volume, two maps' worth of bytes per pixel, and
// the matcher's working storage for one worker, estimateMatcherWorkingBytes)
// and the optimizer phase (what the labelling holds,
// estimateLabellingHeldBytes, and one move's flow graph). The volume is
// handed from the matcher to the optimizer, never copied, so it counts once.
// The flows the optimizer keeps between passes are not counted: they are
// optional and take only what the budget has left. Never overflows: absurd
// sizes give UINT64_MAX.
std::uint64_t estimateRunBytes(int width, int height, const MatcherOptions& matcher);
// Bytes the labelling of a width x height x labelCount grid holds however
// its moves are solved: the costs handed over to the optimizer and the
// optimizer's label arrays and tables. Of the budget handed to the labeller,
// what is left beyond this is the moves' (a move's graph, and the flows kept
// between passes where they fit). Never overflows (UINT64_MAX).
std::uint64_t estimateLabellingHeldBytes(int width, int height, int labelCount);
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
