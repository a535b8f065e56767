#pragma once
// GraphCutSolver: everything of a 4-connected grid MRF solver except the
// optimisation step (runSweeps), which a concrete move-making solver adds.
//
// Construction (width, height, labelCount, terms), after MrfSolver's part
// (a refusal is kept in status(), see MrfSolver):
//  - a negative width, height or labelCount is refused with "Illegal
//    negative parameters"; a labelCount of 0 with "labelCount is 0: at least
//    one disparity label is needed" (both framed, EngineFailure). Width or
//    height 0 is accepted: an empty grid;
//  - allocates the labels (all 0), the label order (the identity) and the
//    move scratch array; on failure "out of memory" / "Not enough memory".
//
// Energy evaluation, with p the left or upper pixel of a pair and q the other:
//  - dataCostSum(): a Table data term sums costTable[p*labelCount + label]
//    over p = 0..pixelCount-1 in double; a function term sums
//    costFunction(p, label) in float (each addition rounded to float).
//  - pairCostSum(): all horizontal pairs row by row (y = 0..height-1,
//    x = 1..width-1), then all vertical pairs (y = 1..height-1,
//    x = 0..width-1). A Function term adds pairFunction(q, p, Lq, Lp) in
//    float; a table (caller's or truncated power) adds table[Lp*labelCount+Lq],
//    times horizontalMultipliers[p] / verticalMultipliers[p] when multipliers
//    are in use, in double.
//  - The solver's own total is dataCostSum() + (float)pairCostSum().
// A term of form NotSet, or one that was never installed, is refused by
// both sums (framed message, EngineFailure) rather than read.
//
// Tables and multipliers are read live from the caller's arrays; only the
// truncated-power table is the solver's own, built by setSmoothness(exponent,
// maxCost, lambda) and freed on destruction or when another table replaces it.
#include <cstdint>
#include <memory>
#include <span>

#include <vector>

#include "mrf/MrfSolver.h"
#include "mrf/RowPlanarCosts.h"

namespace orbelt {

class GraphCutSolver : public MrfSolver {
 public:
  GraphCutSolver(int width, int height, int labelCount, EnergyTerms* terms);
  ~GraphCutSolver() override;

  // Neighbour lists are not kept by a grid solver: refused (EngineFailure),
  // touching nothing.
  Status addNeighbourPair(int pixel1, int pixel2, float weight) override;
  int* labelBuffer() override;
  int labelAt(int pixel) override;
  void assignLabel(int pixel, int label) override;
  void resetLabels() override;
  // count 1: the first byte of `values` becomes randomLabelOrder. Otherwise
  // tells the message sink "\nInvalid number of parameters, can only set one
  // parameter\that is boolean label order\n" (standard output by default) and
  // returns with nothing changed (likewise, with its own message, for null
  // `values`).
  void setOptions(int count, const void* values) override;

  // The order in which the next sweep expands the labels (a permutation of
  // 0..labelCount-1); valid until the solver is destroyed.
  std::span<const int> currentLabelOrder() const;

  // Takes the data costs over instead of borrowing the data term's table:
  // pixelCount x labelCount floats, pixel-major as a Table term reads them
  // (p * labelCount + label). They are reordered in place into the row
  // planes the moves read (RowPlanarCosts), so a run holds one copy of its
  // costs instead of two. From then on the data term is these costs until
  // releaseDataCosts(); an initialize() keeps them while the record's table
  // is the pointer it had when they were taken, and drops them for any
  // other. Call after initialize(), with a Table data term. Refused, the
  // costs left with the caller: an InvalidInput Error (one line) when the
  // data term is no Table or the size is not pixelCount x labelCount; the
  // optimizer's out-of-memory Error when a row's scratch cannot be had.
  Status adoptDataCosts(std::vector<float>&& costs);
  // Gives the adopted costs back, pixel-major (reordered in place), and
  // leaves no data table installed until the next initialize(). Empty when
  // none were adopted.
  std::vector<float> releaseDataCosts();

 protected:
  double sumDataCosts() override;
  double sumPairCosts() override;

  void setDataTable(float* table) override;
  void setDataFunction(DataCostFunction function) override;
  // Builds the owned table: entry (a, b) = lambda * (t <= maxCost ? t : maxCost)
  // with t = |a-b| (exponent 1) or |a-b|^2 (exponent 2), rounded to float.
  // Other exponents raise "Wrong exponent in setSmoothness()!\n"; an
  // allocation failure "Not enough memory!\n" (both EngineFailure).
  void setSmoothness(int exponent, float maxCost, float lambda) override;
  void setSmoothnessFunction(PairCostFunction function) override;
  // Borrows the caller's table after checking that entry (a, b) equals entry
  // (b, a) exactly; the first unequal pair raises "Error in setSmoothness():
  // V is not symmetric!\n" (EngineFailure).
  void setSmoothness(float* table) override;
  void setEdgeMultipliers(float* horizontal, float* vertical) override;
  void prepareSolver() override;

  // Data cost of `label` at `pixel` by the installed data term.
  float dataCost(int pixel, int label) const {
    if (dataForm != CostForm::Table) return dataFunction(pixel, label);
    if (!adoptedData.empty()) return adoptedData.at(pixel, label);
    return dataTable[static_cast<std::size_t>(pixel) * static_cast<std::size_t>(labelCount) +
                     static_cast<std::size_t>(label)];
  }
  // Table entry of labels (a, b).
  float pairTableEntry(int a, int b) const {
    return pairTable[static_cast<std::size_t>(a) * static_cast<std::size_t>(labelCount) + static_cast<std::size_t>(b)];
  }
  // The solver's own total: dataCostSum() + (float)pairCostSum(), the data
  // sum taken first.
  double totalEnergy();
  // Refuses (raises, framed, EngineFailure) a term that is NotSet or that
  // initialize() never installed; `what` names the query for the message.
  void requireDataTerm(const char* what) const;
  void requireSmoothTerm(const char* what) const;

  std::unique_ptr<int[]> labels;           // pixelCount, row-major, owned
  bool randomLabelOrder = true;            // shuffle the label order before every sweep
  bool ownsPairTable = false;              // pairTable is ownedPairTable
  float* dataTable = nullptr;              // borrowed; null while adopted costs are the data term
  RowPlanarCosts adoptedData;              // the data costs taken over, if any (adoptDataCosts)
  std::uint64_t adoptions = 0;             // grows with every adoptDataCosts, for the costs' fingerprint
  float* pairTable = nullptr;              // borrowed, or owned when ownsPairTable
  float* verticalMultipliers = nullptr;    // borrowed
  float* horizontalMultipliers = nullptr;  // borrowed
  std::unique_ptr<int[]> labelOrder;       // labelCount, a permutation, owned
  std::unique_ptr<int[]> activePixels;     // pixelCount, move scratch, owned
  DataCostFunction dataFunction = nullptr;
  PairCostFunction pairFunction = nullptr;

 private:
  std::unique_ptr<float[]> ownedPairTable;
  // The record's table when the adopted costs were taken (see adoptDataCosts).
  const float* adoptedFrom = nullptr;
};

}  // namespace orbelt
