// What the run hands its engines and takes back: the matcher's volume to the
// labeller, flattened row-major with the label fastest and released before
// the optimizer exists, the options' smoothness term, exactly ten passes, and
// the optimizer's failures in the run's terms.
#include "pipeline/ExpansionLabeller.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <new>
#include <optional>

#include <gtest/gtest.h>

#include "maxflow/GraphFailure.h"
#include "mrf/AlphaExpansion.h"
#include "mrf/RecycledGridMoves.h"
#include "pipeline/RunMemory.h"
#include "pipeline/RunStereo.h"
#include "tests/pipeline/EngineDoubles.h"
#include "tests/pipeline/PatternedImages.h"
#include "tests/pipeline/LiveHeap.h"

namespace orbelt {
namespace {

using testing::EngineLog;
using testing::patterned;
using testing::patternFill;

// A small run of `width` x `height` with `range` labels on `engines`.
StereoRequest smallRun(int width, int height, int range, const StereoEngines& engines) {
  StereoRequest request;
  request.left = patterned(width, height, 1);
  request.right = patterned(width, height, 2);
  request.options.matcher.disparityRange = range;
  request.options.matcher.halfWinSize = 1;
  request.engines = engines;
  return request;
}

TEST(ExpansionLabeller, FlattensRowMajorPixelsWithTheLabelFastest) {
  EngineLog log;
  const int width = 5, height = 3, range = 4;
  const auto fill = patternFill(range);
  StereoRequest request = smallRun(width, height, range, testing::recordingEngines(log, fill));
  request.options.keepCosts = true;
  const Expected<StereoResult> computed = runStereo(request);
  ASSERT_TRUE(computed) << computed.error().message;
  const DisparityResult& result = computed->left;
  ASSERT_EQ(result.costs.size(), static_cast<size_t>(width * height * range));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int d = 0; d < range; ++d) {
        ASSERT_EQ(result.costs[(static_cast<size_t>(y) * width + x) * range + d], fill(x, y, d))
            << "x=" << x << " y=" << y << " d=" << d;
      }
      // The optimizer double picks the cheapest label of its table row, so a
      // transposed or shuffled copy would show here as wrong labels.
      EXPECT_EQ(result.labels[static_cast<size_t>(y) * width + x], (x + 2 * y) % range);
    }
  }
  EXPECT_EQ(log.createdWidth, width);
  EXPECT_EQ(log.createdHeight, height);
  EXPECT_EQ(log.createdLabels, range);
}

// A matcher that notes the live heap once its volume is full.
class HeapNotingMatcher : public Matcher {
 public:
  HeapNotingMatcher(std::shared_ptr<const Matcher> inner, std::int64_t& heap) : inner_(std::move(inner)), heap_(heap) {}
  Expected<CostVolume> compute(const cv::Mat& ref, const cv::Mat& target, const MatcherOptions& options,
                               std::uint64_t budget, const StereoProgress& progress, StereoView view) const override {
    Expected<CostVolume> volume = inner_->compute(ref, target, options, budget, progress, view);
    heap_ = testing::liveHeapBytes();
    return volume;
  }

 private:
  std::shared_ptr<const Matcher> inner_;
  std::int64_t& heap_;
};

