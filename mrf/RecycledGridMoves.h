#pragma once
// RecycledGridMoves: the expansion moves of a 4-connected grid solved on one
// persistent flow graph, each move starting from the flow the previous move
// of the same label left.
//
// Why: a move's graph has the grid's topology whatever the labels, so the
// graph is built and laid out once (node p is pixel p, one pair to the right
// and one down), and every move only rewrites residuals. And label alpha's
// move in one sweep differs from its move in the previous sweep only where
// labels changed in between, so its last maximum flow is kept (one float per
// pair, two per pixel and label) and pushed again before the search: only the
// capacities that changed leave excess to route, and the search starts with
// the sink roots passive, growing just the (small) source tree. A label's
// first move has no flow of its own yet: it borrows the flow of the move
// solved just before it, since any flow is a valid start (see Exactness),
// and on stereo costs the previous move's flow already routes much of what
// this one must; what the borrowed flow leaves on single pairs is pushed as
// in a move started from no flow.
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
// Kept flows: each label may keep its last move's flow in half precision
// (HalfFloat.h; rounding a start costs search, never exactness), two halves
// a pixel, as long as the budget for kept flows (setKeptFlowBudget) lasts;
// labels past it keep none, and each of their moves starts from the flow of
// the move solved just before it, read from the graph as that move left it.
// So short memory makes recycling degrade label by label, not all at once.
//
// Bands: every move is solved in horizontal bands of the grid (a fixed
// number of them, whatever the thread count): each band's residuals are
// written, its single pairs pushed and its nodes searched on their own, with
// the vertical pairs joining two bands held at zero (FlowGraph's regions),
// and then the search goes on over the whole grid from the bands' trees.
// The bands run on as many threads as setThreadCount allows. Because the
// split never depends on the thread count, neither do the labels: one
// thread and two give the same bits.
//
// Owns: the graph, the pairs' arc indices and capacities, the kept flows, a
// scratch row, the bands' search states and, with more than one thread, a
// pool of worker threads. Borrows the data costs (setDataCosts).
// Fails: prepare() returns false, keeping nothing, when its arrays or its
// graph cannot be allocated; a failure of the graph during a move is raised
// as FlowGraph raises it (maxflow/GraphFailure.h), the labels untouched. A
// kept flow that cannot be allocated is simply not kept.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "maxflow/FlowGraph.h"
#include "mrf/HalfFloat.h"
#include "mrf/RowPlanarCosts.h"
#include "platform/TaskPool.h"

namespace orbelt {

class RecycledGridMoves {
 public:
  // The costs a move reads, all borrowed and unchanged during a move.
  struct Costs {
    const float* pairTable;   // labelCount x labelCount, symmetric
    const float* horizontal;  // per pixel, the pair with its right neighbour; null: all 1
    const float* vertical;    // per pixel, the pair with the pixel below; null: all 1
  };

  // Solves counted since prepare(): moves that started from no flow (only
  // the first), moves that started from their label's kept flow, and first
  // moves of a label that borrowed the flow of the move before them.
  struct MoveCounts {
    std::int64_t fresh = 0;
    std::int64_t recycled = 0;
    std::int64_t borrowed = 0;
  };

  // Bytes a width x height grid's state takes besides the kept flows (the
  // grid graph, arc indices, capacities and scratch), and the bytes one
  // label's kept flow takes, for a memory estimate.
  static std::uint64_t baseStateBytes(int width, int height);
  static std::uint64_t keptFlowBytes(int width, int height);

  // Builds and lays out the grid graph and allocates its arrays (no flow
  // kept yet). Returns false, keeping nothing, when memory is short.
  bool prepare(int width, int height, int labelCount);
  bool isPrepared() const { return arcs_ != nullptr; }
  // Most bytes the kept flows may take together (default: no limit): labels
  // keep their flows, as their moves are solved, while it lasts. Lowering it
  // drops the flows of the labels past it.
  void setKeptFlowBudget(std::uint64_t bytes);
  // Labels whose last move's flow is kept now.
  int keptFlowLabels() const { return keptLabels_; }

  // The data costs the moves read (not owned; must hold the grid's size and
  // live as long as moves are solved). Call after prepare() and again
  // whenever they move or their contents change, then loadLabelCosts.
  void setDataCosts(const RowPlanarCosts* costs) { dataCosts_ = costs; }
  // Notes every pixel's data cost of its current label. Call after
  // setDataCosts and again whenever labels changed other than by expand().
  void loadLabelCosts(const int* labels);

