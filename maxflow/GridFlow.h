#pragma once
// GridFlow: the two-search-tree max-flow of an s-t network whose nodes are
// the pixels of a width x height grid, each linked to its four neighbours,
// for expansion moves solved again and again on the same grid.
//
// Why beside FlowGraph: a grid's topology is implicit. A node's neighbours
// are one node and one row away, so there are no arc records, ranges or
// indices to follow; a node keeps its residual towards each neighbour in its
// own record, so growing from a node reads that record alone. And a solve may
// open its nodes lazily: a node's record is written only when the search
// first reaches it (NodeSource), so a solve whose search stays local costs
// what it touches, not what the grid holds.
//
// The search is FlowGraph's (maxflow/FlowGraph.h) on this layout: the source
// tree grows from the roots it is given, in the order given; sink roots stay
// passive (the sink tree grows only where adoption frees a node); growth
// scans the neighbours right, down, left, up (a source-tree node stops at its
// first connection; a sink-tree node scans right and down, stopping there
// at a connection, and then left and up, where a connection replaces the
// first); augmentation, the orphans' order and adoption by the shallowest
// confirmed parent follow FlowGraph. When no node is active the source tree
// is the set reachable from the source through nonzero residuals: the source
// side of a minimum cut, the same set for every maximum flow.
//
// Solving in regions: a solve may first run on row bands, each on its own
// (and on its own thread), with the residuals of the pairs joining two bands
// held at zero both ways, and then go on over the whole grid from the bands'
// trees once those residuals are back (joinRegions), as FlowGraph's regions.
//
// Calling order per solve: beginSolve; open (or write through openRecord)
// the nodes the caller wants open from the start; solveRegion for each band
// with its source roots (or once for the whole grid); when there were bands,
// restore the joining pairs' residuals of the open nodes and joinRegions;
// then read the records (isOpen, sourceSide, the residuals, flowChanged).
//
// Owns: one record per pixel (Node, 32 bytes) and each region's active and
// orphan queues. Fails: resize() returns false, keeping nothing, when the
// records cannot be allocated; the queues grow with std::vector (bad_alloc).
// Threads: regions of one solve may run at the same time on different
// threads; each opens only nodes of its own rows. Nothing else is shared.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/PageBuffer.h"

namespace orbelt {

class FlowObserver;

class GridFlow {
 public:
  // Directions, as indices of Node::residual and bits of Node::flowChanged.
  // The opposite of d is d ^ 2.
  static constexpr int kRight = 0;
  static constexpr int kDown = 1;
  static constexpr int kLeft = 2;
  static constexpr int kUp = 3;

  // Node::parent: no tree, a root, an orphan, or kParentTowards + d: the
  // parent is the neighbour in direction d.
  static constexpr std::uint8_t kNoParent = 0;
  static constexpr std::uint8_t kTerminalParent = 1;
  static constexpr std::uint8_t kOrphanParent = 2;
  static constexpr std::uint8_t kParentTowards = 4;

  // 32 bytes, two to a cache line: writing a move streams every record, and
  // the search reads neighbours a row apart, so the size is the speed.
  struct Node {
    // Residual towards the neighbour in each direction (0 where none is).
    float residual[4];
    // > 0: residual from the source; < 0: its magnitude, to the sink.
    float terminal;
    // The clock value at which `depth` was last confirmed.
    std::int32_t stamp;
    // Links from the node to its terminal, the terminal link included.
    std::int32_t depth;
    std::uint8_t parent;
    // Bit d: an augmentation pushed flow along the pair towards direction d
    // (set at both ends of the pair) since the node was opened.
    std::uint8_t flowChanged;
    // Bits 0-3 (bit d): the grid has a neighbour in direction d (fixed by
    // resize). kReachedFlag: the node is in its region's reached list.
    // kQueuedFlag: it is in the active queue (or grows now). kSinkTreeFlag:
    // in the sink tree, else the source tree (while parent is set).
    std::uint8_t flags;
    // The solve that opened the record (a small counter, see beginSolve);
    // another value: not opened in this solve.
    std::uint8_t openedIn;
  };
  static constexpr std::uint8_t kReachedFlag = 0x10;
  static constexpr std::uint8_t kQueuedFlag = 0x20;
  static constexpr std::uint8_t kSinkTreeFlag = 0x40;
  // The tree of a node that has a parent: 1 the sink's, 0 the source's.
  static std::uint8_t treeOf(const Node& n) { return (n.flags & kSinkTreeFlag) != 0 ? 1 : 0; }
  static void setTree(Node& n, std::uint8_t tree) {
    n.flags = static_cast<std::uint8_t>((n.flags & ~kSinkTreeFlag) | (tree != 0 ? kSinkTreeFlag : 0));
  }

