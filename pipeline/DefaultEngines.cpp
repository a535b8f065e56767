// The glue between the pipeline and the real engines: the ANCC matcher for
// the costs and alpha-expansion for the labels.
#include "ancc/AnccMatcher.h"
#include "mrf/AlphaExpansion.h"
#include "pipeline/DisparityPipeline.h"

namespace orbelt {

PipelineEngines defaultEngines(std::optional<std::uint32_t> seed) {
  PipelineEngines engines;
  engines.computeCosts = [](CostVolume& volume, const cv::Mat& ref, const cv::Mat& target, cv::Mat& preview,
                            const MatcherOptions& options, const RowObserver& onRow) -> Status {
    AnccMatcher matcher(volume, ref, target, preview, options);
    matcher.rowObserver = onRow;
    return matcher.computeCostVolume();
  };
  engines.createOptimizer = [seed](int width, int height, int labelCount, EnergyTerms* terms,
                                   const OptimizerSettings& settings) -> std::unique_ptr<MrfSolver> {
    auto solver = std::make_unique<AlphaExpansion>(width, height, labelCount, terms);
    if (settings.seed) {
      solver->fixLabelOrderSeed(*settings.seed);
    } else if (seed) {
      solver->fixLabelOrderSeed(*seed);
    }
    // The flows kept between sweeps only save time: they may take what the
    // run has left, and above that the moves are solved the fresh way.
    solver->setRecyclingMemoryLimit(availableMemoryBytes());
    solver->setThreadCount(settings.threadCount);
    if (settings.moveObserver) solver->setMoveObserver(settings.moveObserver);
    return solver;
  };
  return engines;
}

}  // namespace orbelt
