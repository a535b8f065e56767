#include "pipeline/Matcher.h"

#include "ancc/AnccMatcher.h"

namespace orbelt {

namespace {

class AnccStage : public Matcher {
 public:
  Expected<CostVolume> compute(const cv::Mat& left, const cv::Mat& right, const MatcherOptions& options,
                               std::uint64_t budgetBytes, const StereoProgress& progress,
                               StereoView view) const override {
    CostVolume volume(left.cols, left.rows, options.disparityRange);
    AnccMatcher matcher(volume, left, right, options);
    // The volume is already held; the working storage gets what is left.
    matcher.memoryBudget = budgetBytes > volume.bytes() ? budgetBytes - volume.bytes() : 0;
    if (progress.onRow) {
      matcher.rowObserver = [&progress, view](int done, int height) { progress.onRow(view, done, height); };
    }
    if (Status done = matcher.computeCostVolume(); !done) return std::move(done).error();
    return volume;
  }
};

}  // namespace

std::shared_ptr<const Matcher> createAnccMatcher() { return std::make_shared<AnccStage>(); }

}  // namespace orbelt
