#pragma once
// AlphaExpansion: the grid MRF solver that lowers the energy by expansion
// moves. One move takes a label alpha and lets every pixel either keep its
// label or switch to alpha, choosing the best such change as a minimum s-t
// cut of a FlowGraph built for the move. One sweep performs one move per
// label, in the order of the label order; optimize() repeats sweeps while
// the energy falls (at least one, at most max(1, maxSweeps)).
//
// A move is skipped when its outcome is already known: when the labels and
// the costs are exactly as they were when the same label was last expanded
// and that move changed no label, expanding it again builds the same graph
// and changes nothing again. Once a whole sweep changes nothing, later
// sweeps cost little more than the energy sums. The labels are exactly those
// of solving every move. What "the same costs" means: labels are compared
// with a copy at every sweep start, and the data table, the pair table and
// the multipliers with a 64-bit fingerprint taken at every sweep start, so a
// caller's change between optimize() calls is seen (a move observer must
// not change labels or costs). A data or pair cost function may answer
// differently from call to call, so with either function form every move is
// solved.
//
// The label order is shuffled before every sweep (unless setOptions cleared
// the flag), continuing from the permutation the previous sweep left. Each
// shuffle reseeds a std::mt19937 with the low 32 bits of one reading of the
// shuffle clock and swaps entries (i, j), i and j each drawn as the next
// value modulo labelCount, 2 * labelCount times. The clock is the process
// clock (milliseconds since start) unless replaced: setShuffleClock() for any
// source, fixLabelOrderSeed(seed) for the reproducible order seed, seed+1,
// seed+2, ... read by the first, second, third ... shuffle. The generator,
// too, can be replaced (setShuffleGenerator).
//
// A move is applied as found: there is no energy check and no undo. For a
// smoothness term that breaks E(k,k) + E(a,a) <= E(k,a) + E(a,k) for some
// label triple (e.g. the squared truncated power) the move spreads the excess
// over the pair's costs so that the cut can represent it, so such a move may
// raise the true energy; the sweep loop then stops. For metric terms (Potts,
// truncated linear) each move reaches the lowest energy among all labellings
// that differ from the current one only by pixels switched to alpha; among
// equal energies the cut switches as few pixels as its search trees allow.
//
// How moves are solved: by default on one persistent grid graph, each move of
// a label starting from the flow that label's previous move left
// (RecycledGridMoves), which makes the later sweeps cost little more than the
// changes since. That needs table costs (data table, pair table or truncated
// power), a row-planar copy of the data costs (one float per pixel and
// label) and, for each label that keeps its flow, two halves per pixel; the
// labels the memory limit leaves without start each move from the previous
// move's flow. With function costs, with recycling turned off, when the copy
// and the grid graph do not fit the memory limit or when the memory cannot
// be had, every move builds its own graph instead ("the fresh way"). Both ways cut the same
// minimum cut in exact arithmetic: the set reachable from the source in the
// residual graph. Float rounding may resolve a tie of two minimum cuts
// differently.
//
// Failures (besides those of GraphCutSolver), returned by optimize(): a
// NotSet data term at the start of a sweep gives the framed message "You have
// to set up the data cost before running optimization" (then the same for the
// smoothness term), EngineFailure; a graph that cannot be allocated gives the
// graph's Error (maxflow/GraphFailure.h).
#include <cstdint>
#include <functional>
#include <memory>

#include "maxflow/FlowGraph.h"
#include "mrf/GraphCutSolver.h"
#include "mrf/RecycledGridMoves.h"

namespace orbelt {

class AlphaExpansion : public GraphCutSolver {
 public:
  // Source of the shuffle seeds; each shuffle reads it once.
  using ShuffleClock = std::function<std::int64_t()>;
  // Makes the source of random values of one shuffle from its seed.
  using ShuffleGenerator = std::function<std::function<std::uint32_t()>(std::uint32_t seed)>;
  // Told after every expansion move: moveIndex is the number of moves done
  // in the current sweep (1 after the first, labelCount after the last).
  using MoveObserver = std::function<void(int moveIndex, int labelCount)>;

  AlphaExpansion(int width, int height, int labelCount, EnergyTerms* terms);

  // Replaces the seed source of the shuffles; an empty function restores the
  // process clock.
  void setShuffleClock(ShuffleClock clock);
  // Makes the shuffles reproducible: the n-th shuffle from now on (n = 0, 1,
  // ...) is seeded with seed + n (mod 2^32). Call before the first sweep so a
  // whole run is reproducible from the identity order.
  void fixLabelOrderSeed(std::uint32_t seed);
  // Replaces the std::mt19937 that each shuffle seeds; an empty function
  // restores it.
  void setShuffleGenerator(ShuffleGenerator generator);
  // Progress hook for front ends; an empty function removes it. It is told
  // of skipped moves as well. It must not change labels or costs.
  void setMoveObserver(MoveObserver observer);

  // Moves solved as a minimum cut, and moves skipped because their outcome
  // was known, since construction.
  struct MoveCounts {
    std::int64_t solved = 0;
    std::int64_t skipped = 0;
  };
  MoveCounts moveCounts() const { return counts; }

