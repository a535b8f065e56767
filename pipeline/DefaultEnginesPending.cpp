// Stand-in while the matcher or the optimizer is not yet part of the tree.
#include "mrf/MrfSolver.h"
#include "pipeline/DisparityPipeline.h"

namespace orbelt {

PipelineEngines defaultEngines(std::optional<std::uint32_t>) {
  PipelineEngines engines;
  engines.computeCosts = [](CostVolume&, const cv::Mat&, const cv::Mat&, cv::Mat&, const MatcherSettings&,
                            float) -> std::string { return "This build has no matching engine"; };
  engines.createOptimizer = [](int, int, int, EnergyTerms*, const OptimizerSettings&) {
    return std::unique_ptr<MrfSolver>();
  };
  return engines;
}

}  // namespace orbelt
