// The one-time, in-place rearrangement of the appended arcs into per-node
// ranges. The tail entries end up as the in-ranges; no second copy of the
// arcs is ever made. The order of the moves is worked out first on small
// working arrays kept by the graph (per node a cursor, per pair a traced
// destination), which keep the walk in cache.
//
// The order this produces inside each range is what the search scans, and
// with float capacities the scan order decides which residuals reach exactly
// zero, so every step below keeps its order.
#include "maxflow/FlowGraph.h"
#include "maxflow/FlowLinks.h"

namespace orbelt {

namespace {
constexpr const char* kNotEnoughMemory = "Not enough memory!";
constexpr const char* kTooManyArcs = "# of arcs per node exceeds block size!";

// Flags of a node's layout cursor, beside the slot index (below 2^30): while
// the records move, its out-range lies in a block started by the layout
// itself, so no tail entries run beside it; afterwards, its range is the
// tagged last range of its block.
constexpr std::uint32_t kNoTailEntries = 0x80000000u;
constexpr std::uint32_t kTaggedRange = 0x40000000u;
constexpr std::uint32_t kSlotBits = 0x3FFFFFFFu;
// Marks the last entry of a chain in the list of moves: where the record
// carried last is put down.
constexpr std::uint32_t kChainEnd = 0x80000000u;
// A traced slot whose record has been reached (or that never held one).
constexpr std::uint32_t kReached = 0x40000000u;
// Sibling links of the trace: none, or "this tail has more than two pairs:
// ask its cursor".
constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;
constexpr std::uint32_t kManyPairs = 0xFFFFFFFEu;
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
  const std::size_t nodeSlots = static_cast<std::size_t>(nodes_.blockCount()) * kNodeSlotsPerBlock;
  if (!cursor_.reserve(nodeSlots) || !firstPair_.reserve(nodeSlots)) fail(kNotEnoughMemory);

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
    arcs_.fill(rank) = static_cast<std::int32_t>(links::slotOf(last.outBegin)) - decltype(arcs_)::firstSlot(rank);
  }

  moveArcsIntoRanges(preexisting);
  markLastOutRanges();

  for (std::int32_t rank = 0; rank < refs_.blockCount(); ++rank) {
    const std::uint32_t lastStart = inBegins_.records()[refs_.lastNode(rank)];
    refs_.fill(rank) = static_cast<std::int32_t>(links::slotOf(lastStart)) - decltype(refs_)::firstSlot(rank);
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
        } else {
          if (!outGrown) scanRank = -1;  // walked past the oldest block
          if (!arcs_.startBlock()) fail(kNotEnoughMemory);
          outRank = arcs_.blockCount() - 1;
          outGrown = true;
        }
        outPos = 0;
      }
      FlowNode& node = nodes_.records()[ref];
      outPos += k;
      const std::uint32_t rangeEnd = static_cast<std::uint32_t>(decltype(arcs_)::firstSlot(outRank)) + outPos;
      node.outBegin = links::rangeStart(rangeEnd);
      // The tail entries run in lockstep with the arc slots of the blocks
      // that existed before the layout (the scan block always has the out
      // block's rank), so the entry cursor and the range end are one index.
      if (scanRank >= 0) {
        cursor_[ref] = rangeEnd;
      } else {
        cursor_[ref] = rangeEnd | kNoTailEntries;
      }
      firstPair_[ref] = k > 2 ? kManyPairs : kNoSlot;
      arcs_.lastNode(outRank) = ref;

      // In-range: the same packing over the reference blocks, with no scan.
      std::uint32_t& inBegin = inBegins_.records()[ref];
      k = inBegin;
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
      inBegin = links::rangeStart(static_cast<std::uint32_t>(decltype(refs_)::firstSlot(inRank)) + inPos);
      refs_.lastNode(inRank) = ref;
    }
    // The end marker closes the block's last range that is not tagged.
    nodes_.records()[first + fill].outBegin =
        links::rangeStart(static_cast<std::uint32_t>(decltype(arcs_)::firstSlot(outRank)) + outPos);
    inBegins_.records()[first + fill] =
        links::rangeStart(static_cast<std::uint32_t>(decltype(refs_)::firstSlot(inRank)) + inPos);
  }
}

