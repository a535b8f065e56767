#pragma once
// RecycledGridMoves: the expansion moves of a 4-connected grid solved on one
// persistent grid flow (maxflow/GridFlow.h), each move starting from the
// flow the previous move of the same label left, and opening only the part
// of the grid that changed since then and that its search reaches.
//
// Why: a move's graph has the grid's topology whatever the labels, so the
// grid's records are made once (node p is pixel p) and every move only
// rewrites residuals. And label alpha's move in one sweep differs from its
// move in the previous sweep only where labels changed in between, so its
// last maximum flow is kept (KeptFlows.h) and pushed again before the
// search: only the capacities that changed leave excess to route, and the
// search starts with the sink roots passive, growing just the (small) source
// tree. A label's first move has no flow of its own yet: it borrows the flow
// of the move solved just before it, since any flow is a valid start (see
// Exactness), and on stereo costs the previous move's flow already routes
// much of what this one must; what the borrowed flow leaves on single pairs
// is pushed as in a move started from no flow.
//
// Lazy moves. Once a label keeps its flow and knows the source roots that
// flow leaves (computed when its move ends, on the labels it left), its next
// move need not write the whole grid: a node's residuals depend only on its
// label and its neighbours', the costs and the kept flow of its four pairs,
// so where no label changed since the label's last move (ChangedTiles.h)
// they are what they would be, and the kept roots are the only nodes there
// with source residual. Such a move writes the tiles that changed, opens the
// kept roots, and lets the search open every other node as it first reaches
// it (GridFlow::NodeSource); it reads back only the nodes it opened, keeps
// the halves of the pairs its search pushed no flow along (writing them
// again would only round them again), and recomputes the roots around what
// it opened. The labels are exactly those of the same move written over the
// whole grid (setLazyMoves(false)); a move where much changed is written
// whole anyway.
//
// Exactness: pushing any flow f along a pair with capacities (c, c') and
// moving f between the two nodes' terminals is a reparameterisation: every
// cut keeps its cost up to one constant. A kept flow is clamped to [-c', c]
// for the pair's new capacities first, so any kept flow is valid for any new
// costs (no need to forget flows when the costs change). The minimum cut
// found is the set reachable from the source in the residual graph, which is
// the same for every maximum flow; only float rounding (and ties it turns)
// can tell a recycled move from a fresh one.
//
// A pixel already at alpha keeps its node but gets no terminal residual and
// dead pairs (both residuals 0): no tree reaches it, and its pairs fold into
// its active neighbours' terminals exactly as in a graph built for the move.
//
// The pair terms are those of the move graph built anew (CuttablePair.h for
// a pair no cut can hold). Costs come from tables only: a data table and a
// symmetric pair table, optionally scaled by per-pair multipliers. The data
// table is read in its row-planar form (RowPlanarCosts, set by
// setDataCosts): a move reads every pixel's cost of alpha, one float a pixel
// apart instead of one cache line a pixel apart.
//
// Kept flows: labels keep their flows as long as the budget for them lasts
// (setKeptFlowBudget); labels past it keep none, and each of their moves
// starts from the flow of the move solved just before it. So short memory
// makes recycling degrade label by label, not all at once.
//
// Bands: every move is solved in horizontal bands of the grid (their
// number fixed by the grid's height, whatever the thread count): each
// band's residuals are written, its single pairs pushed and its nodes
// searched on their own, with the vertical pairs joining two bands held at
// zero (GridFlow's regions), and then the search goes on over the whole
// grid from the bands' trees. The bands are handed to as many threads as
// setThreadCount allows, each thread taking the next band when it is done
// with one, so a band whose search runs long does not leave the others'
// threads waiting. Because the split never depends on the thread count,
// neither do the labels: one thread and two give the same bits.
//
// Owns: the grid flow, the pairs' capacities, the kept flows, the change
// tiles, per-pixel label costs and stamps, the bands' search states and,
// with more than one thread, a pool of worker threads. Borrows the data costs (setDataCosts).
// Fails: prepare() returns false, keeping nothing, when its memory cannot
// be allocated; a move that cannot grow its search's queues raises
// std::bad_alloc, the labels untouched. A kept flow that cannot be allocated
// is simply not kept.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "maxflow/GridFlow.h"
#include "mrf/ChangedTiles.h"
#include "mrf/HalfFloat.h"
#include "mrf/KeptFlows.h"
#include "mrf/RowPlanarCosts.h"
#include "platform/TaskPool.h"

