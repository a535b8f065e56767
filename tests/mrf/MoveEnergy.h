#pragma once
// The energy an expansion move minimises, written from the optimizer's
// documented rule rather than from its code: data terms as they are, pair
// terms as they are where a pixel already has alpha, and for two pixels that
// may both switch, their four costs corrected when no cut can hold them.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "tests/mrf/GridEnergy.h"

namespace orbelt::mrftest {

// The pair terms one expansion move works with. For two pixels that may both
// switch, with costs named by what (p, q) do (k keeps its label, a takes
// alpha): when Ekk + Eaa > Eka + Eak no cut can hold the pair, and the move
// spreads the excess x: a third off Eaa, a third onto Eka, the rest onto Eak.
// Other spreads exist (any shares summing to x make the pair cuttable), so a
// check can also ask what a move would have done under another one.
struct ExcessSpread {
  double offAa = 1.0 / 3.0;   // share of x taken off Eaa
  double ontoKa = 1.0 / 3.0;  // share of x added to Eka; the rest is added to Eak
};
struct MovePair {
  double kk, ka, ak, aa;
  double excessOffAa = 0.0;  // what was taken off Eaa (0 when the pair was cuttable)
  bool corrected = false;    // the pair broke Ekk + Eaa <= Eka + Eak
};
inline MovePair movePair(double ekk, double eka, double eak, double eaa, ExcessSpread spread = {}) {
  MovePair m{ekk, eka, eak, eaa};
  const double x = ekk + eaa - eka - eak;
  if (x > 0) {
    m.corrected = true;
    m.excessOffAa = x * spread.offAa;
    m.aa = eaa - m.excessOffAa;
    m.ka = eka + x * spread.ontoKa;
    m.ak = eak + x * (1.0 - spread.offAa - spread.ontoKa);
  }
  return m;
}

// One move's outcome judged against its start.
struct MoveJudgement {
  bool onlyKeptOrAlpha = true;         // every pixel kept its label or took alpha
  double moveEnergy = 0.0;             // the result's energy under the move's pair terms
  double excessOfSwitchedPairs = 0.0;  // sum of excessOffAa over corrected pairs where both took alpha
  bool corrected = false;              // some pair of the move broke Ekk + Eaa <= Eka + Eak
};

inline MoveJudgement judgeMove(const GridEnergy& e, const std::vector<int>& start, int alpha,
                               const std::vector<int>& result, ExcessSpread spread = {}) {
  MoveJudgement j;
  const int w = e.width;
  for (int p = 0; p < w * e.height; ++p) {
    const int r = result[static_cast<std::size_t>(p)];
    if (r != start[static_cast<std::size_t>(p)] && r != alpha) j.onlyKeptOrAlpha = false;
    j.moveEnergy += e.dataCost(p, r);
  }
  auto pair = [&](int p, int q, bool horizontal) {
    const int sp = start[static_cast<std::size_t>(p)];
    const int sq = start[static_cast<std::size_t>(q)];
    const int rp = result[static_cast<std::size_t>(p)];
    const int rq = result[static_cast<std::size_t>(q)];
    if (sp == alpha || sq == alpha) {
      j.moveEnergy += e.pairCost(p, q, horizontal, rp, rq);
      return;
    }
    const MovePair m =
        movePair(e.pairCost(p, q, horizontal, sp, sq), e.pairCost(p, q, horizontal, sp, alpha),
                 e.pairCost(p, q, horizontal, alpha, sq), e.pairCost(p, q, horizontal, alpha, alpha), spread);
    if (m.corrected) j.corrected = true;
    const bool pa = rp == alpha;
    const bool qa = rq == alpha;
    j.moveEnergy += pa ? (qa ? m.aa : m.ak) : (qa ? m.ka : m.kk);
    if (pa && qa) j.excessOfSwitchedPairs += m.excessOffAa;
  };
  for (int y = 0; y < e.height; ++y)
    for (int x = 0; x < w; ++x) {
      const int p = y * w + x;
      if (x + 1 < w) pair(p, p + 1, true);
      if (y + 1 < e.height) pair(p, p + w, false);
    }
  return j;
}

// The lowest value of `energyOf` over every labelling that differs from
// `start` only by pixels switched to alpha.
template <typename EnergyOf>
double lowestOverExpansions(const std::vector<int>& start, int alpha, EnergyOf energyOf) {
  std::vector<int> active;
  for (int p = 0; p < static_cast<int>(start.size()); ++p)
    if (start[static_cast<std::size_t>(p)] != alpha) active.push_back(p);
  double best = std::numeric_limits<double>::infinity();
  for (std::uint32_t mask = 0; mask < (1u << active.size()); ++mask) {
    std::vector<int> candidate = start;
    for (std::size_t k = 0; k < active.size(); ++k)
      if (mask & (1u << k)) candidate[static_cast<std::size_t>(active[k])] = alpha;
    best = std::min(best, energyOf(candidate));
  }
  return best;
}

// The lowest move energy (the energy under the move's own, possibly
// corrected, pair terms) over every expansion of `start`.
inline double bestMoveEnergy(const GridEnergy& e, const std::vector<int>& start, int alpha, ExcessSpread spread = {}) {
  return lowestOverExpansions(start, alpha, [&](const std::vector<int>& labels) {
    return judgeMove(e, start, alpha, labels, spread).moveEnergy;
  });
}

// How far a move's energy may lie from the best one and still count as it.
// With costs, lambdas and multipliers all multiples of 1/4, every corrected
// pair term is a multiple of 1/12, so two move energies that differ at all
// differ by at least 1/12; the optimizer's float rounding of the thirds
// stays far below this.
inline constexpr double kMoveEnergyTolerance = 1e-3;

// The lowest energy over every labelling that differs from `start` only by
// pixels switched to alpha.
inline double bestExpansionEnergy(const GridEnergy& e, const std::vector<int>& start, int alpha) {
  return lowestOverExpansions(start, alpha, [&](const std::vector<int>& labels) { return e.energy(labels); });
}

}  // namespace orbelt::mrftest