  // Whether moves may be solved from recycled flows (default true). Turning
  // it off, or on again, takes effect at the next move; the kept flows are
  // dropped when it is turned off.
  void setFlowRecycling(bool enabled);
  // Most bytes the recycled state may take. The grid graph and the moves'
  // copy of the data costs must fit (recyclingBaseBytes()), or every move is
  // solved the fresh way; what is left keeps labels' flows, label by label
  // (RecycledGridMoves::keptFlowBytes each), and the labels past it start
  // every move from the previous move's flow instead. Default: no limit.
  void setRecyclingMemoryLimit(std::uint64_t bytes);
  // The bytes recycling needs before any label keeps its flow.
  std::uint64_t recyclingBaseBytes() const;
  // Labels whose flow is kept for their next move now (0 while no move used
  // recycled flows).
  int keptFlowLabels() const override;
  // Whether the moves solved so far used recycled flows: true once a move
  // was solved that way, false while every move was solved the fresh way
  // (function costs, recycling off, or not enough memory for it).
  bool recyclesFlows() const override { return gridMoves != nullptr; }
  // Threads each move solved on the persistent grid graph may use (0: one
  // per hardware thread; default 1). The labels are the same for every count.
  void setThreadCount(int threads);
  // Watches the searches of the moves solved from now on (either way); null
  // detaches. Not owned. For tools and benchmarks.
  void setFlowObserver(FlowObserver* observer);
  // Solves on the persistent grid graph, fresh, recycled and borrowed (zeros when none).
  RecycledGridMoves::MoveCounts recycledMoveCounts() const;

 protected:
  double runSweeps(int maxSweeps) override;
  // One sweep: checks the terms, shuffles (when enabled), expands every label
  // in label order; returns dataCostSum() + (float)pairCostSum().
  double expansionSweep();
  // Reseeds from the shuffle clock and permutes labelOrder in place.
  void shuffleLabelOrder();
  // One expansion move for `alpha` (0 <= alpha < labelCount), always
  // solved. Returns whether any label changed.
  bool expandLabel(int alpha);

 private:
  // expandLabel's two ways: on the persistent grid graph from kept flows,
  // and on a graph built for the move.
  bool expandOnGrid(int alpha);
  bool expandFresh(int alpha);
  // The fresh way's terms of one move, for the installed forms.
  void addFreshMoveTerms(FlowGraph& graph, int alpha, int activeCount);
  // The pair terms of one move, for the pair cost `cost` of the installed
  // form, and the data terms as `data` reads them (none for a function).
  template <typename Data, typename PairCost>
  void addMoveTerms(FlowGraph& graph, int alpha, int activeCount, Data data, PairCost cost);

  // Whether this move can be solved on the persistent grid graph; prepares
  // it at the first such move, and falls back for good when it cannot be had.
  bool gridMovesUsable();
  // Loads the grid moves' copy of the data costs unless it is known to hold
  // the current ones (same cost fingerprint as when it was loaded), and
  // their note of each pixel's current cost. `knownFingerprint`, when given,
  // is the costs' fingerprint just taken, saving a pass over the table.
  void syncGridCosts(const std::uint64_t* knownFingerprint = nullptr);

  // At a sweep start: whether moves may be skipped in this sweep (table
  // costs only), after starting a new generation if the labels or the costs
  // differ from what the previous sweep left.
  bool startSkippableSweep();
  // 64-bit fingerprint of the data table, the pair table and (when used) the
  // multipliers.
  std::uint64_t costFingerprint() const;

  // The graph of the current move, cleared and rebuilt by every move so its
  // storage is allocated once per solver rather than once per move.
  FlowGraph moveGraph;
  // The persistent grid graph and the kept flows, once a move used them.
  std::unique_ptr<RecycledGridMoves> gridMoves;
  // The data costs in the order the grid moves read them: a copy of the
  // caller's table, renewed when its fingerprint changes.
  RowPlanarCosts gridCosts;
  bool flowRecycling = true;
  // Set when the recycled state did not fit: every move is solved fresh.
  bool recyclingRefused = false;
  std::uint64_t recyclingLimit = UINT64_MAX;
  int threadCount = 1;
  std::uint64_t gridCostsFingerprint = 0;
  bool gridCostsLoaded = false;
  bool insideSweep = false;
  // Generation of the labels and costs: grows whenever a move changes a
  // label or a sweep starts on labels or costs other than the last sweep's.
  std::uint64_t generation = 1;
  // Per label: the generation in which expanding it last changed nothing
  // (0: not known).
  std::unique_ptr<std::uint64_t[]> idleInGeneration;
  // The labels as the last sweep left them, and the costs' fingerprint then.
  std::unique_ptr<int[]> labelsAfterSweep;
  std::uint64_t fingerprintAfterSweep = 0;
  bool haveSweepSnapshot = false;
  MoveCounts counts;
  FlowObserver* flowObserver = nullptr;
  ShuffleClock shuffleClock;
  ShuffleGenerator shuffleGenerator;
  MoveObserver moveObserver;
};

}  // namespace orbelt
