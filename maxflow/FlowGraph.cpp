#include "maxflow/FlowGraph.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "maxflow/FlowLinks.h"
#include "maxflow/GraphFailure.h"

namespace orbelt {

namespace {
constexpr const char* kNotEnoughMemory = kGraphOutOfMemory;
}  // namespace

void raiseGraphFailure(const char* message) {
  const bool outOfMemory = std::string_view(message) == kGraphOutOfMemory;
  raiseFailure(Error{outOfMemory ? ErrorKind::OutOfMemory : ErrorKind::EngineFailure, std::string(message) + "\n"});
}

FlowGraph::FlowGraph(MessageSink* errorSink) : errorSink_(errorSink) {}

FlowGraph::~FlowGraph() {
  nodes_.release();
  inBegins_.release();
  arcs_.release();
  refs_.release();
}

void FlowGraph::fail(const char* message) const {
  if (errorSink_ != nullptr) errorSink_->message(message);
  raiseGraphFailure(message);
}

void FlowGraph::failAfterLayout() const { fail("Nothing can be added to a graph after computeMaxFlow!"); }

void FlowGraph::failUnknownNode(NodeId node) const {
  char message[96];
  std::snprintf(message, sizeof message, "Node %d does not exist: the graph has %d nodes!", node, nodeCount_);
  fail(message);
}

FlowGraph::NodeId FlowGraph::createNode() { return createNodes(1); }

FlowGraph::NodeId FlowGraph::createNodes(NodeId count) {
  requireBuilding();
  const NodeId first = nodeCount_;
  std::int32_t rank = nodes_.blockCount() - 1;
  while (count > 0) {
    // Slot 511 stays free: it becomes the block's end marker in the layout.
    if (rank < 0 || nodes_.fill(rank) == kNodesPerBlock) {
      if (!nodes_.startBlock() || !inBegins_.startBlock()) fail(kNotEnoughMemory);
      ++rank;
    }
    const std::int32_t slot = nodes_.fill(rank);
    const std::int32_t taken = count < kNodesPerBlock - slot ? count : kNodesPerBlock - slot;
    FlowNode* node = nodes_.records() + decltype(nodes_)::firstSlot(rank) + slot;
    std::uint32_t* inCount = inBegins_.records() + decltype(inBegins_)::firstSlot(rank) + slot;
    for (std::int32_t k = 0; k < taken; ++k) {
      node[k] = FlowNode{};  // counts 0, no terminal residual, in no tree
      inCount[k] = 0;
    }
    nodes_.fill(rank) = slot + taken;
    nodeCount_ += taken;
    count -= taken;
  }
  return first;
}

void FlowGraph::startArcBlocks() {
  if (!arcs_.startBlock()) fail(kNotEnoughMemory);
  if (!refs_.startBlock()) fail(kNotEnoughMemory);
}

void FlowGraph::clear() {
  nodes_.clear();
  inBegins_.clear();
  arcs_.clear();
  refs_.clear();
  flow_ = 0.0f;
  nodeCount_ = 0;
  arcPairCount_ = 0;
  laidOut_ = false;
  solved_ = false;
}

void FlowGraph::failNotReopened() const {
  fail(laidOut_ ? "Residuals can be rewritten only after reopen()!"
                : "Residuals can be rewritten only in a laid-out graph: run computeMaxFlow, then reopen()!");
}

std::uint32_t FlowGraph::arcIndex(NodeId tail, NodeId head) const {
  const std::int32_t tailRef = nodeRef(tail);
  const std::int32_t headRef = nodeRef(head);
  if (!laidOut_) return kNoArc;
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
  outRange(tailRef, begin, end);
  for (std::uint32_t a = begin; a < end; ++a) {
    if (tailRef + arcs_.records()[a].headOffset == headRef) return a;
  }
  return kNoArc;
}

void FlowGraph::reopen() {
  if (!laidOut_) fail("Only a laid-out graph can be reopened: run computeMaxFlow first!");
  // The search's lists are rebuilt by initSearch; the orphan list is empty
  // whenever a search has ended.
  flow_ = 0.0f;
  solved_ = false;
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
  return laidOut_ && links::isTagged(inBegins_.records()[nodeRef(node)]);
}

std::size_t FlowGraph::blockBytes() const {
  return nodes_.usedBytes() + inBegins_.usedBytes() + arcs_.usedBytes() + refs_.usedBytes();
}

std::size_t FlowGraph::reservedBytes() const {
  return nodes_.reservedBytes() + inBegins_.reservedBytes() + arcs_.reservedBytes() + refs_.reservedBytes();
}

}  // namespace orbelt
