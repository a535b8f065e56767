#pragma once
// Test fixture: a small grid energy that owns every array its EnergyTerms
// point to, plus an evaluation of E(L) written from the definition of the
// energy, independent of the solver's own sums and moves.
#include <cmath>
#include <cstdlib>
#include <vector>

#include "mrf/EnergyTerms.h"
#include "mrf/MrfSolver.h"

namespace orbelt::mrftest {

class GridEnergy {
 public:
  // A Table data term of all-zero costs and a truncated-power smoothness
  // term (exponent 1, maxCost 1, lambda 1: Potts) without multipliers.
  GridEnergy(int width, int height, int labelCount)
      : width(width),
        height(height),
        labelCount(labelCount),
        costs(static_cast<std::size_t>(width * height * labelCount), 0.0f),
        pairTable(static_cast<std::size_t>(labelCount * labelCount), 0.0f),
        horizontal(static_cast<std::size_t>(width * height), 1.0f),
        vertical(static_cast<std::size_t>(width * height), 1.0f) {
    data.form = CostForm::Table;
    data.costTable = costs.data();
    smooth.form = CostForm::TruncatedPower;
    smooth.exponent = 1;
    smooth.maxCost = 1.0f;
    smooth.lambda = 1.0f;
    smooth.pairTable = pairTable.data();
    smooth.horizontalMultipliers = horizontal.data();
    smooth.verticalMultipliers = vertical.data();
    terms.data = &data;
    terms.smooth = &smooth;
  }
  GridEnergy(const GridEnergy&) = delete;
  GridEnergy& operator=(const GridEnergy&) = delete;

  void setTruncatedPower(int exponent, float maxCost, float lambda) {
    smooth.form = CostForm::TruncatedPower;
    smooth.exponent = exponent;
    smooth.maxCost = maxCost;
    smooth.lambda = lambda;
  }
  // A caller's table holding the same truncated power.
  void setTableFromTruncatedPower(int exponent, float maxCost, float lambda) {
    smooth.form = CostForm::Table;
    for (int a = 0; a < labelCount; ++a)
      for (int b = 0; b < labelCount; ++b)
        pairTable[a * labelCount + b] = truncatedPower(a, b, exponent, maxCost, lambda);
  }
  void setTableFromTruncatedLinear(float maxCost, float lambda) { setTableFromTruncatedPower(1, maxCost, lambda); }

  float& cost(int pixel, int label) { return costs[static_cast<std::size_t>(pixel * labelCount + label)]; }

  // V(a, b) of a truncated power straight from its definition.
  static float truncatedPower(int a, int b, int exponent, float maxCost, float lambda) {
    const int d = std::abs(a - b);
    const float t = static_cast<float>(exponent == 1 ? d : d * d);
    return (t <= maxCost ? t : maxCost) * lambda;
  }

  // The pair cost of neighbours p (label a) and q (label b), with p the left
  // (`horizontal`) or upper pixel, by the smoothness form.
  double pairCost(int p, int q, bool isHorizontal, int a, int b) const {
    if (smooth.form == CostForm::Function) return smooth.pairFunction(p, q, a, b);
    const double v = smooth.form == CostForm::Table
                         ? pairTable[static_cast<std::size_t>(a * labelCount + b)]
                         : truncatedPower(a, b, smooth.exponent, smooth.maxCost, smooth.lambda);
    if (!smooth.useMultipliers) return v;
    return v * (isHorizontal ? horizontal[static_cast<std::size_t>(p)] : vertical[static_cast<std::size_t>(p)]);
  }

  double dataCost(int p, int label) const {
    return data.form == CostForm::Table ? costs[static_cast<std::size_t>(p * labelCount + label)]
                                        : data.costFunction(p, label);
  }

  // E(L) = sum of data costs + sum over 4-neighbour pairs of the pair costs.
  double energy(const std::vector<int>& labels) const {
    double e = 0.0;
    for (int p = 0; p < width * height; ++p) e += dataCost(p, labels[static_cast<std::size_t>(p)]);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const int p = y * width + x;
        const auto lp = labels[static_cast<std::size_t>(p)];
        if (x + 1 < width) e += pairCost(p, p + 1, true, lp, labels[static_cast<std::size_t>(p + 1)]);
        if (y + 1 < height) e += pairCost(p, p + width, false, lp, labels[static_cast<std::size_t>(p + width)]);
      }
    }
    return e;
  }

  const int width;
  const int height;
  const int labelCount;
  std::vector<float> costs;       // pixel * labelCount + label
  std::vector<float> pairTable;   // a * labelCount + b, for a Table smoothness term
  std::vector<float> horizontal;  // multipliers of (p, right neighbour)
  std::vector<float> vertical;    // multipliers of (p, lower neighbour)
  DataTerm data;
  SmoothTerm smooth;
  EnergyTerms terms;
};

// The solver's labelling, row-major.
inline std::vector<int> labelsOf(MrfSolver& solver) {
  std::vector<int> labels(static_cast<std::size_t>(solver.gridPixelCount()));
  for (int p = 0; p < solver.gridPixelCount(); ++p) labels[static_cast<std::size_t>(p)] = solver.labelAt(p);
  return labels;
}

inline void assignLabels(MrfSolver& solver, const std::vector<int>& labels) {
  for (int p = 0; p < solver.gridPixelCount(); ++p) solver.assignLabel(p, labels[static_cast<std::size_t>(p)]);
}

}  // namespace orbelt::mrftest
