#pragma once
// A run's progress as a front end shows it: the stage, how far it is, and
// an estimate of the time it still needs, made from the run's own pace, so
// a run of minutes shows it is alive and when it should end.
//
// Estimates: the cost volume's rest is its rows to come at the pace of
// those done. An optimizer pass's rest is its moves to come at the pace of
// its moves done. The rest of the ten passes is that plus, for each pass to
// come, the last finished pass's time (later passes start from kept flows
// and are shorter than the first, so the first is no guide to them: during
// it the passes' rest is unknown).
#include <functional>
#include <optional>

#include "pipeline/StereoProgress.h"

namespace orbelt {

enum class ProgressStage {
  CostVolume,  // rows of the cost volume
  Optimizer,   // the ten passes
};

struct ProgressReport {
  StereoView view = StereoView::Left;
  ProgressStage stage = ProgressStage::CostVolume;
  // Cost volume: rows done and the height. Optimizer: passes finished and ten.
  int done = 0;
  int total = 0;
  // Optimizer only: the pass under way or just finished (from 1), the moves
  // done in it and the moves a pass makes (one per label).
  int pass = 0;
  int move = 0;
  int movesPerPass = 0;
  // Optimizer only: set on the report of a finished pass, with the energy
  // after it and its wall seconds.
  bool passFinished = false;
  double energy = 0.0;
  double passSeconds = 0.0;
  double elapsedSeconds = 0.0;  // wall seconds since the stage started
  // Estimated wall seconds until the pass under way ends (optimizer only),
  // and until the stage ends; none until there is a pace to go by.
  std::optional<double> passSecondsLeft;
  std::optional<double> secondsLeft;
};

// Hooks for a run (StereoRequest::progress) that time its stages and tell
// `onReport` of every row, every move and every finished pass, with the
// estimates. Each view's stages are timed on their own; the cost volume's
// from its first row's report (its start is not reported). Reports come on
// the thread that called the hook, never two at once. An empty `onReport`
// gives empty hooks. `clock` gives monotonic seconds (default steadySeconds,
// platform/Timing.h); tests pass their own.
StereoProgress estimatedProgress(std::function<void(const ProgressReport&)> onReport,
                                 std::function<double()> clock = {});

}  // namespace orbelt
