#pragma once
// The s-t flow network of one expansion move: built once, solved once by a
// two-search-tree augmenting-path max-flow, queried for the cut, then thrown
// away or cleared for the next move.
//
// Takes: nodes (createNode), terminal capacities of any sign folded into one
// signed residual per node (addTerminalCapacities), and arc pairs with two
// capacities >= 0 (addArcPair). Returns: the maximum flow (computeMaxFlow) and
// the side of the minimum cut of every node (sideOf). The source side is the
// set of nodes still reachable from the source through nonzero residuals.
//
// Owns: every record, in blocks of 511 nodes (plus an end marker slot) and of
// 1024 arc records and 1024 in-references (plus a spare slot); the orphan
// items of the search; and the layout's working arrays (per node a cursor
// and a word for tracing, per pair slot two words of the trace and up to two
// entries of the list of moves, and beside each in-range entry its pair's
// head offset for the search). Nothing is allocated per node or per arc;
// arcs are appended in call order and sorted into per-node ranges once, in
// place, at the start of computeMaxFlow. The order of that layout and of
// every scan of the search decides, with float capacities, which residuals
// end at exactly zero, so it is kept fixed. clear() keeps all the memory, so
// a graph reused move after move allocates only while it grows.
//
// Fails (after the error sink, if any, got the message, the operation
// raises the graph's Failure: maxflow/GraphFailure.h): "Not enough memory!"
// when a block cannot be allocated; "# of arcs per node exceeds block size!"
// at computeMaxFlow when a node is the tail, or the head, of more than 1024
// pairs. Misuse that would corrupt memory is refused the same way: a NodeId
// that createNode did not return, additions after computeMaxFlow, residuals
// written into a graph that is not reopened, reopening one never laid out. The
// process never ends here; a graph that failed is usable again after clear().
//
// Calling order: construct; createNode / addTerminalCapacities / addArcPair in
// any order; computeMaxFlow once (a second call returns the same flow); sideOf;
// destroy or clear(), or reopen() to solve the same pairs with rewritten
// residuals (see "Reuse" below). One thread per graph, except that the
// regions of a graph solved in regions may each have their own (see "Solving
// in regions" below); graphs share nothing.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "maxflow/BlockStore.h"
#include "maxflow/CutSide.h"
#include "maxflow/FlowArc.h"
#include "maxflow/FlowLinks.h"
#include "maxflow/FlowNode.h"
#include "maxflow/InArcRef.h"
#include "maxflow/OrphanPool.h"
#include "maxflow/ScratchArray.h"
#include "platform/MessageSink.h"

namespace orbelt {

class FlowObserver;

class FlowGraph {
  // The state of one search: the two active lists (nodes queued to grow),
  // the orphan list, the clock of the adoption's depth stamps and the flow
  // pushed. The whole graph's search and each region's have their own.
  struct SearchState {
    std::int32_t activeHead[2];
    std::int32_t activeTail[2];
    OrphanItem* orphanHead;
    OrphanItem* orphanTail;
    std::int32_t clock;
    float flow;
    OrphanPool* orphans;
    FlowObserver* observer;
  };

 public:
  // Handle returned by createNode: the creation index 0, 1, 2, ...
  using NodeId = std::int32_t;

  static constexpr std::int32_t kNodeSlotsPerBlock = 512;  // the last slot is the end marker
  static constexpr std::int32_t kNodesPerBlock = 511;      // nodes handed out per block
  static constexpr std::int32_t kArcsPerBlock = 1024;      // arc records (and in-references)
  static constexpr std::int32_t kArcSlotsPerBlock = 1025;  // ... plus the spare slot
  static constexpr std::int32_t kUnreachableDepth = 1000000000;

  // `errorSink` (not owned, may be null) is told each failure's message, with
  // no line break, before the failure is raised.
  explicit FlowGraph(MessageSink* errorSink = nullptr);
  ~FlowGraph();
  FlowGraph(const FlowGraph&) = delete;
  FlowGraph& operator=(const FlowGraph&) = delete;

  // A new node with no capacity. Returns its creation index.
  NodeId createNode();
  // `count` new nodes with no capacity (count >= 0), as `count` calls of
  // createNode would make them. Returns the first one's creation index; the
  // others follow it one by one.
  NodeId createNodes(NodeId count);