// Moves every appended record to its tail's range, filling each range from its
// end, by chains of moves: the record displaced from a destination is carried
// on to its own tail's range, until a slot whose record has already moved
// (or that never held one) ends the chain. Head references become offsets on
// the way. Afterwards every node's cursor designates the start of its range.
//
// A record's destination depends only on the order in which the chains reach
// the records of its tail, and that order depends only on the tail entries
// and the range ends. So the chains are first traced on a compact array of
// destinations alone, writing the visited slots into a list; the records are
// then moved along the list. Tracing is a walk of dependent reads through the
// whole graph, and keeping it off the 12-byte records and 32-byte nodes keeps
// it in cache; moving along a list lets the record reads overlap.
void FlowGraph::moveArcsIntoRanges(std::int32_t preexisting) {
  const std::size_t slots = static_cast<std::size_t>(preexisting) * kArcSlotsPerBlock;
  // Each chain lists its slots and one end entry: at most two per pair.
  const std::size_t pairs = static_cast<std::size_t>(preexisting) * kArcsPerBlock;
  if (!moves_.reserve(2 * pairs) || !trace_.reserve(slots)) fail(kNotEnoughMemory);
  planArcDestinations(preexisting);
  moveArcsAlongChains(traceMoveChains(preexisting));
  // Every cursor now stands at the start of its node's range; fillInRanges
  // hands the starts to the nodes.
}

// Where each record goes when the chains reach it. A tail with one pair
// sends it to the last slot of its range. A tail with two sends the one
// reached first there and the other one slot earlier: the two slots point
// at each other, and the first one reached moves its sibling's destination
// back. Only tails with more pairs (none in an expansion move) count down
// their cursor as the chains reach them. So a step of a chain reads one
// slot, not a tail entry and then that tail's cursor.
void FlowGraph::planArcDestinations(std::int32_t preexisting) {
  const InArcRef* entries = refs_.records();
  std::uint32_t* cursor = cursor_.data();
  std::uint32_t* firstPair = firstPair_.data();
  TraceSlot* trace = trace_.data();
  for (std::int32_t rank = 0; rank < preexisting; ++rank) {
    const std::size_t first = static_cast<std::size_t>(decltype(arcs_)::firstSlot(rank));
    for (std::size_t slot = first; slot < first + kArcsPerBlock; ++slot) {
      const InArcRef tail = entries[slot];
      if (tail == kNoTailNode) {
        trace[slot] = {kReached, kNoSlot};
        continue;
      }
      const std::uint32_t sibling = firstPair[tail];
      if (sibling == kManyPairs) {
        trace[slot] = {0, kManyPairs};
      } else if (sibling == kNoSlot) {
        trace[slot] = {--cursor[tail], kNoSlot};
        firstPair[tail] = static_cast<std::uint32_t>(slot);
      } else {
        trace[slot] = {trace[sibling].destination, sibling};
        trace[sibling].sibling = static_cast<std::uint32_t>(slot);
        --cursor[tail];
      }
    }
  }
}

// Follows the chains over the planned destinations alone, listing each
// chain's slots in `moves_` and ending it with a marked entry; returns the
// number of entries listed.
std::size_t FlowGraph::traceMoveChains(std::int32_t preexisting) {
  const InArcRef* entries = refs_.records();
  std::uint32_t* cursor = cursor_.data();
  std::uint32_t* moves = moves_.data();
  TraceSlot* trace = trace_.data();
  std::size_t count = 0;
  for (std::int32_t rank = preexisting - 1; rank >= 0; --rank) {
    const std::uint32_t first = static_cast<std::uint32_t>(decltype(arcs_)::firstSlot(rank));
    for (std::uint32_t start = first; start < first + kArcsPerBlock; ++start) {
      if ((trace[start].destination & kReached) != 0) continue;
      std::uint32_t slot = start;
      moves[count++] = slot;
      for (;;) {
        const TraceSlot here = trace[slot];
        trace[slot].destination = kReached;
        std::uint32_t destination = here.destination;
        if (here.sibling == kManyPairs) {
          destination = --cursor[entries[slot]];
        } else if (here.sibling != kNoSlot) {
          trace[here.sibling] = {destination - 1, kNoSlot};
        }
        slot = destination & kSlotBits;
        if ((destination & kNoTailEntries) != 0 || (trace[slot].destination & kReached) != 0) {
          moves[count++] = slot | kChainEnd;
          break;
        }
        moves[count++] = slot;
      }
    }
  }
  return count;
}

