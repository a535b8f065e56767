#include "pipeline/ExpansionLabeller.h"

#include <new>
#include <utility>

#include "mrf/OptimizerFactory.h"
#include "mrf/GraphCutSolver.h"
#include "pipeline/RunMemory.h"
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
    if (progress.onPassStart) progress.onPassStart(view, pass);
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

// The costs as the optimizer's own: a solver that can take them over
// reorders the buffer in place instead of reading it through the data term,
// so the run holds them once. Other solvers (doubles, a caller's) read the
// data term's table, which stays `costs`. Returns the solver that took them,
// or null.
GraphCutSolver* handCostsOver(MrfSolver& solver, std::vector<float>& costs) {
  auto* taker = dynamic_cast<GraphCutSolver*>(&solver);
  if (taker == nullptr) return nullptr;
  // A refusal leaves the costs where they were: the data term still reads them.
  if (!taker->adoptDataCosts(std::move(costs))) return nullptr;
  return taker;
}

}  // namespace

std::shared_ptr<const Labeller> createExpansionLabeller() { return std::make_shared<ExpansionLabeller>(); }

ExpansionLabeller::ExpansionLabeller(SolverFactory createSolver)
    : createSolver_(createSolver ? std::move(createSolver) : SolverFactory(createRealOptimizer)) {}

Expected<Labelling> ExpansionLabeller::label(CostVolume costs, const OptimizerOptions& options, bool keepCosts,
                                             std::uint64_t budgetBytes, const StereoProgress& progress,
                                             StereoView view) const {
  const Grid grid{costs.width(), costs.height(), costs.disparityRange()};
  try {
    Labelling result;
    const auto handoverStart = SteadyClock::now();
    std::vector<float> flat = std::move(costs).takeCosts();
    result.flattenSeconds = secondsSince(handoverStart);
    // The flows kept between passes only save time: they may take what the
    // stage has left beside what the labelling holds, and above that the
    // moves are solved the fresh way.
    const std::uint64_t held = estimateLabellingHeldBytes(grid.width, grid.height, grid.labels);
    const std::uint64_t recyclingBudget = budgetBytes > held ? budgetBytes - held : 0;
    if (Status done = optimize(grid, std::move(flat), options, keepCosts, recyclingBudget, progress, view, result);
        !done) {
      return std::move(done).error();
    }
    return result;
  } catch (const std::bad_alloc&) {
    return outOfMemory("Not enough memory to label the costs\n");
  }
}

Status ExpansionLabeller::optimize(const Grid& grid, std::vector<float> flat, const OptimizerOptions& options,
                                   bool keepCosts, std::uint64_t recyclingBudget, const StereoProgress& progress,
                                   StereoView view, Labelling& result) const {
  const auto start = SteadyClock::now();
  DataTerm data;
  data.costTable = flat.data();
  data.form = CostForm::Table;
  SmoothTerm smooth = options.smoothTerm();
  EnergyTerms terms{&data, &smooth};
  std::function<void(int, int)> onMove;
  if (progress.onMove) onMove = [&progress, view](int done, int perPass) { progress.onMove(view, done, perPass); };
  std::unique_ptr<MrfSolver> solver =
      createSolver_(grid.width, grid.height, grid.labels, &terms, options, recyclingBudget, onMove);
  if (!solver) return engineFailure("The optimizer could not be created\n");
  if (Status made = solver->status(); !made) return made;
  if (Status installed = solver->initialize(); !installed) return installed;
  auto handoverStart = SteadyClock::now();
  GraphCutSolver* owner = handCostsOver(*solver, flat);
  double handoverSeconds = secondsSince(handoverStart);
  solver->resetLabels();
  if (Status passes = runPasses(*solver, progress, view, result); !passes) return passes;
  result.flowRecycling = solver->recyclesFlows();
  result.keptFlowLabels = solver->keptFlowLabels();
  const std::size_t pixelCount = static_cast<std::size_t>(grid.width) * static_cast<std::size_t>(grid.height);
  result.labels.resize(pixelCount);
  for (std::size_t p = 0; p < pixelCount; ++p) result.labels[p] = solver->labelAt(static_cast<int>(p));
  if (keepCosts) {
    handoverStart = SteadyClock::now();
    result.costs = owner != nullptr ? owner->releaseDataCosts() : std::move(flat);
    handoverSeconds += secondsSince(handoverStart);
  }
  solver.reset();
  result.flattenSeconds += handoverSeconds;
  result.optimizeSeconds = secondsSince(start) - handoverSeconds;
  return {};
}

}  // namespace orbelt