  // Adds `sourceCapacity` (paid when the node ends on the sink side) and
  // `sinkCapacity` (paid when it ends on the source side); either may be
  // negative. Their common part is flow already pushed through the node and
  // is added to the flow at once; the rest stays as the node's residual.
  void addTerminalCapacities(NodeId node, float sourceCapacity, float sinkCapacity);

  // Adds the arc pair tail -> head with `capacity` (paid when tail ends on the
  // source side and head on the sink side) and `reverseCapacity` (the
  // opposite case). Both must be >= 0; any nonzero value counts as residual.
  void addArcPair(NodeId tail, NodeId head, float capacity, float reverseCapacity);

  // Lays out the arcs and computes the maximum flow. Returns the flow value:
  // the common parts folded by addTerminalCapacities plus every augmentation.
  float computeMaxFlow();

  // After computeMaxFlow: SourceSide for nodes of the source tree, SinkSide
  // for nodes of the sink tree and for nodes in no tree. Before it: SinkSide.
  CutSide sideOf(NodeId node) const;

  // Forgets every node and pair (back to the state after construction, with
  // the same error sink) but keeps the memory for the next graph: an
  // expansion move per label per pass reuses one graph instead of mapping,
  // faulting in and unmapping its blocks every time.
  void clear();

  // ---------------------------------------------------------------------
  // Reuse of a laid-out graph. A graph whose pairs never change (the pixel
  // grid of every expansion move) is laid out once; each later solve
  // rewrites the residuals in place instead of adding the pairs anew, so the
  // layout is paid once rather than once per solve.
  //
  // Calling order: build and computeMaxFlow once (the layout); then, per
  // solve, reopen(), set every residual that is to change, computeMaxFlow,
  // sideOf / arcResidual. Additions (addTerminalCapacities, addArcPair,
  // createNode) stay refused after the layout.
  // ---------------------------------------------------------------------

  // Returned by arcIndex when the two nodes share no pair.
  static constexpr std::uint32_t kNoArc = 0xFFFFFFFFu;
  // After computeMaxFlow: the arc index of the pair that was added with
  // `tail` as tail and `head` as head, or kNoArc. Scans the tail's out-range.
  std::uint32_t arcIndex(NodeId tail, NodeId head) const;
  // After computeMaxFlow: forgets the search and the flow value (back to 0),
  // keeps nodes, pairs, layout and every residual as the last solve left it.
  void reopen();
  // After reopen(): the node's signed terminal residual (> 0: from the
  // source, < 0: its magnitude to the sink).
  void setTerminalResidual(NodeId node, float residual);
  // After reopen(): the residuals of the pair at `arc` (from arcIndex), tail
  // to head and head to tail, both >= 0.
  void setArcResiduals(std::uint32_t arc, float residual, float reverseResidual) {
    requireReopened();
    FlowArc& a = arcs_.records()[arc];
    a.residual = residual;
    a.reverseResidual = reverseResidual;
  }
  // The pair's current residuals (after computeMaxFlow: as the search left them).
  float arcResidual(std::uint32_t arc) const { return arcs_.records()[arc].residual; }
  float arcReverseResidual(std::uint32_t arc) const { return arcs_.records()[arc].reverseResidual; }
  // When set, the next searches start the sink tree as its roots alone and
  // leave them passive: only the source tree grows from its roots, and the
  // sink tree grows only where adoption frees a node. The source side found
  // is the same set (everything reachable from the source in the residual
  // graph); the search is cheaper when the source side is small and most
  // nodes already hold sink residual, as in a graph that starts from a
  // recycled flow. Default: off (both trees grow).
  void setSinkRootsPassive(bool passive) { sinkRootsPassive_ = passive; }

  // ---------------------------------------------------------------------
  // Solving in regions. The nodes of a reopened graph are split into
  // regions, ranges of creation indices; the pairs joining two regions are
  // held at zero residual (setArcResiduals) while each region is solved on
  // its own, the regions on different threads if the caller likes, and then
  // given back before the search goes on over the whole graph from the
  // regions' trees. The flow the regions found is flow of the whole graph
  // (nothing crossed a joining pair), so the joined search only routes what
  // is left, and it ends as computeMaxFlow ends: with a maximum flow whose
  // source side is the set reachable from the source. Only float rounding,
  // which the order of the augmentations changes, can make that set differ
  // from computeMaxFlow's, and then by tied cuts.
  //
  // Calling order: reopen(); write every residual, the joining pairs' as 0;
  // solveRegion for each region (once, in any order or at once); write the
  // joining pairs' residuals; joinRegions once; sideOf / arcResidual.
  // ---------------------------------------------------------------------

