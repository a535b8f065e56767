#pragma once
// The one rule for a pair term that an expansion move's cut cannot hold as it
// stands, shared by every way a move graph is built so that they all cut the
// same energy.
#include "mrf/EnergyTerms.h"

namespace orbelt {

// One third in single precision; the correction multiplies by this exact
// value so that every build spreads a pair's excess identically.
inline constexpr float kOneThird = 0.33333334f;

// The costs of a pair in a move, named by what (i, j) do: k keeps its label,
// a takes alpha. A cut can only represent pairs with Ekk + Eaa <= Eka + Eak.
// When a pair breaks that, the excess x is spread so that the inequality
// holds with equality: a third taken off Eaa, a third added to Eka, the rest
// to Eak. Pairs that satisfy it are left as they are.
inline void makePairCuttable(float ekk, float& eka, float& eak, float& eaa) {
  if (static_cast<double>(ekk) + static_cast<double>(eaa) > static_cast<double>(eka) + static_cast<double>(eak)) {
    const double x =
        static_cast<double>(ekk) + static_cast<double>(eaa) - static_cast<double>(eka) - static_cast<double>(eak);
    const double t = x * static_cast<double>(kOneThird);
    eaa = static_cast<float>(static_cast<double>(eaa) - t);
    eka = static_cast<float>(static_cast<double>(eka) + t);
    eak = static_cast<float>(static_cast<double>(eak) + (x - 2.0 * t));
  }
}

}  // namespace orbelt