TEST(ExpansionLabeller, ReleasesTheVolumeBeforeTheOptimizerExists) {
  EngineLog log;
  const int width = 64, height = 48, range = 100;
  const std::int64_t volumeBytes = std::int64_t{width} * height * range * 4;
  StereoEngines engines = testing::recordingEngines(log, [](int, int, int) { return 1.0f; });
  std::int64_t heapWhileMatching = 0;
  std::int64_t heapAtOptimizer = 0;
  engines.matcher = std::make_shared<HeapNotingMatcher>(engines.matcher, heapWhileMatching);
  engines.labeller = std::make_shared<ExpansionLabeller>(
      [&](int w, int h, int labels, EnergyTerms* terms, const OptimizerOptions&, std::uint64_t,
          std::function<void(int, int)>) -> std::unique_ptr<MrfSolver> {
        heapAtOptimizer = testing::liveHeapBytes();
        return std::make_unique<testing::CheapestLabelSolver>(w, h, labels, terms, log);
      });
  const Expected<StereoResult> computed = runStereo(smallRun(width, height, range, engines));
  ASSERT_TRUE(computed) << computed.error().message;
  // While matching the volume is alive; when the optimizer is built the flat
  // copy has taken its place. Had the volume survived, the heap would have
  // grown by a whole volume.
  EXPECT_LT(heapAtOptimizer, heapWhileMatching + volumeBytes / 2);
  EXPECT_EQ(log.events.front(), "costs");
  EXPECT_EQ(log.events[1], "create");
  EXPECT_EQ(log.events[2], "initialize");
  EXPECT_EQ(log.events[3], "reset");
  EXPECT_EQ(log.events.back(), "destroy");
}

TEST(ExpansionLabeller, DrivesExactlyTenSinglePassesEvenWhenNothingChanges) {
  EngineLog log;
  const Expected<StereoResult> computed =
      runStereo(smallRun(6, 4, 4, testing::recordingEngines(log, [](int, int, int) { return 2.0f; })));
  ASSERT_TRUE(computed) << computed.error().message;
  const DisparityResult& result = computed->left;
  EXPECT_EQ(log.sweepArguments, std::vector<int>(kOptimizerPasses, 1));
  EXPECT_EQ(log.resets, 1);
  ASSERT_EQ(result.passEnergies.size(), 10u);
  EXPECT_EQ(result.passEnergies.front(), 6 * 4 * 2.0);
  EXPECT_EQ(result.passEnergies.back(), result.passEnergies.front());
}

TEST(ExpansionLabeller, BuildsTheSmoothnessTermFromTheOptions) {
  struct Case {
    float lambda;
    float smoothMax;
    int exponent;
  };
  // An exponent the optimizer will refuse still reaches it unchanged when the
  // options leave that rule to it.
  const Case cases[] = {{0.99f, 5.0f, 2}, {30.0f, 10.0f, 3}, {-15.0f, -2.0f, 1}};
  for (const Case& c : cases) {
    EngineLog log;
    StereoRequest request = smallRun(4, 3, 4, testing::recordingEngines(log, patternFill(4)));
    request.options.optimizer.lambda = c.lambda;
    request.options.optimizer.smoothMax = c.smoothMax;
    request.options.optimizer.smoothExponent = c.exponent;
    request.options.optimizer.exponentLeftToSolver = true;
    request.options.optimizer.seed = 9;
    const Expected<StereoResult> computed = runStereo(request);
    ASSERT_TRUE(computed) << computed.error().message;
    EXPECT_EQ(log.lambda, c.lambda);
    EXPECT_EQ(log.maxCost, c.smoothMax);
    EXPECT_EQ(log.exponent, c.exponent);
    EXPECT_FALSE(log.useMultipliers);
    EXPECT_NE(log.dataTable, nullptr);
    EXPECT_EQ(log.optimizerOptions.seed, 9u);  // the options reach the optimizer whole
  }
}

TEST(ExpansionLabeller, WithoutTheMatcherEveryCostIsZero) {
  EngineLog log;
  StereoRequest request = smallRun(6, 4, 5, testing::recordingEngines(log, patternFill(5)));
  request.options.computeCosts = false;
  request.options.keepCosts = true;
  const Expected<StereoResult> computed = runStereo(request);
  ASSERT_TRUE(computed) << computed.error().message;
  const DisparityResult& result = computed->left;
  EXPECT_EQ(log.costCalls, 0);
  ASSERT_EQ(result.costs.size(), 6u * 4u * 5u);
  EXPECT_TRUE(std::all_of(result.costs.begin(), result.costs.end(), [](float c) { return c == 0.0f; }));
  EXPECT_EQ(result.passEnergies.size(), 10u);  // the run still completes
}