  // Writes the record of a node the search reaches before it is open: must
  // call GridFlow::open (or fill the record and openRecord) for that node
  // and no other. Called on the thread of the region searching.
  class NodeSource {
   public:
    virtual void openNode(std::int32_t node) = 0;

   protected:
    ~NodeSource() = default;
  };

  // The search state of one region: its active queue, orphan queues and
  // clock. Keep one per region across solves (the queues keep their memory).
  class Region {
   private:
    friend class GridFlow;
    std::vector<std::int32_t> active;  // the active queue from activeHead on, first in first out
    std::size_t activeHead = 0;
    std::int32_t first = 0;  // the region's nodes, [first, end)
    std::int32_t end = 0;
    std::int32_t clock = 0;
    float flow = 0.0f;
    std::vector<std::int32_t> pushedOrphans;  // by the last augmentation, in path order
    std::vector<std::int32_t> orphanQueue;    // one orphan's adoption, breadth-first
    std::vector<std::int32_t> reached;        // see GridFlow::reached
  };

  GridFlow() = default;
  GridFlow(const GridFlow&) = delete;
  GridFlow& operator=(const GridFlow&) = delete;

  // Makes the records of a width x height grid (none open). Returns false,
  // keeping nothing, when memory is short.
  bool resize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }
  static std::uint64_t bytesPerNode() { return sizeof(Node); }

  // Starts a solve: every record counts as not open until opened again.
  // `source` (not owned; null: every node is opened by the caller before it
  // is reached) opens the others as the search reaches them.
  void beginSolve(NodeSource* source);

  // Opens node i for this solve with these residuals: a root of the source
  // tree when terminal > 0 (activated only when the caller lists it, or when
  // the search opens it), of the sink tree when < 0, free when 0.
  void open(std::int32_t i, float terminal, float right, float down, float left, float up) {
    Node& n = nodes_[i];
    n.residual[kRight] = right;
    n.residual[kDown] = down;
    n.residual[kLeft] = left;
    n.residual[kUp] = up;
    n.terminal = terminal;
    openRecord(i);
  }
  // Opens node i whose residuals and terminal the caller wrote into
  // record(i) already.
  void openRecord(std::int32_t i) {
    Node& n = nodes_[i];
    n.stamp = 0;
    n.parent = n.terminal != 0 ? kTerminalParent : kNoParent;
    n.depth = n.terminal != 0 ? 1 : 0;
    n.flowChanged = 0;
    n.flags = static_cast<std::uint8_t>((n.flags & ~(kReachedFlag | kQueuedFlag | kSinkTreeFlag)) |
                                        (n.terminal < 0 ? kSinkTreeFlag : 0));
    n.openedIn = solve_;
  }
  Node& record(std::int32_t i) { return nodes_[i]; }
  const Node& record(std::int32_t i) const { return nodes_[i]; }
  bool isOpen(std::int32_t i) const { return nodes_[i].openedIn == solve_; }

  // Solves the rows [firstRow, endRow) alone with `region`'s state, growing
  // the source tree from `roots` (open nodes with terminal > 0, in this
  // order), and returns the flow found. The caller guarantees that every
  // pair between a node of the rows and one outside has zero residual both
  // ways in every open record: the search then reads and opens only the
  // rows' nodes, and regions of disjoint rows may be solved at once.
  float solveRegion(int firstRow, int endRow, std::span<const std::int32_t> roots, Region& region);
  // After every region is solved and the residuals of the pairs joining
  // them written back into the open records (and into any record opened
  // from now on): ends the search over the whole grid and returns the flow
  // of the regions and of this search. `joiningUpperNodes` are the upper
  // ends of the joining pairs (each joins node p and p + width), in the order
  // their ends are woken.
  float joinRegions(std::span<Region* const> regions, std::span<const std::int32_t> joiningUpperNodes);

