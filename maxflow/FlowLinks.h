#pragma once
// Encodings shared by the graph's layout and search: tagged range starts,
// parent links and the empty active link.
//
// A node reference or arc index is below 2^30, so shifting it left by one for
// a tag bit always fits 32 bits.
#include <cstdint>

namespace orbelt::links {

// --- Range starts (FlowNode::outBegin / inBegin after the layout) ---
// Untagged: the range starts at the slot. Tagged: the slot holds the index
// where the range ends, and the range starts at the slot after it.
constexpr std::uint32_t rangeStart(std::uint32_t slot) { return slot << 1; }
constexpr std::uint32_t taggedRangeStart(std::uint32_t slot) { return (slot << 1) | 1u; }
constexpr std::uint32_t slotOf(std::uint32_t encoded) { return encoded >> 1; }
constexpr bool isTagged(std::uint32_t encoded) { return (encoded & 1u) != 0; }
// One slot earlier, keeping the encoding (untagged values only).
constexpr std::uint32_t oneSlotBack(std::uint32_t encoded) { return encoded - 2u; }

// --- Parent links (FlowNode::parentLink during the search) ---
inline constexpr std::uint32_t kParentNull = 0;      // in no tree
inline constexpr std::uint32_t kParentTerminal = 1;  // a root, attached to its terminal
inline constexpr std::uint32_t kParentOrphan = 2;    // lost its parent, waits for adoption
// Tagged: the arc is the parent's out-arc and this node is its head, so the
// parent is this node minus headOffset. Untagged: the arc is this node's own
// out-arc and its head is the parent (this node plus headOffset).
constexpr std::uint32_t arcLink(std::uint32_t arc, bool tagged) { return ((arc + 2u) << 1) | (tagged ? 1u : 0u); }
constexpr bool isArcLink(std::uint32_t link) { return link > kParentOrphan; }
constexpr std::uint32_t linkArc(std::uint32_t link) { return (link >> 1) - 2u; }
constexpr bool isTaggedLink(std::uint32_t link) { return (link & 1u) != 0; }

// --- Active list (FlowNode::nextActive) ---
inline constexpr std::int32_t kNotQueued = -1;

}  // namespace orbelt::links
