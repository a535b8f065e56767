#pragma once
// One node of a FlowGraph: a pixel of the expansion move, with its folded
// terminal capacity and the search-tree state of the max-flow.
//
// Node references are indices into the graph's node blocks: block rank r,
// slot s is node reference r * 512 + s. The slot after the last node of a
// block is its end marker (see FlowGraph's range rule).
#include <cstdint>

namespace orbelt {

struct FlowNode {
  // While building: number of pairs added with this node as tail.
  // After the layout: encoded arc index of the start of the out-range
  // (index << 1), tag bit set for the last node placed in an arc block.
  // (The in-range start lives beside the nodes, in FlowGraph's inBegins_,
  // so that this record has room for the parent below and stays 32 bytes.)
  std::uint32_t outBegin;
  // During the search: one of the FlowLinks parent values (null, terminal,
  // orphan, or a tagged arc).
  std::uint32_t parentLink;
  // While parentLink is an arc: the node reference of the parent, the node at
  // the arc's other end. Walks up a tree (augmentation, adoption) then read
  // one record per step instead of a record and an arc.
  std::int32_t parent;
  // Next node of the active list, the node itself when it is the last one,
  // kNotQueued when it is in no list.
  std::int32_t nextActive;
  // The clock value at which `depth` was last confirmed.
  std::int32_t stamp;
  // Links from the node to its terminal, the terminal link included.
  std::int32_t depth;
  // > 0: residual from the source to the node; < 0: its magnitude is the
  // residual from the node to the sink; 0: no terminal capacity left.
  float terminalResidual;
  // 1 for the sink tree, 0 for the source tree; meaningful only while
  // parentLink is not null.
  std::int16_t inSinkTree;
};

static_assert(sizeof(FlowNode) == 32, "node records are kept compact for cache use");

}  // namespace orbelt