// Only the costs: the same flat array a labelled run keeps, and no labeller.
TEST(ExpansionLabeller, CostsOnlyStopsBeforeTheLabeller) {
  EngineLog log;
  const auto fill = patternFill(4);
  StereoRequest request = smallRun(5, 3, 4, testing::recordingEngines(log, fill));
  request.options.keepCosts = true;
  const Expected<StereoResult> labelled = runStereo(request);
  ASSERT_TRUE(labelled) << labelled.error().message;
  EngineLog costsLog;
  request.engines = testing::recordingEngines(costsLog, fill);
  request.options.keepCosts = false;
  request.options.costsOnly = true;
  const Expected<StereoResult> costs = runStereo(request);
  ASSERT_TRUE(costs) << costs.error().message;
  EXPECT_EQ(costs->left.costs, labelled->left.costs);
  EXPECT_TRUE(costs->left.labels.empty());
  EXPECT_TRUE(costs->disparity.empty());
  EXPECT_EQ(costsLog.costCalls, 1);
  EXPECT_EQ(costsLog.optimizersCreated, 0);
}

// A matcher that fails as the real one does when its storage cannot be had.
class FailingMatcher : public Matcher {
 public:
  Expected<CostVolume> compute(const cv::Mat&, const cv::Mat&, const MatcherOptions&, std::uint64_t,
                               const StereoProgress&, StereoView) const override {
    return outOfMemory("matcher ran out of memory\n");
  }
};

TEST(ExpansionLabeller, AMatcherFailureStopsBeforeTheOptimizer) {
  EngineLog log;
  StereoEngines engines = testing::recordingEngines(log, patternFill(4));
  engines.matcher = std::make_shared<FailingMatcher>();
  const Expected<StereoResult> computed = runStereo(smallRun(4, 3, 4, engines));
  ASSERT_FALSE(computed);
  EXPECT_EQ(computed.error().message, "matcher ran out of memory\n");
  EXPECT_EQ(computed.error().kind, ErrorKind::OutOfMemory);
  EXPECT_EQ(log.optimizersCreated, 0);
}

// An optimizer whose sweep fails as `fail` makes it fail.
class FailingSweepSolver : public testing::CheapestLabelSolver {
 public:
  FailingSweepSolver(int width, int height, int labels, EnergyTerms* terms, EngineLog& log, std::function<void()> fail)
      : CheapestLabelSolver(width, height, labels, terms, log), fail_(std::move(fail)) {}

 protected:
  double runSweeps(int) override {
    fail_();
    return 0.0;
  }

 private:
  std::function<void()> fail_;
};

