#pragma once
// The labelling stage of a run: the cost volume and the optimizer's options
// in, one label per pixel out. The run reaches the optimizer only through
// this interface, so tests put a double in its place; createExpansionLabeller()
// gives the real one (pipeline/ExpansionLabeller.h).
#include <cstdint>
#include <memory>
#include <vector>

#include "ancc/CostVolume.h"
#include "mrf/OptimizerOptions.h"
#include "pipeline/StereoProgress.h"
#include "platform/Expected.h"

namespace orbelt {

// What a labeller gives back: the labels and the figures of the work.
struct Labelling {
  std::vector<int> labels;           // row-major, width*height, each in 0..labels-1
  std::vector<float> costs;          // the flat costs, (y*width+x)*labels+d; only when asked to keep them
  std::vector<double> passEnergies;  // dataCostSum() + (float)pairCostSum() after each pass
  std::vector<double> passSeconds;   // wall time of each pass
  double flattenSeconds = 0.0;       // wall time of handing the costs to the optimizer (and back, when kept)
  double optimizeSeconds = 0.0;      // wall time from building the optimizer to the last pass, less the handover
  bool flowRecycling = false;        // the moves started from flows kept between passes (MrfSolver::recyclesFlows)
  int keptFlowLabels = 0;            // labels that kept their flows to the end (MrfSolver::keptFlowLabels)
};

class Labeller {
 public:
  virtual ~Labeller() = default;

  // Labels the grid of `costs` (costs.width() x costs.height(),
  // costs.disparityRange() labels) with `options`. Takes the volume over:
  // its buffer becomes the optimizer's data costs, so no second copy of it
  // ever lives. With `keepCosts` the result holds the flat costs (the same
  // buffer, handed back). `budgetBytes` is what the stage may take, the
  // volume handed over included; progress hears of every pass's start, every
  // move and every pass with `view`. Expects options the run has
  // checked. Fails with the optimizer's Error (its message, e.g. "Wrong
  // exponent in setSmoothness()!\n" when the options leave the exponent to
  // it), or OutOfMemory when an allocation failed.
  virtual Expected<Labelling> label(CostVolume costs, const OptimizerOptions& options, bool keepCosts,
                                    std::uint64_t budgetBytes, const StereoProgress& progress,
                                    StereoView view) const = 0;
};

// Alpha-expansion over the costs and the options' truncated power, ten
// passes. Stateless: one instance may serve any number of runs at once.
std::shared_ptr<const Labeller> createExpansionLabeller();

}  // namespace orbelt
