#pragma once
// Where the pipeline meets its two engines: the matcher fills a cost volume
// (CostStage), the factory makes the optimizer (OptimizerFactory). Tests put
// doubles in their place; defaultEngines() gives the real matcher and
// optimizer.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <opencv2/core.hpp>

#include "ancc/CostVolume.h"
#include "ancc/MatcherOptions.h"
#include "mrf/EnergyTerms.h"
#include "platform/Expected.h"

namespace orbelt {

class MrfSolver;

// Called after each finished row of the cost volume with (rows done,
// height); may be empty. It may be called from a worker thread, never from
// two at once.
using RowObserver = std::function<void(int rowsDone, int height)>;

// Fills every element of the volume and draws the preview with the
// matcher's options. Fails with why the costs could not be computed (the
// volume is then not used).
using CostStage = std::function<Status(CostVolume& volume, const cv::Mat& ref, const cv::Mat& target, cv::Mat& preview,
                                       const MatcherOptions& options, const RowObserver& onRow)>;

// How the optimizer may report its work, and its label orders.
struct OptimizerSettings {
  // Called after each expansion move of a pass with (moves done in this pass,
  // moves per pass = labelCount); may be empty.
  std::function<void(int movesDone, int movesPerPass)> moveObserver;
  // Seed of the label orders (OptimizerOptions::seed); none: the factory's
  // own (defaultEngines' seed, else the process clock).
  std::optional<std::uint32_t> seed;
  // Threads of each move (OptimizerOptions::threadCount; 0: one per hardware
  // thread). The labels do not depend on it.
  int threadCount = 0;
};

// Creates the optimizer over (width, height, labelCount, terms); the terms
// outlive it. The pipeline then checks status() and calls initialize(),
// resetLabels(), ten times optimize(1, &seconds), labelAt(), dataCostSum()
// and pairCostSum(), stopping at the first Error.
using OptimizerFactory = std::function<std::unique_ptr<MrfSolver>(
    int width, int height, int labelCount, EnergyTerms* terms, const OptimizerSettings& settings)>;

struct PipelineEngines {
  CostStage computeCosts;            // default: AnccMatcher
  OptimizerFactory createOptimizer;  // default: AlphaExpansion
};

// The real matcher and optimizer. A seed (OptimizerSettings::seed, else
// `seed`) makes the optimizer's label orders reproducible (the same seed,
// images and parameters give the same map); without one every pass reseeds
// from the process clock.
PipelineEngines defaultEngines(std::optional<std::uint32_t> seed = std::nullopt);

}  // namespace orbelt
