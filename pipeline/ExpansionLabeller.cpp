#include "pipeline/ExpansionLabeller.h"

#include <new>
#include <utility>

#include "mrf/OptimizerFactory.h"
#include "pipeline/FlatCosts.h"
#include "platform/Timing.h"

namespace orbelt {

namespace {

std::unique_ptr<MrfSolver> createRealOptimizer(int width, int height, int labelCount, EnergyTerms* terms,
                                               const OptimizerOptions& options, std::uint64_t recyclingBudget,
                                               std::function<void(int, int)> onMove) {
  return createOptimizer(width, height, labelCount, terms, options, recyclingBudget, std::move(onMove));
}

// The energy the run reports after a pass: the data sum plus the pair sum
// rounded to float, as the optimizer forms its own total.
Expected<double> energyOf(MrfSolver& solver) {
  Expected<double> dataSum = solver.dataCostSum();
  if (!dataSum) return std::move(dataSum).error();
  Expected<double> pairSum = solver.pairCostSum();
  if (!pairSum) return std::move(pairSum).error();
  return *dataSum + static_cast<float>(*pairSum);
}

// Exactly ten passes, also once the energy stops falling: a later pass with
// a new label order may still find a lower energy.
Status runPasses(MrfSolver& solver, const StereoProgress& progress, StereoView view, Labelling& result) {
  for (int pass = 1; pass <= kOptimizerPasses; ++pass) {
    const auto passStart = SteadyClock::now();
    float engineSeconds = 0.0f;  // millisecond resolution; our own clock is finer
    if (Status swept = solver.optimize(1, &engineSeconds); !swept) return swept;
    Expected<double> energy = energyOf(solver);
    if (!energy) return std::move(energy).error();
    const double seconds = secondsSince(passStart);
    result.passEnergies.push_back(*energy);
    result.passSeconds.push_back(seconds);
    if (progress.onPass) progress.onPass(view, pass, *energy, seconds);
  }
  return {};
}

}  // namespace

std::shared_ptr<const Labeller> createExpansionLabeller() { return std::make_shared<ExpansionLabeller>(); }

ExpansionLabeller::ExpansionLabeller(SolverFactory createSolver)
    : createSolver_(createSolver ? std::move(createSolver) : SolverFactory(createRealOptimizer)) {}

Expected<Labelling> ExpansionLabeller::label(CostVolume costs, const OptimizerOptions& options, bool keepCosts,
                                             std::uint64_t budgetBytes, const StereoProgress& progress,
                                             StereoView view) const {
  const int width = costs.width();
  const int height = costs.height();
  const int labelCount = costs.disparityRange();
  try {
    Labelling result;
    const auto flattenStart = SteadyClock::now();
    std::vector<float> flat = flattenCosts(std::move(costs));
    result.flattenSeconds = secondsSince(flattenStart);

    DataTerm data;
    data.costTable = flat.data();
    data.form = CostForm::Table;
    SmoothTerm smooth = options.smoothTerm();
    EnergyTerms terms{&data, &smooth};
    // The flows kept between passes only save time: they may take what the
    // stage has left beside the flat costs, and above that the moves are
    // solved the fresh way.
    const std::uint64_t flatBytes = flat.size() * sizeof(float);
    const std::uint64_t recyclingBudget = budgetBytes > flatBytes ? budgetBytes - flatBytes : 0;
    if (Status done = optimize(width, height, labelCount, terms, options, recyclingBudget, progress, view, result);
        !done) {
      return std::move(done).error();
    }
    if (keepCosts) result.costs = std::move(flat);
    return result;
  } catch (const std::bad_alloc&) {
    return outOfMemory("Not enough memory to label the costs\n");
  }
}

Status ExpansionLabeller::optimize(int width, int height, int labelCount, EnergyTerms& terms,
                                   const OptimizerOptions& options, std::uint64_t recyclingBudget,
                                   const StereoProgress& progress, StereoView view, Labelling& result) const {
  const auto start = SteadyClock::now();
  std::function<void(int, int)> onMove;
  if (progress.onMove) onMove = [&progress, view](int done, int perPass) { progress.onMove(view, done, perPass); };
  std::unique_ptr<MrfSolver> solver =
      createSolver_(width, height, labelCount, &terms, options, recyclingBudget, onMove);
  if (!solver) return engineFailure("The optimizer could not be created\n");
  if (Status made = solver->status(); !made) return made;
  if (Status installed = solver->initialize(); !installed) return installed;
  solver->resetLabels();
  if (Status passes = runPasses(*solver, progress, view, result); !passes) return passes;
  result.flowRecycling = solver->recyclesFlows();
  const std::size_t pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  result.labels.resize(pixelCount);
  for (std::size_t p = 0; p < pixelCount; ++p) result.labels[p] = solver->labelAt(static_cast<int>(p));
  solver.reset();
  result.optimizeSeconds = secondsSince(start);
  return {};
}

}  // namespace orbelt