  // The search state of one region: its active lists, orphan items and
  // clock, so that regions share nothing while they are solved. Keep one per
  // region across solves: its orphan blocks stay allocated.
  class RegionSearch {
   public:
    explicit RegionSearch(MessageSink* errorSink = nullptr) : orphans_(errorSink) {}

   private:
    friend class FlowGraph;
    OrphanPool orphans_;
    SearchState state_{};
  };

  // A pair joining two regions: its tail, its head and its arc index.
  struct JoiningPair {
    NodeId tail;
    NodeId head;
    std::uint32_t arc;
  };

  // Solves the nodes [first, end) alone, with `region`'s state, and returns
  // the flow found. The caller guarantees that every pair between a node of
  // the range and one outside it has zero residual both ways: then the search
  // reads and writes only the range's nodes and pairs, and solves of disjoint
  // ranges may run at the same time. Raises the graph's failure on a range
  // that is not the graph's, or when the orphan items cannot be allocated.
  // The observer, if any, sees this search: attach one only when regions are
  // solved one at a time.
  float solveRegion(NodeId first, NodeId end, RegionSearch& region);
  // After every region is solved and the joining pairs' residuals written
  // back: ends the search over the whole graph and returns the whole flow.
  // `regions` are the states of every region solved, `joining` every pair
  // joining two of them.
  float joinRegions(std::span<RegionSearch* const> regions, std::span<const JoiningPair> joining);

  // ---------------------------------------------------------------------
  // Inspection, for tests, tools and benchmarks. Not needed to use a graph.
  // ---------------------------------------------------------------------

  // One arc pair as seen from a node's range, with its current residuals.
  struct ArcView {
    NodeId tail;            // the node that added the pair as tail
    NodeId head;            // the node that added the pair as head
    float residual;         // residual tail -> head
    float reverseResidual;  // residual head -> tail
  };

  // Nodes created so far (after computeMaxFlow, including the two nodes an
  // empty graph receives).
  NodeId nodeCount() const { return nodeCount_; }
  // Pairs added so far (likewise including the empty graph's pair).
  std::int64_t arcPairCount() const { return arcPairCount_; }
  // Flow so far: folded terminal flow before computeMaxFlow, the result after.
  float flowSoFar() const { return flow_; }
  float terminalResidual(NodeId node) const { return nodes_.records()[nodeRef(node)].terminalResidual; }
  // True once computeMaxFlow has laid the arcs out.
  bool isLaidOut() const { return laidOut_; }
  // Every node in node order: newest block first, creation order inside.
  std::vector<NodeId> nodeOrder() const;
  // After computeMaxFlow: the node's out-range (pairs it is the tail of) and
  // in-range (pairs it is the head of), in range order.
  std::vector<ArcView> outArcs(NodeId node) const;
  std::vector<ArcView> inArcs(NodeId node) const;
  // After computeMaxFlow: whether the node's out-range (in-range) is the
  // tagged last range of its arc (reference) block.
  bool outRangeIsTagged(NodeId node) const;
  bool inRangeIsTagged(NodeId node) const;
  std::int32_t nodeBlockCount() const { return nodes_.blockCount(); }
  std::int32_t arcBlockCount() const { return arcs_.blockCount(); }
  std::int32_t inRefBlockCount() const { return refs_.blockCount(); }
  // Bytes of the blocks in use, and bytes reserved for blocks (the stores
  // grow by doubling; pages never touched are not resident).
  std::size_t blockBytes() const;
  std::size_t reservedBytes() const;
  // Watches the search of the next computeMaxFlow; null detaches. Not owned.
  void setObserver(FlowObserver* observer) { observer_ = observer; }

 private:
  // A place where the two trees touch, found by growth.
  struct Connection {
    std::int32_t sourceSideEnd;
    std::int32_t sinkSideEnd;
    float* forward;   // residual from the source-side end to the sink-side end
    float* backward;  // residual the other way
  };

