#pragma once
// AlphaExpansion: the grid MRF solver that lowers the energy by expansion
// moves. One move takes a label alpha and lets every pixel either keep its
// label or switch to alpha, choosing the best such change as a minimum s-t
// cut of a FlowGraph built for the move. One sweep performs one move per
// label, in the order of the label order; optimize() repeats sweeps while
// the energy falls (at least one, at most max(1, maxSweeps)).
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
// Failures (besides those of GraphCutSolver): a NotSet data term at the start
// of a sweep ends the process with the framed message "You have to set up the
// data cost before running optimization" (then the same for the smoothness
// term), status 1; a graph that cannot be allocated ends the process with
// status 1 (FlowGraph's failure rule).
#include <cstdint>
#include <functional>

#include "maxflow/FlowGraph.h"
#include "mrf/GraphCutSolver.h"

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
  // Progress hook for front ends; an empty function removes it.
  void setMoveObserver(MoveObserver observer);

 protected:
  double runSweeps(int maxSweeps) override;
  // One sweep: checks the terms, shuffles (when enabled), expands every label
  // in label order; returns dataCostSum() + (float)pairCostSum().
  double expansionSweep();
  // Reseeds from the shuffle clock and permutes labelOrder in place.
  void shuffleLabelOrder();
  // One expansion move for `alpha` (0 <= alpha < labelCount).
  void expandLabel(int alpha);

 private:
  // The pair terms of one move, for the pair cost `cost` of the installed
  // form, and with kTableData the data terms from the table too.
  template <bool kTableData, typename PairCost>
  void addMoveTerms(FlowGraph& graph, int alpha, int activeCount, PairCost cost);

  // The graph of the current move, cleared and rebuilt by every move so its
  // storage is allocated once per solver rather than once per move.
  FlowGraph moveGraph;
  ShuffleClock shuffleClock;
  ShuffleGenerator shuffleGenerator;
  MoveObserver moveObserver;
};

}  // namespace orbelt
