#pragma once
// The labeller of every run: the costs become the data table of a grid
// energy, the options' truncated power its smoothness term, and alpha-
// expansion lowers it in exactly ten passes from the all-zero labelling.
//
// In order: the volume is flattened and released; the terms are built over
// the flat array; the optimizer is made (its kept flows get the budget less
// the flat array), checked, initialised and reset; ten optimize(1) passes run,
// each followed by the energy and its time; the labels are read. Any Error of
// the optimizer ends the labelling with that Error.
#include <cstdint>
#include <functional>
#include <memory>

#include "mrf/MrfSolver.h"
#include "pipeline/Labeller.h"

namespace orbelt {

class ExpansionLabeller : public Labeller {
 public:
  // Makes the optimizer over (width, height, labelCount, terms) for the
  // options, its kept flows within `recyclingBudget` bytes, `onMove` told of
  // every move (may be empty). The terms outlive it. Tests put doubles here.
  using SolverFactory = std::function<std::unique_ptr<MrfSolver>(
      int width, int height, int labelCount, EnergyTerms* terms, const OptimizerOptions& options,
      std::uint64_t recyclingBudget, std::function<void(int movesDone, int movesPerPass)> onMove)>;

  // The real optimizer (createOptimizer) unless a factory is given.
  explicit ExpansionLabeller(SolverFactory createSolver = {});

  Expected<Labelling> label(CostVolume costs, const OptimizerOptions& options, bool keepCosts,
                            std::uint64_t budgetBytes, const StereoProgress& progress, StereoView view) const override;

 private:
  // The ten passes on a solver made over `terms`, into `result`.
  Status optimize(int width, int height, int labelCount, EnergyTerms& terms, const OptimizerOptions& options,
                  std::uint64_t recyclingBudget, const StereoProgress& progress, StereoView view,
                  Labelling& result) const;

  SolverFactory createSolver_;
};

}  // namespace orbelt