// Carries the records along the listed chains, turning head references into
// offsets on the way.
void FlowGraph::moveArcsAlongChains(std::size_t count) {
  const InArcRef* entries = refs_.records();
  const std::uint32_t* moves = moves_.data();
  FlowArc* arcs = arcs_.records();
  for (std::size_t k = 0; k < count;) {
    std::uint32_t slot = moves[k++];
    FlowArc held = arcs[slot];
    held.headOffset -= static_cast<std::int32_t>(entries[slot]);
    for (;;) {
      slot = moves[k++];
      if ((slot & kChainEnd) != 0) {
        arcs[slot & ~kChainEnd] = held;
        break;
      }
      FlowArc read = arcs[slot];
      read.headOffset -= static_cast<std::int32_t>(entries[slot]);
      arcs[slot] = held;
      held = read;
    }
  }
}

// Tags the last range of every arc block: its first record moves to the fill
// slot (the spare slot when the block is full) and its first slot keeps the
// index where the range now ends. The node learns it is tagged through its
// cursor; fillInRanges writes its outBegin.
void FlowGraph::markLastOutRanges() {
  FlowArc* arcs = arcs_.records();
  std::uint32_t* cursor = cursor_.data();
  for (std::int32_t rank = 0; rank < arcs_.blockCount(); ++rank) {
    std::uint32_t& last = cursor[arcs_.lastNode(rank)];
    const std::uint32_t s = last & kSlotBits;
    const std::uint32_t fillSlot = static_cast<std::uint32_t>(decltype(arcs_)::firstSlot(rank) + arcs_.fill(rank));
    arcs[fillSlot] = arcs[s];
    arcs[s].headOffset = static_cast<std::int32_t>(fillSlot + 1);
    last = s | kTaggedRange;
  }
}

// Gives every node its out-range start, and fills every in-range from its end
// towards its start, visiting the out-arcs of every node in node order and
// range order. Beside each in-range entry goes its pair's head offset, so a
// scan of an in-range finds the neighbour without first reading the pair's
// record. The out-ranges are read from the compact cursors by the range
// rule (an untagged range ends where the next record of the node block
// starts), so that the node records are passed over once.
void FlowGraph::fillInRanges() {
  if (!inTailOffsets_.reserve(static_cast<std::size_t>(refs_.blockCount()) * kArcSlotsPerBlock)) {
    fail(kNotEnoughMemory);
  }
  std::int32_t* tailOffsets = inTailOffsets_.data();
  FlowNode* nodes = nodes_.records();
  const std::uint32_t* cursor = cursor_.data();
  std::uint32_t* starts = inBegins_.records();
  const FlowArc* arcs = arcs_.records();
  InArcRef* entries = refs_.records();
  for (std::int32_t nodeRank = nodes_.blockCount() - 1; nodeRank >= 0; --nodeRank) {
    const std::int32_t first = decltype(nodes_)::firstSlot(nodeRank);
    const std::int32_t fill = nodes_.fill(nodeRank);
    for (std::int32_t ref = first; ref < first + fill; ++ref) {
      const std::uint32_t c = cursor[ref];
      std::uint32_t begin = c & kSlotBits;
      std::uint32_t end = 0;
      if ((c & kTaggedRange) != 0) {
        nodes[ref].outBegin = links::taggedRangeStart(begin);
        end = static_cast<std::uint32_t>(arcs[begin].headOffset);
        ++begin;
      } else {
        nodes[ref].outBegin = links::rangeStart(begin);
        // The end marker's outBegin was set with the range ends; a node's
        // start is its cursor.
        end = ref + 1 < first + fill ? cursor[ref + 1] & kSlotBits : links::slotOf(nodes[ref + 1].outBegin);
      }
      for (std::uint32_t a = begin; a < end; ++a) {
        std::uint32_t& headStart = starts[ref + arcs[a].headOffset];
        headStart = links::oneSlotBack(headStart);
        entries[links::slotOf(headStart)] = a;
        tailOffsets[links::slotOf(headStart)] = arcs[a].headOffset;
      }
    }
  }
}

void FlowGraph::markLastInRanges() {
  std::int32_t* tailOffsets = inTailOffsets_.data();
  std::uint32_t* starts = inBegins_.records();
  InArcRef* entries = refs_.records();
  for (std::int32_t rank = 0; rank < refs_.blockCount(); ++rank) {
    std::uint32_t& lastStart = starts[refs_.lastNode(rank)];
    const std::uint32_t s = links::slotOf(lastStart);
    const std::uint32_t fillSlot = static_cast<std::uint32_t>(decltype(refs_)::firstSlot(rank) + refs_.fill(rank));
    entries[fillSlot] = entries[s];
    tailOffsets[fillSlot] = tailOffsets[s];
    entries[s] = fillSlot + 1;
    lastStart = links::taggedRangeStart(s);
  }
}

}  // namespace orbelt
