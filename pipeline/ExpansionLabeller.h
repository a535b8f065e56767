#pragma once
// The labeller of every run: the costs become the data table of a grid
// energy, the options' truncated power its smoothness term, and alpha-
// expansion lowers it in exactly ten passes from the all-zero labelling.
//
// In order: the volume's buffer is taken over (no copy); the terms are built
// over it; the optimizer is made (its kept flows get the budget less what
// the labelling holds, estimateLabellingHeldBytes), checked and initialised,
// and takes the buffer over as its own data costs (a GraphCutSolver
// reorders it in place; another solver reads it through the data term);
// ten optimize(1) passes run, each followed by the energy and its time; the
// labels are read, and the costs handed back when kept. Any Error of the
// optimizer ends the labelling with that Error.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

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
  struct Grid {
    int width;
    int height;
    int labels;
  };
  // The ten passes over `flat` on a solver made for the grid, into `result`.
  Status optimize(const Grid& grid, std::vector<float> flat, const OptimizerOptions& options, bool keepCosts,
                  std::uint64_t recyclingBudget, const StereoProgress& progress, StereoView view,
                  Labelling& result) const;

  SolverFactory createSolver_;
};

}  // namespace orbelt