namespace orbelt {

class FlowObserver;
struct TerminalTerms;

class RecycledGridMoves final : private GridFlow::NodeSource {
 public:
  // The costs a move reads, all borrowed and unchanged during a move.
  struct Costs {
    const float* pairTable;   // labelCount x labelCount, symmetric
    const float* horizontal;  // per pixel, the pair with its right neighbour; null: all 1
    const float* vertical;    // per pixel, the pair with the pixel below; null: all 1
  };

  // Solves counted since prepare(): moves that started from no flow (only
  // the first), moves that started from their label's kept flow, and first
  // moves of a label that borrowed the flow of the move before them; of the
  // recycled ones, those solved lazily, and the nodes those opened.
  struct MoveCounts {
    std::int64_t fresh = 0;
    std::int64_t recycled = 0;
    std::int64_t borrowed = 0;
    std::int64_t lazy = 0;
    std::int64_t lazyNodesOpened = 0;
  };

  // Bytes a width x height grid's state takes besides the kept flows (the
  // grid flow, capacities and per-pixel bookkeeping), and the most bytes
  // one label's kept flow takes, for a memory estimate.
  static std::uint64_t baseStateBytes(int width, int height);
  static std::uint64_t keptFlowBytes(int width, int height);

  RecycledGridMoves() = default;
  RecycledGridMoves(const RecycledGridMoves&) = delete;
  RecycledGridMoves& operator=(const RecycledGridMoves&) = delete;

  // Makes the grid's records and arrays (no flow kept yet). Returns false,
  // keeping nothing, when memory is short.
  bool prepare(int width, int height, int labelCount);
  bool isPrepared() const { return capacities_ != nullptr; }
  // Most bytes the kept flows may take together (default: no limit): labels
  // keep their flows, as their moves are solved, while it lasts. Lowering it
  // drops the flows of the labels past it.
  void setKeptFlowBudget(std::uint64_t bytes) { kept_.setBudget(bytes); }
  // Labels whose last move's flow is kept now.
  int keptFlowLabels() const { return kept_.keptLabels(); }
  // Inspection, for tests and tools: the halves `label` keeps (KeptFlows.h),
  // null when it keeps none; the source roots it keeps, if it knows them;
  // and, worked out over the whole grid, the nodes with source residual
  // were its move to start now from its kept flow on `labels` and `costs`
  // (empty when it keeps no flow), in pixel order.
  const std::uint16_t* keptFlow(int label) const { return kept_.flows(label); }
  bool keepsRoots(int label) const { return kept_.rootsKnown(label); }
  std::span<const std::int32_t> keptRoots(int label) const { return kept_.roots(label); }
  std::vector<std::int32_t> startRoots(int label, int* labels, const Costs& costs);

  // The data costs the moves read (not owned; must hold the grid's size and
  // live as long as moves are solved). Call after prepare() and again
  // whenever they move or their contents change, then loadLabelCosts.
  void setDataCosts(const RowPlanarCosts* costs);
  // Notes every pixel's label and its data cost. Call after setDataCosts and
  // again whenever labels changed other than by expand().
  void loadLabelCosts(const int* labels);

  // One expansion move of `alpha` (0 <= alpha < labelCount) on `labels`
  // (pixelCount entries, row-major, changed in place: the cut's source side
  // takes alpha). Returns whether any label changed. Keeps the move's flow
  // for alpha's next move.
  bool expand(int alpha, int* labels, const Costs& costs);

