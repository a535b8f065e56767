#include "mrf/OptimizerFactory.h"

namespace orbelt {

std::unique_ptr<AlphaExpansion> createOptimizer(int width, int height, int labelCount, EnergyTerms* terms,
                                                const OptimizerOptions& options, std::uint64_t recyclingBudget,
                                                AlphaExpansion::MoveObserver onMove) {
  auto solver = std::make_unique<AlphaExpansion>(width, height, labelCount, terms);
  if (options.seed) solver->fixLabelOrderSeed(*options.seed);
  solver->setRecyclingMemoryLimit(recyclingBudget);
  solver->setThreadCount(options.threadCount);
  if (onMove) solver->setMoveObserver(std::move(onMove));
  return solver;
}

}  // namespace orbelt
