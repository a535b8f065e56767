#pragma once
// The matching stage of a run: a rectified pair and the matcher's options in,
// the cost volume out. The run reaches the matcher only through this
// interface, so tests put a double in its place; createAnccMatcher() gives
// the real one.
#include <cstdint>
#include <memory>

#include <opencv2/core.hpp>

#include "ancc/CostVolume.h"
#include "ancc/MatcherOptions.h"
#include "pipeline/StereoProgress.h"
#include "platform/Expected.h"

namespace orbelt {

class Matcher {
 public:
  virtual ~Matcher() = default;

  // The costs of `left` against `right`: a volume of left.cols x left.rows x
  // options.disparityRange with every element written, lower for a better
  // match. `budgetBytes` is what the stage may take, the volume included;
  // progress.onRow(view, ...) hears of every finished row. Expects a pair and
  // options the run has checked (checkStereoRequest). Fails with the
  // matcher's Error, e.g. OutOfMemory when its storage does not fit.
  virtual Expected<CostVolume> compute(const cv::Mat& left, const cv::Mat& right, const MatcherOptions& options,
                                       std::uint64_t budgetBytes, const StereoProgress& progress,
                                       StereoView view) const = 0;
};

// The adaptive normalized cross-correlation matcher (ancc/AnccMatcher.h).
// Stateless: one instance may serve any number of runs at once.
std::shared_ptr<const Matcher> createAnccMatcher();

}  // namespace orbelt
