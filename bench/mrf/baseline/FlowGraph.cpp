#include "bench/mrf/baseline/FlowGraph.h"

#include <cstdio>

#include "bench/mrf/baseline/FlowLinks.h"
#include "platform/ProcessServices.h"

namespace orbelt::baseline {

namespace {
constexpr const char* kNotEnoughMemory = "Not enough memory!";
}  // namespace

FlowGraph::FlowGraph(ErrorCallback errorCallback) : errorCallback_(errorCallback) {}

FlowGraph::~FlowGraph() {
  nodes_.release();
  arcs_.release();
  refs_.release();
}

void FlowGraph::fail(const char* message) const {
  if (errorCallback_ != nullptr) errorCallback_(message);
  exitProcess(1);
}

void FlowGraph::requireBuilding() const {
  // After the layout the counts have become ranges: an addition now would
  // silently corrupt them.
  if (laidOut_) fail("Nothing can be added to a graph after computeMaxFlow!");
}

std::int32_t FlowGraph::nodeRef(NodeId node) const {
  // One comparison guards every write through a caller's handle.
  if (static_cast<std::uint32_t>(node) >= static_cast<std::uint32_t>(nodeCount_)) {
    char message[96];
    std::snprintf(message, sizeof message, "Node %d does not exist: the graph has %d nodes!", node,
                  nodeCount_);
    fail(message);
  }
  return (node / kNodesPerBlock) * kNodeSlotsPerBlock + node % kNodesPerBlock;
}

FlowGraph::NodeId FlowGraph::createNode() {
  requireBuilding();
  std::int32_t rank = nodes_.blockCount() - 1;
  // Slot 511 stays free: it becomes the block's end marker in the layout.
  if (rank < 0 || nodes_.fill(rank) == kNodesPerBlock) {
    if (!nodes_.startBlock()) fail(kNotEnoughMemory);
    ++rank;
  }
  const std::int32_t slot = nodes_.fill(rank)++;
  FlowNode& node = nodes_.records()[decltype(nodes_)::firstSlot(rank) + slot];
  node = FlowNode{};  // counts 0, no terminal residual, in no tree
  return nodeCount_++;
}

void FlowGraph::addTerminalCapacities(NodeId node, float sourceCapacity, float sinkCapacity) {
  requireBuilding();
  FlowNode& n = nodes_.records()[nodeRef(node)];
  const float r = n.terminalResidual;
  if (r > 0) {
    sourceCapacity += r;
  } else {
    sinkCapacity -= r;
  }
  // The common part runs source -> node -> sink whatever the cut: it is flow.
  flow_ += (sourceCapacity < sinkCapacity) ? sourceCapacity : sinkCapacity;
  n.terminalResidual = sourceCapacity - sinkCapacity;
}

void FlowGraph::addArcPair(NodeId tail, NodeId head, float capacity, float reverseCapacity) {
  requireBuilding();
  const std::int32_t tailRef = nodeRef(tail);
  const std::int32_t headRef = nodeRef(head);
  std::int32_t rank = arcs_.blockCount() - 1;
  if (rank < 0 || arcs_.fill(rank) == kArcsPerBlock) {
    if (!arcs_.startBlock()) fail(kNotEnoughMemory);
    if (!refs_.startBlock()) fail(kNotEnoughMemory);
    ++rank;
  }
  // Arc records and tail entries are appended in lockstep: pair k sits at the
  // same index in both stores.
  const std::int32_t index = decltype(arcs_)::firstSlot(rank) + arcs_.fill(rank)++;
  ++refs_.fill(rank);
  refs_.records()[index] = static_cast<InArcRef>(tailRef);
  arcs_.records()[index] = FlowArc{headRef, capacity, reverseCapacity};
  FlowNode* nodes = nodes_.records();
  ++nodes[tailRef].outBegin;
  ++nodes[headRef].inBegin;
  ++arcPairCount_;
}

CutSide FlowGraph::sideOf(NodeId node) const {
  const FlowNode& n = nodes_.records()[nodeRef(node)];
  if (!solved_) return CutSide::SinkSide;
  return (n.parentLink != links::kParentNull && n.inSinkTree == 0) ? CutSide::SourceSide
                                                                    : CutSide::SinkSide;
}

void FlowGraph::clear() {
  nodes_.clear();
  arcs_.clear();
  refs_.clear();
  flow_ = 0.0f;
  activeHead_[0] = activeHead_[1] = links::kNotQueued;
  activeTail_[0] = activeTail_[1] = links::kNotQueued;
  orphanHead_ = orphanTail_ = nullptr;
  clock_ = 0;
  nodeCount_ = 0;
  arcPairCount_ = 0;
  laidOut_ = false;
  solved_ = false;
}

float FlowGraph::terminalResidual(NodeId node) const {
  return nodes_.records()[nodeRef(node)].terminalResidual;
}

std::vector<FlowGraph::NodeId> FlowGraph::nodeOrder() const {
  std::vector<NodeId> order;
  order.reserve(static_cast<std::size_t>(nodeCount_));
  for (std::int32_t rank = nodes_.blockCount() - 1; rank >= 0; --rank) {
    for (std::int32_t slot = 0; slot < nodes_.fill(rank); ++slot) {
      order.push_back(idOfRef(decltype(nodes_)::firstSlot(rank) + slot));
    }
  }
  return order;
}

std::vector<FlowGraph::ArcView> FlowGraph::outArcs(NodeId node) const {
  std::vector<ArcView> arcs;
  const std::int32_t ref = nodeRef(node);
  if (!laidOut_) return arcs;
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
  outRange(ref, begin, end);
  for (std::uint32_t a = begin; a < end; ++a) {
    const FlowArc& arc = arcs_.records()[a];
    arcs.push_back({node, idOfRef(ref + arc.headOffset), arc.residual, arc.reverseResidual});
  }
  return arcs;
}

std::vector<FlowGraph::ArcView> FlowGraph::inArcs(NodeId node) const {
  std::vector<ArcView> arcs;
  const std::int32_t ref = nodeRef(node);
  if (!laidOut_) return arcs;
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
  inRange(ref, begin, end);
  for (std::uint32_t e = begin; e < end; ++e) {
    const FlowArc& arc = arcs_.records()[refs_.records()[e]];
    arcs.push_back({idOfRef(ref - arc.headOffset), node, arc.residual, arc.reverseResidual});
  }
  return arcs;
}

bool FlowGraph::outRangeIsTagged(NodeId node) const {
  return laidOut_ && links::isTagged(nodes_.records()[nodeRef(node)].outBegin);
}

bool FlowGraph::inRangeIsTagged(NodeId node) const {
  return laidOut_ && links::isTagged(nodes_.records()[nodeRef(node)].inBegin);
}

std::size_t FlowGraph::blockBytes() const {
  return nodes_.usedBytes() + arcs_.usedBytes() + refs_.usedBytes();
}

std::size_t FlowGraph::reservedBytes() const {
  return nodes_.reservedBytes() + arcs_.reservedBytes() + refs_.reservedBytes();
}

}  // namespace orbelt::baseline