  [[noreturn]] void fail(const char* message) const;
  [[noreturn]] void failUnknownNode(NodeId node) const;
  [[noreturn]] void failAfterLayout() const;
  void requireBuilding() const;
  void requireReopened() const {
    if (!laidOut_ || solved_) failNotReopened();
  }
  [[noreturn]] void failNotReopened() const;
  // Starts one arc block and one reference block, in lockstep.
  void startArcBlocks();
  // Node reference (block rank * 512 + slot) of a checked NodeId.
  std::int32_t nodeRef(NodeId node) const;
  static NodeId idOfRef(std::int32_t ref) {
    return (ref / kNodeSlotsPerBlock) * kNodesPerBlock + ref % kNodeSlotsPerBlock;
  }

  // Range rule: [begin, end) of a node's out-range (arc indices) or in-range
  // (reference slots).
  void outRange(std::int32_t ref, std::uint32_t& begin, std::uint32_t& end) const;
  void inRange(std::int32_t ref, std::uint32_t& begin, std::uint32_t& end) const;

  // --- layout (FlowGraphLayout.cpp) ---
  void layoutArcs();
  void assignRangeEnds(std::int32_t preexistingBlocks);
  void moveArcsIntoRanges(std::int32_t preexistingBlocks);
  void planArcDestinations(std::int32_t preexistingBlocks);
  std::size_t traceMoveChains(std::int32_t preexistingBlocks);
  void moveArcsAlongChains(std::size_t count);
  void markLastOutRanges();
  void fillInRanges();
  void markLastInRanges();

  // --- search (FlowGraphSearch.cpp) ---
  SearchState stateFor(OrphanPool& orphans) const;
  void initSearch(SearchState& s, NodeId first, NodeId end);
  void runSearch(SearchState& s);
  void activate(SearchState& s, std::int32_t ref);
  std::int32_t nextActiveNode(SearchState& s);
  bool growSourceTree(SearchState& s, std::int32_t i, Connection& connection);
  bool growSinkTree(SearchState& s, std::int32_t i, Connection& connection);
  // The residual of a parent link's arc towards the child, and towards the
  // parent: a tagged link is the parent's out-arc, so its `residual` runs to
  // the child; an untagged one is the child's own out-arc. The field is
  // picked by address, so tree walks do not branch on the tag.
  static float& towardsChild(FlowArc& arc, std::uint32_t link) {
    return links::isTaggedLink(link) ? arc.residual : arc.reverseResidual;
  }
  static float& towardsParent(FlowArc& arc, std::uint32_t link) {
    return links::isTaggedLink(link) ? arc.reverseResidual : arc.residual;
  }
  void augmentPath(SearchState& s, const Connection& connection);
  void pushOrphanFront(SearchState& s, std::int32_t ref);
  void appendOrphan(SearchState& s, std::int32_t ref);
  void adoptOrphans(SearchState& s);
  void adoptSourceOrphan(SearchState& s, std::int32_t i);
  void adoptSinkOrphan(SearchState& s, std::int32_t i);
  // The best parent found so far for an orphan.
  struct Candidate {
    std::uint32_t link;   // the link the orphan would take, kParentNull for none
    std::int32_t parent;  // the node at its other end
    std::int32_t depth;   // that node's depth
  };
  void considerParent(SearchState& s, std::int32_t j, std::uint32_t link, std::int16_t tree, Candidate& best);

  BlockStore<FlowNode, kNodeSlotsPerBlock> nodes_;
  // Per node reference, in lockstep with nodes_: while building the number of
  // pairs added with the node as head, after the layout the encoded start of
  // its in-range (as FlowNode::outBegin is for the out-range).
  BlockStore<std::uint32_t, kNodeSlotsPerBlock> inBegins_;
  BlockStore<FlowArc, kArcSlotsPerBlock> arcs_;
  BlockStore<InArcRef, kArcSlotsPerBlock> refs_;
  MessageSink* errorSink_;
  // Kept across clear(): its items are all free again when a search ends.
  OrphanPool orphanPool_{errorSink_};
  // Working arrays of the layout, kept across clear(): per node reference,
  // the slot where its out-range fills next; the traced chains of moves.
  ScratchArray<std::uint32_t> cursor_;
  ScratchArray<std::uint32_t> moves_;
  // Per node reference: the slot of its first pair while tracing (or none,
  // or "more than two pairs"); per arc slot: where its record goes and the
  // slot of its tail's other pair.
  struct TraceSlot {
    std::uint32_t destination;
    std::uint32_t sibling;
  };
  ScratchArray<std::uint32_t> firstPair_;
  ScratchArray<TraceSlot> trace_;
  // After the layout, beside every in-range entry: its pair's headOffset, so
  // that the search reaches an in-neighbour (node minus offset) and the
  // pair's residuals with two independent reads rather than two in a row.
  ScratchArray<std::int32_t> inTailOffsets_;
  float flow_ = 0.0f;