TEST(ExpansionLabeller, AnOptimizerFailureIsReturnedAndTheNextRunGoesOn) {
  const std::string runOutOfMemory = "Not enough memory for a 4 x 3 x 4 run (about ";
  using Create = std::function<std::unique_ptr<MrfSolver>(int, int, int, EnergyTerms*, EngineLog&)>;
  struct Case {
    const char* what;
    Create create;
    const char* message;  // the whole message, or its start for the run's out-of-memory message
    ErrorKind kind;
  };
  const auto failingSweep = [](std::function<void()> fail) -> Create {
    return [fail](int w, int h, int labels, EnergyTerms* terms, EngineLog& log) -> std::unique_ptr<MrfSolver> {
      return std::make_unique<FailingSweepSolver>(w, h, labels, terms, log, fail);
    };
  };
  const Case cases[] = {
      {"exponent the optimizer refuses",
       [](int w, int h, int labels, EnergyTerms* terms, EngineLog&) -> std::unique_ptr<MrfSolver> {
         terms->smooth->exponent = 3;
         return std::make_unique<AlphaExpansion>(w, h, labels, terms);
       },
       "Wrong exponent in setSmoothness()!\n", ErrorKind::EngineFailure},
      {"construction refused",
       [](int w, int h, int, EnergyTerms* terms, EngineLog&) -> std::unique_ptr<MrfSolver> {
         return std::make_unique<AlphaExpansion>(w, h, 0, terms);
       },
       "\n labelCount is 0: at least one disparity label is needed \n", ErrorKind::EngineFailure},
      {"a sweep refuses a term", failingSweep([] {
         raiseFailure(engineFailure("\n You have to set up the data cost before running optimization \n"));
       }),
       "\n You have to set up the data cost before running optimization \n", ErrorKind::EngineFailure},
      {"the move's graph runs out of memory", failingSweep([] { raiseGraphFailure(kGraphOutOfMemory); }),
       runOutOfMemory.c_str(), ErrorKind::OutOfMemory},
      {"an allocation throws inside a sweep", failingSweep([] { throw std::bad_alloc(); }), runOutOfMemory.c_str(),
       ErrorKind::OutOfMemory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineLog log;
    StereoEngines engines = testing::recordingEngines(log, patternFill(4));
    engines.labeller = std::make_shared<ExpansionLabeller>(
        [&](int w, int h, int labels, EnergyTerms* terms, const OptimizerOptions&, std::uint64_t,
            std::function<void(int, int)>) { return c.create(w, h, labels, terms, log); });
    const Expected<StereoResult> failed = runStereo(smallRun(4, 3, 4, engines));
    ASSERT_FALSE(failed);
    const Error& error = failed.error();
    if (c.kind == ErrorKind::OutOfMemory) {
      EXPECT_EQ(error.message.rfind(c.message, 0), 0u) << error.message;
    } else {
      EXPECT_EQ(error.message, c.message);
    }
    EXPECT_EQ(error.kind, c.kind);

    // The caller carries on: the next run in the same process succeeds.
    EngineLog nextLog;
    EXPECT_TRUE(runStereo(smallRun(4, 3, 4, testing::recordingEngines(nextLog, patternFill(4)))));
  }
}

TEST(ExpansionLabeller, ReportsProgressOfPasses) {
  EngineLog log;
  StereoRequest request = smallRun(4, 3, 4, testing::recordingEngines(log, patternFill(4)));
  std::vector<int> passes;
  request.progress.onPass = [&](StereoView view, int pass, double, double seconds) {
    EXPECT_EQ(view, StereoView::Left);
    passes.push_back(pass);
    EXPECT_GE(seconds, 0.0);
  };
  EXPECT_TRUE(runStereo(request));
  EXPECT_EQ(passes, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

// Costs that prefer a slanted surface, with noise, so the moves change many
// labels in every pass and the kept flows matter.
CostVolume slantedVolume(int width, int height, int labels) {
  CostVolume volume(width, height, labels);
  cv::RNG rng(5);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int truth = (x * (labels - 1)) / (2 * width) + (y * (labels - 1)) / (2 * height);
      for (int d = 0; d < labels; ++d) volume.at(x, y, d) = 0.3f * std::abs(d - truth) + rng.uniform(0.0f, 1.5f);
    }
  return volume;
}

OptimizerOptions seededOptions(int exponent) {
  OptimizerOptions options;
  options.smoothExponent = exponent;
  options.seed = 3;
  options.threadCount = 1;
  return options;
}

// The memory plan at its edges: the labelling holds the costs (handed over)
// and the optimizer's arrays; of what the budget leaves beyond that the grid
// graph comes first, then kept flows label by label, and below the graph
// every move is solved the fresh way. Every budget gives the labels and the
// energies of the unlimited run, and the costs come back as they went in.
TEST(ExpansionLabeller, ATighterBudgetKeepsFewerFlowsButTheSameLabels) {
  const int width = 23, height = 17, labels = 9;
  const std::uint64_t held = estimateLabellingHeldBytes(width, height, labels);
  const std::uint64_t graph = RecycledGridMoves::baseStateBytes(width, height);
  const std::uint64_t flow = RecycledGridMoves::keptFlowBytes(width, height);
  struct Case {
    const char* what;
    std::uint64_t budget;
    bool recycling;
    int kept;
  };
  const Case cases[] = {
      {"no limit", UINT64_MAX, true, labels},
      {"a byte short of the last label's flow", held + graph + labels * flow - 1, true, labels - 1},
      {"three labels' flows", held + graph + 3 * flow, true, 3},
      {"the grid graph and no flow", held + graph, true, 0},
      {"a byte short of the grid graph", held + graph - 1, false, 0},
      {"nothing beside the costs", held, false, 0},
  };
  const CostVolume volume = slantedVolume(width, height, labels);
  std::vector<float> given(static_cast<std::size_t>(width) * height * labels);
  volume.copyRowMajor(given.data());
  for (int exponent : {1, 2}) {
    std::optional<Labelling> unlimited;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + ", exponent " + std::to_string(exponent));
      Expected<Labelling> run =
          ExpansionLabeller().label(volume, seededOptions(exponent), true, c.budget, {}, StereoView::Left);
      ASSERT_TRUE(run) << run.error().message;
      EXPECT_EQ(run->flowRecycling, c.recycling);
      EXPECT_EQ(run->keptFlowLabels, c.kept);
      EXPECT_EQ(run->costs, given);
      if (!unlimited) {
        unlimited = std::move(*run);
        continue;
      }
      EXPECT_EQ(run->labels, unlimited->labels);
      EXPECT_EQ(run->passEnergies, unlimited->passEnergies);
    }
  }
}

