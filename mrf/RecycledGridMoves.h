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
// table is read through a label-major copy (loadDataCosts): a move reads
// every pixel's cost of alpha, one float a pixel apart instead of one cache
// line a pixel apart.
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
// Owns: the graph, the pairs' arc indices, the kept flows, the label-major
// copy of the data costs, a scratch row, the bands' search states and,
// with more than one thread, a pool of worker threads.
// Fails: prepare() returns false, keeping nothing, when its arrays or its
// graph cannot be allocated; a failure of the graph during a move is raised
// as FlowGraph raises it (maxflow/GraphFailure.h), the labels untouched.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "maxflow/FlowGraph.h"
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

  // Bytes the state of a width x height x labelCount grid takes (kept flows,
  // arc indices, scratch and the grid graph), for a memory estimate.
  static std::uint64_t stateBytes(int width, int height, int labelCount);

  // Builds and lays out the grid graph and allocates the kept flows (none
  // kept yet) and the data costs' copy (to be loaded). Returns false, keeping nothing, when memory is short.
  bool prepare(int width, int height, int labelCount);
  bool isPrepared() const { return flows_ != nullptr; }

  // Copies the data table (pixelCount x labelCount, pixel-major) into the
  // label-major copy the moves read. Call after prepare() and again whenever
  // the table's contents change.
  void loadDataCosts(const float* dataTable);
  // Notes every pixel's data cost of its current label. Call after
  // loadDataCosts and again whenever labels changed other than by expand().
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
  // Copies label `from`'s kept flow into label `to`'s slots.
  void borrowFlow(int from, int to);
  // Reads the band's new flows and labels back; returns whether a label changed.
  bool readBandCut(int band, int alpha, int* labels);

  int width_ = 0;
  int height_ = 0;
  int pixelCount_ = 0;
  int labelCount_ = 0;
  FlowGraph graph_;
  // Per pixel: the arc index of its pair with the right neighbour and with
  // the pixel below (FlowGraph::kNoArc on the last column / row).
  std::unique_ptr<std::uint32_t[]> arcs_;
  // Per label, per pixel: the flow of the label's last move on the two pairs
  // (right, down), positive from the pixel to its neighbour. During a move
  // the slot holds the pair's capacity towards the neighbour instead, from
  // which the new flow is read back.
  std::unique_ptr<float[]> flows_;
  // Per label: whether its flows hold a move's flow.
  std::vector<unsigned char> kept_;
  // Per pixel: terminal residual gathered from its left and upper pairs
  // before the pixel itself is reached.
  std::unique_ptr<float[]> pending_;
  // labelCount x pixelCount: the data cost of label l at pixel p at l*pixelCount + p.
  std::unique_ptr<float[]> labelMajorCosts_;
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
  // Runs the bands on more than one thread; null on one (setThreadCount).
  std::unique_ptr<TaskPool> pool_;
  FlowObserver* observer_ = nullptr;
};

}  // namespace orbelt
