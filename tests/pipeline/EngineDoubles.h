#pragma once
// Stand-ins for the matcher and the optimizer, behind the same interfaces
// the run uses (Matcher, and the ExpansionLabeller's solver factory), so the
// run's own work (what it hands the engines, in which order, and what it
// does with their results) can be checked exactly and fast.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "mrf/MrfSolver.h"
#include "pipeline/ExpansionLabeller.h"
#include "pipeline/Matcher.h"
#include "pipeline/StereoEngines.h"

namespace orbelt::testing {

// What the engine doubles saw during one run.
struct EngineLog {
  int costCalls = 0;
  MatcherOptions settings;  // what the matcher was asked, its blend weight included
  float logChromWeight = -1.0f;
  std::uint64_t matcherBudget = 0;  // the bytes the matcher was handed
  cv::Mat refSeen;                  // deep copies of what the matcher was given
  cv::Mat targetSeen;
  int optimizersCreated = 0;
  int createdWidth = 0, createdHeight = 0, createdLabels = 0;
  OptimizerOptions optimizerOptions;  // what the optimizer was made with
  std::uint64_t recyclingBudget = 0;  // the bytes its kept flows were given
  const float* dataTable = nullptr;
  int exponent = 0;
  float maxCost = 0.0f;
  float lambda = 0.0f;
  bool useMultipliers = true;
  int resets = 0;
  std::vector<int> sweepArguments;  // maxSweeps of every runSweeps call
  std::vector<std::string> events;  // "costs", "create", "initialize", "reset", "sweep", "destroy"
};

// An optimizer whose sweep gives every pixel its cheapest label (ties to the
// lowest), read from the installed table: the resulting labels show exactly
// which costs the pipeline put where.
class CheapestLabelSolver : public MrfSolver {
 public:
  CheapestLabelSolver(int width, int height, int labelCount, EnergyTerms* terms, EngineLog& log)
      : MrfSolver(width, height, labelCount, terms), log_(log), labels_(static_cast<size_t>(pixelCount), 0) {
    log_.events.push_back("create");
  }
  ~CheapestLabelSolver() override { log_.events.push_back("destroy"); }

  Status addNeighbourPair(int, int, float) override { return {}; }
  int* labelBuffer() override { return labels_.data(); }
  int labelAt(int pixel) override { return labels_[pixel]; }
  void assignLabel(int pixel, int label) override { labels_[pixel] = label; }
  void resetLabels() override {
    std::fill(labels_.begin(), labels_.end(), 0);
    ++log_.resets;
    log_.events.push_back("reset");
  }
  void setOptions(int, const void*) override {}

 protected:
  double sumDataCosts() override {
    double sum = 0;
    for (int p = 0; p < pixelCount; ++p) sum += table_[static_cast<size_t>(p) * labelCount + labels_[p]];
    return sum;
  }
  double sumPairCosts() override { return 0.0; }
  void setDataTable(float* table) override {
    table_ = table;
    log_.dataTable = table;
    log_.events.push_back("initialize");
  }
  void setDataFunction(DataCostFunction) override {}
  void setSmoothness(int exponent, float maxCost, float lambda) override {
    log_.exponent = exponent;
    log_.maxCost = maxCost;
    log_.lambda = lambda;
    log_.useMultipliers = useMultipliers;
  }
  void setSmoothnessFunction(PairCostFunction) override {}
  void setSmoothness(float*) override {}
  void setEdgeMultipliers(float*, float*) override {}
  void prepareSolver() override {}

  double runSweeps(int maxSweeps) override {
    log_.sweepArguments.push_back(maxSweeps);
    log_.events.push_back("sweep");
    for (int p = 0; p < pixelCount; ++p) {
      const float* c = table_ + static_cast<size_t>(p) * labelCount;
      labels_[p] = static_cast<int>(std::min_element(c, c + labelCount) - c);
    }
    return sumDataCosts();
  }

 private:
  EngineLog& log_;
  std::vector<int> labels_;
  const float* table_ = nullptr;
};

// Cost of label d at (x, y): unique per element, cheapest at label
// (x + 2y) mod range, so both the copied values and the winning labels show
// where each element went.
inline auto patternFill(int range) {
  return [range](int x, int y, int d) {
    const int cheapest = (x + 2 * y) % range;
    return static_cast<float>(1000 * x + 100 * y + ((d - cheapest + range) % range));
  };
}

// A matcher that writes `fill(x, y, d)` into a volume of the asked size and
// reports what it was handed into `log`.
template <typename Fill>
class RecordingMatcher : public Matcher {
 public:
  RecordingMatcher(EngineLog& log, Fill fill) : log_(log), fill_(fill) {}

  Expected<CostVolume> compute(const cv::Mat& ref, const cv::Mat& target, const MatcherOptions& settings,
                               std::uint64_t budgetBytes, const StereoProgress&, StereoView) const override {
    ++log_.costCalls;
    log_.events.push_back("costs");
    log_.settings = settings;
    log_.logChromWeight = settings.logChromWeight;
    log_.matcherBudget = budgetBytes;
    log_.refSeen = ref.clone();
    log_.targetSeen = target.clone();
    CostVolume volume(ref.cols, ref.rows, settings.disparityRange);
    for (int x = 0; x < volume.width(); ++x)
      for (int y = 0; y < volume.height(); ++y)
        for (int d = 0; d < volume.disparityRange(); ++d) volume.at(x, y, d) = fill_(x, y, d);
    return volume;
  }

 private:
  EngineLog& log_;
  Fill fill_;
};

// The real labeller over a CheapestLabelSolver that reports into `log`.
inline std::shared_ptr<ExpansionLabeller> recordingLabeller(EngineLog& log) {
  return std::make_shared<ExpansionLabeller>([&log](int w, int h, int labels, EnergyTerms* terms,
                                                    const OptimizerOptions& options, std::uint64_t recyclingBudget,
                                                    std::function<void(int, int)>) -> std::unique_ptr<MrfSolver> {
    ++log.optimizersCreated;
    log.createdWidth = w;
    log.createdHeight = h;
    log.createdLabels = labels;
    log.optimizerOptions = options;
    log.recyclingBudget = recyclingBudget;
    return std::make_unique<CheapestLabelSolver>(w, h, labels, terms, log);
  });
}

// Engines whose matcher writes `fill(x, y, d)` into the volume and whose
// labeller optimizes with a CheapestLabelSolver; both report into `log`.
template <typename Fill>
StereoEngines recordingEngines(EngineLog& log, Fill fill) {
  return {std::make_shared<RecordingMatcher<Fill>>(log, fill), recordingLabeller(log)};
}

}  // namespace orbelt::testing