  MoveCounts moveCounts() const { return counts_; }
  // Watches the searches; null detaches. Not owned. While one watches, the
  // bands are solved one after the other.
  void setObserver(FlowObserver* observer) {
    observer_ = observer;
    flow_.setObserver(observer);
  }
  // Threads a move may use (>= 1, default 1). The labels do not depend on it.
  void setThreadCount(int threads);
  // The bands a move is split into: a band per kBandRows rows (setBandRows),
  // at least two on a grid of two rows or more and at most kMaxBands. More
  // bands than threads even out the threads' work; every band more adds a
  // joint that the joined search, on one thread, crosses.
  static constexpr int kMaxBands = 16;
  static constexpr int kBandRows = 64;
  static int bandCountFor(int height, int bandRows);
  // Rows per band (>= 1, default kBandRows), before prepare(). For tests:
  // one row a band makes many bands on a small grid.
  void setBandRows(int rows) { bandRows_ = rows < 1 ? 1 : rows; }

  // Whether moves may be lazy (default true). Off, every move writes and
  // reads the whole grid; the labels are the same. For tests and benchmarks.
  void setLazyMoves(bool lazy) { lazyMoves_ = lazy; }
  // Side of the square tiles in which changes are tracked: kTileSize, or a
  // quarter of the grid's shorter side on a grid smaller than 64 pixels
  // (down to single pixels), so a small grid keeps parts unchanged too.
  static constexpr int kTileSize = 16;
  static int tileSizeFor(int width, int height);

 private:
  // The rows [first, end) of one band.
  struct Band {
    int firstRow;
    int endRow;
  };
  // Where a move's start flow comes from.
  enum class Start { None, Kept, Graph, OtherLabel };
  // What every part of a move reads: set when the move starts.
  struct Move {
    int alpha = 0;
    int* labels = nullptr;
    Costs costs{};
    bool scaled = false;
    Start start = Start::None;
    const std::uint16_t* halves = nullptr;  // for Kept and OtherLabel
    bool lazy = false;
    bool joined = false;  // the joining pairs hold their residuals again
  };
  // One node's state at the start of a move: its terminal residual, its
  // residuals towards each neighbour, and the capacities of its own pairs.
  struct NodeStart {
    float terminal;
    float residual[4];
    float capacityRight;
    float capacityDown;
  };

  void splitIntoBands();
  int bandOf(int row) const;
  void forEachBand(const std::function<void(int)>& part);
  void decideStart(int alpha, bool& kept);
  bool decideLazy(int alpha);

  // The flow a pair starts from (slot: 2 * pixel, + 1 for the pair below).
  float startFlow(std::size_t slot) const;
  template <Start kStart>
  float startFlowFrom(std::size_t slot) const;
  // Node p's start in this move from the kept halves `halves`, on `labels`.
  template <bool kScaled>
  NodeStart nodeStart(int p, const int* labels, const std::uint16_t* halves) const;
  // The same, summing the terminal residual into `terminal` (a float, or
  // the terms kept apart for a drain).
  template <bool kScaled, class Terminal>
  NodeStart nodeStartInto(int p, const int* labels, const std::uint16_t* halves, Terminal& terminal) const;
  float startTerminal(int p, const int* labels, const std::uint16_t* halves) const;
  TerminalTerms terminalTerms(int p, const int* labels, const std::uint16_t* halves) const;
  void openNode(std::int32_t p) override;
  template <bool kScaled>
  void openNodeScaled(std::int32_t p);

  // Whole-grid writing (every node opened up front).
  template <bool kScaled>
  void startBandFromAbove(int band);
  template <bool kScaled, Start kStart>
  void writeBand(int band, bool openNow);
  void writeBandFrom(int band, bool openNow);
  void pushAlongSinglePairsOfRow(int band, int y);
  // Lazy writing: the changed tiles of the band, then the kept roots.
  void openChangedAndRoots(int band);
  template <bool kScaled>
  void openRectangle(int band, int x0, int y0, int x1, int y1);