  // After a solve: the nodes the search of `region` queued to grow or pushed
  // flow through, each once (the joined search's go to the first region's
  // list). Every node on the source side is among them, and so is every
  // node with a flowChanged bit; any other node's records are as opened.
  std::span<const std::int32_t> reached(const Region& region) const { return region.reached; }

  // After a solve: whether node i ended on the source side (open, in the
  // source tree). A node never opened is on the sink side.
  bool sourceSide(std::int32_t i) const {
    const Node& n = nodes_[i];
    return n.openedIn == solve_ && n.parent != kNoParent && treeOf(n) == 0;
  }

  // Watches the searches (growth, augmentations, adoptions; nodes are pixel
  // indices); null detaches. Not owned. Attach one only when regions are
  // solved one at a time.
  void setObserver(FlowObserver* observer) { observer_ = observer; }

 private:
  // A place where the trees touch: from s (source tree) towards direction d
  // lies t (sink tree).
  struct Connection {
    std::int32_t s;
    std::int32_t t;
    int d;
  };
  struct Candidate {
    int direction;  // towards the candidate parent, -1 for none
    std::int32_t depth;
  };

  std::int32_t neighbour(std::int32_t i, int d) const { return i + offsets_[d]; }
  // Whether neighbour j of i (in direction d) exists and lies in the region.
  bool reachable(const Region& s, std::int32_t i, int d) const;
  // Opens j if this solve has not; activates it when it turns out a source root.
  void ensureOpen(Region& s, std::int32_t j) {
    if (nodes_[j].openedIn != solve_) openLazily(s, j);
  }
  void openLazily(Region& s, std::int32_t j);
  void activate(Region& s, std::int32_t i);
  void markReached(Region& s, std::int32_t i) {
    Node& n = nodes_[i];
    if ((n.flags & kReachedFlag) != 0) return;
    n.flags |= kReachedFlag;
    s.reached.push_back(i);
  }
  std::int32_t nextActiveNode(Region& s);
  void runSearch(Region& s);
  // Makes m, the neighbour of n in direction d, n's child: a shorter path,
  // confirmed when n's depth was.
  static void hangBelow(Node& m, const Node& n, int d) {
    m.parent = static_cast<std::uint8_t>(kParentTowards + (d ^ 2));
    m.stamp = n.stamp;
    m.depth = n.depth + 1;
  }
  bool growSourceTree(Region& s, std::int32_t i, Connection& connection);
  bool growSinkTree(Region& s, std::int32_t i, Connection& connection);
  bool growSinkTowards(Region& s, std::int32_t i, int d, Connection& connection);
  void augment(Region& s, const Connection& connection);
  float bottleneck(const Connection& connection) const;
  void pushOrphan(Region& s, std::int32_t i);
  void adoptOrphans(Region& s);
  void adoptSourceOrphan(Region& s, std::int32_t i);
  void adoptSinkOrphan(Region& s, std::int32_t i);
  void settleOrphan(Region& s, std::int32_t i, const Candidate& best, std::uint8_t tree);
  void freeOrphan(Region& s, std::int32_t i, std::uint8_t tree);
  void considerParent(Region& s, std::int32_t j, int d, std::uint8_t tree, Candidate& best);

  int width_ = 0;
  int height_ = 0;
  std::int32_t offsets_[4] = {1, 0, -1, 0};
  // The records, on whole pages: the search jumps between rows, and huge
  // pages spare it most of the page walks that small ones cost.
  PageBuffer records_;
  Node* nodes_ = nullptr;
  std::uint8_t solve_ = 0;
  NodeSource* source_ = nullptr;
  FlowObserver* observer_ = nullptr;
};

}  // namespace orbelt
