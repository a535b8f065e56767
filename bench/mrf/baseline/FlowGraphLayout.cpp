// The one-time, in-place rearrangement of the appended arcs into per-node
// ranges. The tail entries are the only scratch space and end up as the
// in-ranges; no second copy of the arcs is ever made.
//
// The order this produces inside each range is what the search scans, and
// with float capacities the scan order decides which residuals reach exactly
// zero, so every step below keeps its order.
#include "bench/mrf/baseline/FlowGraph.h"
#include "bench/mrf/baseline/FlowLinks.h"

namespace orbelt::baseline {

namespace {
constexpr const char* kNotEnoughMemory = "Not enough memory!";
constexpr const char* kTooManyArcs = "# of arcs per node exceeds block size!";
}  // namespace

void FlowGraph::layoutArcs() {
  // An empty graph still gets one pair, between two fresh nodes with no
  // terminal capacity: they never join a tree and never carry flow, and the
  // steps below need at least one block of each kind.
  if (refs_.blockCount() == 0) {
    const NodeId a = createNode();
    const NodeId b = createNode();
    addArcPair(a, b, 1.0f, 0.0f);
  }
  laidOut_ = true;

  // Blocks the layout itself starts hold no appended arcs, so only these
  // carry tail entries and records to move.
  const std::int32_t preexisting = arcs_.blockCount();

  // Tail entries past the fill of the newest reference block are garbage:
  // make them end every chain of moves that reaches them.
  {
    const std::int32_t rank = refs_.blockCount() - 1;
    InArcRef* entries = refs_.records() + decltype(refs_)::firstSlot(rank);
    for (std::int32_t slot = refs_.fill(rank); slot < kArcsPerBlock; ++slot) entries[slot] = kNoTailNode;
  }

  assignRangeEnds(preexisting);

  // Each arc block is filled up to the end of its last node's range.
  for (std::int32_t rank = 0; rank < arcs_.blockCount(); ++rank) {
    const FlowNode& last = nodes_.records()[arcs_.lastNode(rank)];
    arcs_.fill(rank) =
        static_cast<std::int32_t>(links::slotOf(last.outBegin)) - decltype(arcs_)::firstSlot(rank);
  }

  moveArcsIntoRanges(preexisting);
  markLastOutRanges();

  for (std::int32_t rank = 0; rank < refs_.blockCount(); ++rank) {
    const FlowNode& last = nodes_.records()[refs_.lastNode(rank)];
    refs_.fill(rank) =
        static_cast<std::int32_t>(links::slotOf(last.inBegin)) - decltype(refs_)::firstSlot(rank);
  }

  fillInRanges();
  markLastInRanges();
}

// Gives every node, in node order, the end of its out-range and of its
// in-range, packing the ranges into the existing blocks from the newest one
// back, and starting new blocks only when the existing ones run out. No range
// crosses a block boundary. Each node whose out-range lies in an existing
// block also gets a cursor to the matching tail entry, for the moves.
void FlowGraph::assignRangeEnds(std::int32_t preexisting) {
  std::int32_t outRank = preexisting - 1;
  std::int32_t scanRank = preexisting - 1;
  std::int32_t inRank = refs_.blockCount() - 1;
  std::uint32_t outPos = 0;
  std::uint32_t scanPos = 0;
  std::uint32_t inPos = 0;
  bool outGrown = false;
  bool inGrown = false;
  const std::uint32_t blockSlots = kArcsPerBlock;

  for (std::int32_t nodeRank = nodes_.blockCount() - 1; nodeRank >= 0; --nodeRank) {
    const std::int32_t first = decltype(nodes_)::firstSlot(nodeRank);
    const std::int32_t fill = nodes_.fill(nodeRank);
    for (std::int32_t ref = first; ref < first + fill; ++ref) {
      // Out-range.
      std::uint32_t k = nodes_.records()[ref].outBegin;
      if (outPos + k > blockSlots) {
        if (k > blockSlots) fail(kTooManyArcs);
        if (!outGrown && outRank > 0) {
          --outRank;
          --scanRank;
          scanPos = 0;
        } else {
          if (!outGrown) scanRank = -1;  // walked past the oldest block
          if (!arcs_.startBlock()) fail(kNotEnoughMemory);
          outRank = arcs_.blockCount() - 1;
          outGrown = true;
        }
        outPos = 0;
      }
      FlowNode& node = nodes_.records()[ref];
      if (scanRank >= 0) {
        scanPos += k;
        node.parentLink = static_cast<std::uint32_t>(decltype(refs_)::firstSlot(scanRank)) + scanPos;
      } else {
        node.parentLink = links::kNoTailEntryCursor;
      }
      outPos += k;
      node.outBegin = links::rangeStart(static_cast<std::uint32_t>(decltype(arcs_)::firstSlot(outRank)) + outPos);
      arcs_.lastNode(outRank) = ref;

      // In-range: the same packing over the reference blocks, with no scan.
      k = node.inBegin;
      if (inPos + k > blockSlots) {
        if (k > blockSlots) fail(kTooManyArcs);
        if (!inGrown && inRank > 0) {
          --inRank;
        } else {
          if (!refs_.startBlock()) fail(kNotEnoughMemory);
          inRank = refs_.blockCount() - 1;
          inGrown = true;
        }
        inPos = 0;
      }
      inPos += k;
      node.inBegin = links::rangeStart(static_cast<std::uint32_t>(decltype(refs_)::firstSlot(inRank)) + inPos);
      refs_.lastNode(inRank) = ref;
    }
    // The end marker closes the block's last range that is not tagged.
    FlowNode& marker = nodes_.records()[first + fill];
    marker.outBegin = links::rangeStart(static_cast<std::uint32_t>(decltype(arcs_)::firstSlot(outRank)) + outPos);
    marker.inBegin = links::rangeStart(static_cast<std::uint32_t>(decltype(refs_)::firstSlot(inRank)) + inPos);
  }
}

// Moves every appended record to its tail's range, filling each range from its
// end, by chains of moves: the record displaced from a destination is carried
// on to its own tail's range, until a slot whose record has already moved
// (or that never held one) ends the chain. Head references become offsets on
// the way. Afterwards every outBegin designates the start of its range.
void FlowGraph::moveArcsIntoRanges(std::int32_t preexisting) {
  FlowNode* nodes = nodes_.records();
  FlowArc* arcs = arcs_.records();
  InArcRef* entries = refs_.records();

  for (std::int32_t rank = preexisting - 1; rank >= 0; --rank) {
    const std::uint32_t first = static_cast<std::uint32_t>(decltype(arcs_)::firstSlot(rank));
    for (std::uint32_t start = first; start < first + kArcsPerBlock; ++start) {
      if (entries[start] == kNoTailNode) continue;
      bool holding = false;
      FlowArc held{};
      std::uint32_t destination = start;
      std::uint32_t current = start;
      for (;;) {
        const std::int32_t tail = static_cast<std::int32_t>(entries[current]);
        entries[current] = kNoTailNode;
        FlowArc read = arcs[destination];
        read.headOffset -= tail;
        if (holding) arcs[destination] = held;
        held = read;
        holding = true;
        FlowNode& tailNode = nodes[tail];
        tailNode.outBegin = links::oneSlotBack(tailNode.outBegin);
        destination = links::slotOf(tailNode.outBegin);
        if (tailNode.parentLink != links::kNoTailEntryCursor) {
          --tailNode.parentLink;
          current = tailNode.parentLink;
        }
        if (entries[current] == kNoTailNode) {
          arcs[destination] = held;
          break;
        }
      }
    }
  }
}

// Tags the last range of every arc block: its first record moves to the fill
// slot (the spare slot when the block is full) and its first slot keeps the
// index where the range now ends.
void FlowGraph::markLastOutRanges() {
  FlowNode* nodes = nodes_.records();
  FlowArc* arcs = arcs_.records();
  for (std::int32_t rank = 0; rank < arcs_.blockCount(); ++rank) {
    FlowNode& last = nodes[arcs_.lastNode(rank)];
    const std::uint32_t s = links::slotOf(last.outBegin);
    const std::uint32_t fillSlot = static_cast<std::uint32_t>(decltype(arcs_)::firstSlot(rank) + arcs_.fill(rank));
    arcs[fillSlot] = arcs[s];
    arcs[s].headOffset = static_cast<std::int32_t>(fillSlot + 1);
    last.outBegin = links::taggedRangeStart(s);
  }
}

// Every in-range fills from its end towards its start, visiting the out-arcs
// of every node in node order and range order.
void FlowGraph::fillInRanges() {
  FlowNode* nodes = nodes_.records();
  const FlowArc* arcs = arcs_.records();
  InArcRef* entries = refs_.records();
  for (std::int32_t nodeRank = nodes_.blockCount() - 1; nodeRank >= 0; --nodeRank) {
    const std::int32_t first = decltype(nodes_)::firstSlot(nodeRank);
    const std::int32_t fill = nodes_.fill(nodeRank);
    for (std::int32_t ref = first; ref < first + fill; ++ref) {
      std::uint32_t begin = 0;
      std::uint32_t end = 0;
      outRange(ref, begin, end);
      for (std::uint32_t a = begin; a < end; ++a) {
        FlowNode& head = nodes[ref + arcs[a].headOffset];
        head.inBegin = links::oneSlotBack(head.inBegin);
        entries[links::slotOf(head.inBegin)] = a;
      }
    }
  }
}

void FlowGraph::markLastInRanges() {
  FlowNode* nodes = nodes_.records();
  InArcRef* entries = refs_.records();
  for (std::int32_t rank = 0; rank < refs_.blockCount(); ++rank) {
    FlowNode& last = nodes[refs_.lastNode(rank)];
    const std::uint32_t s = links::slotOf(last.inBegin);
    const std::uint32_t fillSlot = static_cast<std::uint32_t>(decltype(refs_)::firstSlot(rank) + refs_.fill(rank));
    entries[fillSlot] = entries[s];
    entries[s] = fillSlot + 1;
    last.inBegin = links::taggedRangeStart(s);
  }
}

}  // namespace orbelt::baseline