  template <bool kScaled>
  void restoreJoiningPairs();
  void solveBandsAndJoin();
  // Reads the new flows (into `halves` when not null) and labels back.
  // In order: every node of the band; otherwise the nodes its search reached.
  void readBack(int band, std::uint16_t* halves, bool keepUntouched, bool inOrder);
  template <bool kKeepUntouched>
  void readBackKeeping(int band, std::uint16_t* halves, bool inOrder);
  template <bool kKeepUntouched>
  void readNode(int p, int x, int y, std::uint16_t* halves, int band);
  void noteChangedLabels();
  // Lists alpha's source roots for its next move on the labels now.
  void keepRoots(std::uint16_t* halves);
  // One band's part of it: lists the roots in its rows and drains those away
  // from the other bands (into bandRoots_), leaving those near a joint
  // (jointRoots_) for keepRoots to drain in order.
  void listAndDrainBandRoots(int band, std::uint16_t* halves);
  // Tries to drain root p by nudging the halves of its pairs towards
  // neighbours with sink residual; returns whether p is no root any more.
  bool drainRoot(int p, std::uint16_t* halves);

  int width_ = 0;
  int height_ = 0;
  int pixelCount_ = 0;
  int labelCount_ = 0;
  bool lazyMoves_ = true;
  int bandRows_ = kBandRows;
  GridFlow flow_;
  KeptFlows kept_;
  ChangedTiles tiles_;
  Move move_;
  // Per pixel, for the two pairs (right, down): the capacity towards the
  // neighbour in the move that last opened the pixel, from which that
  // move's flow is read back.
  std::unique_ptr<float[]> capacities_;
  const RowPlanarCosts* dataCosts_ = nullptr;
  // Per pixel: the data cost of its current label, and that label as the
  // moves know it (to find a caller's changes).
  std::unique_ptr<float[]> labelCosts_;
  std::unique_ptr<int[]> labelsSeen_;
  bool labelCostsLoaded_ = false;
  // Per pixel: the last listing that visited it (root lists); a byte, every
  // stamp cleared once when the count wraps.
  std::unique_ptr<std::uint8_t[]> visited_;
  std::uint8_t visit_ = 0;
  // The move counter, and per label the counter when its last move started.
  std::int64_t clock_ = 0;
  std::vector<std::int64_t> startedAt_;
  // Per label, the moves it started from its own kept flow.
  std::vector<int> recycledMoves_;
  Costs lastCosts_{};
  MoveCounts counts_;
  // The label of the last move solved since prepare(), -1 before the first,
  // and whether that move wrote the whole grid (so the graph holds its flow).
  int lastSolved_ = -1;
  bool graphComplete_ = false;
  std::vector<Band> bands_;
  // Per band: its search state, its source roots, how many nodes it opened
  // lazily (with those the join opened in its rows), and the pixels whose
  // labels the move changed.
  std::vector<std::unique_ptr<GridFlow::Region>> regions_;
  std::vector<GridFlow::Region*> regionPointers_;
  std::vector<std::vector<std::int32_t>> roots_;
  std::vector<std::int64_t> opened_;
  std::vector<std::vector<std::int32_t>> changed_;
  std::vector<std::int32_t> changedTiles_;
  std::vector<std::int32_t> newRoots_;
  // Per band, while roots are kept: the roots drained apart that stay roots,
  // and the roots near a joint, still to drain.
  std::vector<std::vector<std::int32_t>> bandRoots_;
  std::vector<std::vector<std::int32_t>> jointRoots_;
  // The upper ends of the pairs joining the bands, and per joining pair the
  // flow its move starts from, read before any band is written.
  std::vector<std::int32_t> joiningUpper_;
  std::vector<float> joiningFlows_;
  // Runs the bands on more than one thread; null on one (setThreadCount).
  std::unique_ptr<TaskPool> pool_;
  FlowObserver* observer_ = nullptr;
};

}  // namespace orbelt