// The optimizer works on the matcher's buffer itself: while it works, the
// heap holds its arrays, graph and kept flows beside the costs, and no
// second copy of them.
TEST(ExpansionLabeller, TheOptimizerWorksOnTheMatchersBuffer) {
  const int width = 64, height = 48, labels = 100;
  const std::uint64_t volumeBytes = std::uint64_t{width} * height * labels * sizeof(float);
  std::int64_t heapAfterMatcher = 0;
  std::int64_t heapPeakInPasses = 0;
  EngineLog log;
  StereoEngines engines = testing::recordingEngines(log, patternFill(labels));
  engines.matcher = std::make_shared<HeapNotingMatcher>(engines.matcher, heapAfterMatcher);
  engines.labeller = createExpansionLabeller();
  for (const bool keepCosts : {false, true}) {
    SCOPED_TRACE(keepCosts ? "costs kept" : "costs dropped");
    StereoRequest request = smallRun(width, height, labels, engines);
    request.options.keepCosts = keepCosts;
    request.options.optimizer.seed = 1;
    heapPeakInPasses = 0;
    request.progress.onPass = [&](StereoView, int, double, double) {
      heapPeakInPasses = std::max(heapPeakInPasses, testing::liveHeapBytes());
    };
    const Expected<StereoResult> computed = runStereo(request);
    ASSERT_TRUE(computed) << computed.error().message;
    ASSERT_EQ(computed->left.keptFlowLabels, labels);
    // Beside the volume: the optimizer's arrays, its grid graph and every
    // label's kept flow, with room to spare; a copy would add a volume.
    const std::uint64_t optimizerBytes = estimateLabellingHeldBytes(width, height, labels) - volumeBytes +
                                         RecycledGridMoves::baseStateBytes(width, height) +
                                         labels * RecycledGridMoves::keptFlowBytes(width, height);
    EXPECT_LT(heapPeakInPasses - heapAfterMatcher, static_cast<std::int64_t>(optimizerBytes + volumeBytes / 2));
  }
}

// The run's memory is read once and handed down: the matcher gets the whole
// budget, the optimizer's kept flows what is left beside what the labelling
// holds (the costs handed over and the optimizer's arrays).
TEST(ExpansionLabeller, TheBudgetIsHandedDownOnce) {
  EngineLog log;
  const int width = 8, height = 6, range = 4;
  StereoRequest request = smallRun(width, height, range, testing::recordingEngines(log, patternFill(range)));
  const std::uint64_t budget = 64u << 20;
  request.availableBytes = budget;
  ASSERT_TRUE(runStereo(request));
  EXPECT_EQ(log.matcherBudget, budget);
  EXPECT_EQ(log.recyclingBudget, budget - estimateLabellingHeldBytes(width, height, range));
}

}  // namespace
}  // namespace orbelt