  // One expansion move of `alpha` (0 <= alpha < labelCount) on `labels`
  // (pixelCount entries, row-major, changed in place: the cut's source side
  // takes alpha). Returns whether any label changed. Keeps the move's flow
  // for alpha's next move.
  bool expand(int alpha, int* labels, const Costs& costs);

  MoveCounts moveCounts() const { return counts_; }
  // Watches the searches (FlowGraph::setObserver); null detaches. Not owned.
  // While one watches, the bands are solved one after the other.
  void setObserver(FlowObserver* observer) {
    observer_ = observer;
    graph_.setObserver(observer);
  }
  // Threads a move may use (>= 1, default 1). The labels do not depend on it.
  void setThreadCount(int threads);
  // The bands every move is split into (fixed for a grid of enough rows).
  static constexpr int kBandCount = 2;

 private:
  // The rows [first, end) of one band.
  struct Band {
    int firstRow;
    int endRow;
  };
  // Builds the grid graph, lays it out and notes every pair's arc index.
  void layOutGrid();
  // Splits the rows into bands and notes the pairs joining them.
  void splitIntoBands();
  // Runs part(k) for every band k: on the pool, or one after the other.
  void forEachBand(const std::function<void(int)>& part);
  // What the pairs joining band k to the band above add to the terminal
  // residuals of band k's first row, before any band is written; holds
  // those pairs at zero in the graph meanwhile.
  template <bool kScaled>
  void startBandFromAbove(int band, int alpha, const int* labels, const Costs& costs, bool recycled);
  template <bool kScaled>
  void writeBandResiduals(int band, int alpha, const int* labels, const Costs& costs, bool recycled);
  void pushAlongSinglePairs(int band);
  // The flow a move starts from on pair `slot`: alpha's kept flow when
  // recycled, else the flow the last move left (its capacity less what the
  // graph still holds of it; 0 before the first move).
  float startFlow(const std::uint16_t* kept, std::size_t slot) const {
    if (kept != nullptr) return fromHalf(kept[slot]);
    return capacities_[slot] - graph_.arcResidual(arcs_[slot]);
  }
  // Gives alpha a slot for its kept flow if the budget allows; returns it or null.
  std::uint16_t* keptSlots(int alpha);
  // Reads the band's new flows (into `kept` when not null) and labels back;
  // returns whether a label changed.
  bool readBandCut(int band, int alpha, int* labels, std::uint16_t* kept);

  int width_ = 0;
  int height_ = 0;
  int pixelCount_ = 0;
  int labelCount_ = 0;
  FlowGraph graph_;
  // Per pixel: the arc index of its pair with the right neighbour and with
  // the pixel below (FlowGraph::kNoArc on the last column / row).
  std::unique_ptr<std::uint32_t[]> arcs_;
  // Per pixel, for the two pairs (right, down): the capacity towards the
  // neighbour in the last move, from which that move's flow is read back.
  std::unique_ptr<float[]> capacities_;
  // Per label: its last move's flow, two halves a pixel (right, down),
  // positive from the pixel to its neighbour; null when it keeps none.
  std::vector<std::unique_ptr<std::uint16_t[]>> kept_;
  int keptLabels_ = 0;
  std::uint64_t keptFlowBudget_ = UINT64_MAX;
  // Set once a kept flow could not be allocated: no more are tried.
  bool keptFlowRefused_ = false;
  // Per pixel: terminal residual gathered from its left and upper pairs
  // before the pixel itself is reached.
  std::unique_ptr<float[]> pending_;
  const RowPlanarCosts* dataCosts_ = nullptr;
  // Per pixel: the data cost of its current label, kept up to date by the
  // moves, so a move reads two arrays in order instead of a label plane per pixel.
  std::unique_ptr<float[]> labelCosts_;
  MoveCounts counts_;
  // The label of the last move solved since prepare(), -1 before the first.
  int lastSolved_ = -1;
  std::vector<Band> bands_;
  // Per band, its search state; per joining pair (band by band, left to
  // right), its ends and arc, and its residuals while the bands are solved.
  std::vector<std::unique_ptr<FlowGraph::RegionSearch>> regions_;
  std::vector<FlowGraph::RegionSearch*> regionPointers_;
  std::vector<FlowGraph::JoiningPair> joining_;
  std::vector<float> joiningResiduals_;
  // Per joining pair: the flow its move starts from, read before the pair
  // is held at zero.
  std::vector<float> joiningFlows_;
  // Runs the bands on more than one thread; null on one (setThreadCount).
  std::unique_ptr<TaskPool> pool_;
  FlowObserver* observer_ = nullptr;
};

}  // namespace orbelt
