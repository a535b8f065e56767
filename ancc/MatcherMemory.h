#pragma once
// What the matcher's working storage costs, in one place: the matcher sizes
// its workers by it and the pipeline's up-front memory check adds it to the
// run's own arrays, so the two can never disagree about the sweep that runs.
#include <cstdint>

#include "ancc/MatcherOptions.h"

namespace orbelt {

// Bytes the matcher holds at its peak inside computeCostVolume for a
// width x height pair with `options` and `workers` sweep workers: both images'
// signals (nine planes of doubles per pixel each), then the larger of one
// image's colour conversion (an 8-bit Lab and two float BGR copies) and the
// sweep's storage (the blocked sweep's shared tables and one row store per
// worker, or the cached sweep's single row store). The window is clamped to
// max(width, height) - 1 as the matcher clamps it. The caller's cost volume
// and preview are not counted. 0 when nothing is swept (an empty size or no
// labels). Never overflows: absurd sizes give UINT64_MAX.
std::uint64_t matcherWorkingBytes(int width, int height, const MatcherOptions& options, int workers);

// How many sweep workers the matcher runs within `budgetBytes`: the
// requested count (options.threadCount, 0 = `hardwareThreads`, itself 0 read
// as 1), at most one per row, exactly one for the cached sweep, lowered until
// matcherWorkingBytes fits the budget; 0 when not even one worker fits.
int matcherWorkerCount(int width, int height, const MatcherOptions& options, unsigned hardwareThreads,
                       std::uint64_t budgetBytes);

}  // namespace orbelt
