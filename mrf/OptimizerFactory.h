#pragma once
// The optimizer of a disparity run, made from its options: alpha-expansion
// over the grid, with the options' label-order seed and move threads, and
// kept flows within the memory the run can give them.
#include <cstdint>
#include <memory>

#include "mrf/AlphaExpansion.h"
#include "mrf/OptimizerOptions.h"

namespace orbelt {

// An AlphaExpansion over (width, height, labelCount, terms) (the terms
// outlive it) that fixes its label orders from options.seed when one is
// given (else every shuffle reads the process clock), solves each move on
// options.threadCount threads, and keeps flows between passes only while
// they fit in `recyclingBudget` bytes (above that the moves are solved the
// fresh way: same labels, more time). `onMove`, when given, hears of every
// move. A refused construction is kept in the solver's status(), as the
// solver keeps it.
std::unique_ptr<AlphaExpansion> createOptimizer(int width, int height, int labelCount, EnergyTerms* terms,
                                                const OptimizerOptions& options, std::uint64_t recyclingBudget,
                                                AlphaExpansion::MoveObserver onMove = {});

}  // namespace orbelt
