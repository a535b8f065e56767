#pragma once
// One 32-bit entry per arc pair in the graph's reference blocks.
//
// While the graph is built the entries run in lockstep with the FlowArc slots
// and hold each pair's tail node reference ("tail entries"). After the layout
// each entry sits in the in-range of the pair's head and holds the FlowArc's
// index; the first slot of a tagged range holds the index where it ends.
#include <cstdint>

namespace orbelt::baseline {

using InArcRef = std::uint32_t;

// A tail entry that holds no node: cleared past the fill, or already moved.
inline constexpr InArcRef kNoTailNode = 0xFFFFFFFFu;

}  // namespace orbelt::baseline