  NodeId nodeCount_ = 0;
  std::int64_t arcPairCount_ = 0;
  bool laidOut_ = false;  // additions are refused from here on
  bool solved_ = false;   // the cut can be read
  bool sinkRootsPassive_ = false;
  FlowObserver* observer_ = nullptr;
};

inline std::int32_t FlowGraph::nodeRef(NodeId node) const {
  // One comparison guards every write through a caller's handle.
  if (static_cast<std::uint32_t>(node) >= static_cast<std::uint32_t>(nodeCount_)) failUnknownNode(node);
  return (node / kNodesPerBlock) * kNodeSlotsPerBlock + node % kNodesPerBlock;
}

inline void FlowGraph::requireBuilding() const {
  // After the layout the counts have become ranges: an addition now would
  // silently corrupt them.
  if (laidOut_) failAfterLayout();
}

inline void FlowGraph::addTerminalCapacities(NodeId node, float sourceCapacity, float sinkCapacity) {
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

inline void FlowGraph::addArcPair(NodeId tail, NodeId head, float capacity, float reverseCapacity) {
  requireBuilding();
  const std::int32_t tailRef = nodeRef(tail);
  const std::int32_t headRef = nodeRef(head);
  std::int32_t rank = arcs_.blockCount() - 1;
  if (rank < 0 || arcs_.fill(rank) == kArcsPerBlock) {
    startArcBlocks();
    ++rank;
  }
  // Arc records and tail entries are appended in lockstep: pair k sits at the
  // same index in both stores.
  const std::int32_t index = decltype(arcs_)::firstSlot(rank) + arcs_.fill(rank)++;
  ++refs_.fill(rank);
  refs_.records()[index] = static_cast<InArcRef>(tailRef);
  arcs_.records()[index] = FlowArc{headRef, capacity, reverseCapacity};
  ++nodes_.records()[tailRef].outBegin;
  ++inBegins_.records()[headRef];
  ++arcPairCount_;
}

inline void FlowGraph::setTerminalResidual(NodeId node, float residual) {
  requireReopened();
  nodes_.records()[nodeRef(node)].terminalResidual = residual;
}

inline CutSide FlowGraph::sideOf(NodeId node) const {
  const FlowNode& n = nodes_.records()[nodeRef(node)];
  if (!solved_) return CutSide::SinkSide;
  return (n.parentLink != links::kParentNull && n.inSinkTree == 0) ? CutSide::SourceSide : CutSide::SinkSide;
}

// Range rule. A tagged range is the last one of its block: its first slot
// holds the index where it ends, and it starts at the slot after. Otherwise
// the range ends where the next record of the node block starts (the next
// node, or the block's end marker), tagged or not.
inline void FlowGraph::outRange(std::int32_t ref, std::uint32_t& begin, std::uint32_t& end) const {
  const FlowNode* nodes = nodes_.records();
  const std::uint32_t start = nodes[ref].outBegin;
  if (links::isTagged(start)) {
    const std::uint32_t s = links::slotOf(start);
    begin = s + 1;
    end = static_cast<std::uint32_t>(arcs_.records()[s].headOffset);
  } else {
    begin = links::slotOf(start);
    end = links::slotOf(nodes[ref + 1].outBegin);
  }
}

inline void FlowGraph::inRange(std::int32_t ref, std::uint32_t& begin, std::uint32_t& end) const {
  const std::uint32_t* starts = inBegins_.records();
  const std::uint32_t start = starts[ref];
  if (links::isTagged(start)) {
    const std::uint32_t s = links::slotOf(start);
    begin = s + 1;
    end = refs_.records()[s];
  } else {
    begin = links::slotOf(start);
    end = links::slotOf(starts[ref + 1]);
  }
}

}  // namespace orbelt
