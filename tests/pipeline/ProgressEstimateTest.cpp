// What a front end is told of a run under way: each report's stage, place
// and time estimates, from the run's own pace on a clock the test sets.
#include "pipeline/ProgressEstimate.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orbelt {
namespace {

// One hook call at a clock reading, and the report it must give (none for
// a pass start, which only starts the pass's clock).
struct Step {
  double at;
  std::function<void(const StereoProgress&)> call;
  std::optional<ProgressReport> expected;
};

ProgressReport costReport(StereoView view, int done, int total, double elapsed, std::optional<double> left) {
  ProgressReport r;
  r.view = view;
  r.stage = ProgressStage::CostVolume;
  r.done = done;
  r.total = total;
  r.elapsedSeconds = elapsed;
  r.secondsLeft = left;
  return r;
}

ProgressReport moveReport(int passesDone, int pass, int move, int moves, double elapsed, std::optional<double> passLeft,
                          std::optional<double> left) {
  ProgressReport r;
  r.stage = ProgressStage::Optimizer;
  r.done = passesDone;
  r.total = 10;
  r.pass = pass;
  r.move = move;
  r.movesPerPass = moves;
  r.elapsedSeconds = elapsed;
  r.passSecondsLeft = passLeft;
  r.secondsLeft = left;
  return r;
}

ProgressReport passReport(int pass, double energy, double seconds, double elapsed, double left) {
  ProgressReport r = moveReport(pass, pass, 0, 0, elapsed, 0.0, left);
  r.passFinished = true;
  r.energy = energy;
  r.passSeconds = seconds;
  return r;
}

void expectSame(const ProgressReport& got, const ProgressReport& want) {
  EXPECT_EQ(got.view, want.view);
  EXPECT_EQ(got.stage, want.stage);
  EXPECT_EQ(got.done, want.done);
  EXPECT_EQ(got.total, want.total);
  EXPECT_EQ(got.pass, want.pass);
  EXPECT_EQ(got.move, want.move);
  EXPECT_EQ(got.movesPerPass, want.movesPerPass);
  EXPECT_EQ(got.passFinished, want.passFinished);
  EXPECT_EQ(got.energy, want.energy);
  EXPECT_EQ(got.passSeconds, want.passSeconds);
  EXPECT_DOUBLE_EQ(got.elapsedSeconds, want.elapsedSeconds);
  EXPECT_EQ(got.passSecondsLeft, want.passSecondsLeft);
  EXPECT_EQ(got.secondsLeft, want.secondsLeft);
}

const auto row = [](StereoView view, int done, int total) {
  return [=](const StereoProgress& p) { p.onRow(view, done, total); };
};
const auto passStart = [](int pass) { return [=](const StereoProgress& p) { p.onPassStart(StereoView::Left, pass); }; };
const auto move = [](int done, int moves) {
  return [=](const StereoProgress& p) { p.onMove(StereoView::Left, done, moves); };
};
const auto passEnd = [](int pass, double energy, double seconds) {
  return [=](const StereoProgress& p) { p.onPass(StereoView::Left, pass, energy, seconds); };
};

void play(const std::vector<Step>& steps) {
  double now = 0.0;
  std::vector<ProgressReport> reports;
  const StereoProgress progress =
      estimatedProgress([&](const ProgressReport& r) { reports.push_back(r); }, [&] { return now; });
  for (std::size_t k = 0; k < steps.size(); ++k) {
    SCOPED_TRACE("step " + std::to_string(k) + " at " + std::to_string(steps[k].at) + " s");
    now = steps[k].at;
    reports.clear();
    steps[k].call(progress);
    ASSERT_EQ(reports.size(), steps[k].expected ? 1u : 0u);
    if (steps[k].expected) expectSame(reports[0], *steps[k].expected);
  }
}

// The cost volume's rest goes at the pace of the rows since its first
// report; a pass's rest at the pace of its moves; the passes after it at the
// last finished pass's time, unknown during the first. The right view starts
// from nothing.
TEST(ProgressEstimate, EstimatesTheRestOfEachStageFromItsOwnPace) {
  const StereoView L = StereoView::Left;
  play({
      {100, row(L, 1, 11), costReport(L, 1, 11, 0, std::nullopt)},
      {102, row(L, 3, 11), costReport(L, 3, 11, 2, 8.0)},
      {104, row(L, 11, 11), costReport(L, 11, 11, 4, 0.0)},
      {105, passStart(1), std::nullopt},
      {106, move(1, 4), moveReport(0, 1, 1, 4, 1, 3.0, std::nullopt)},
      {109, passEnd(1, 50.0, 4.0), passReport(1, 50.0, 4.0, 4, 36.0)},
      {109, passStart(2), std::nullopt},
      {111, move(2, 4), moveReport(1, 2, 2, 4, 6, 2.0, 2.0 + 8 * 4.0)},
      {113, passEnd(2, 40.0, 4.0), passReport(2, 40.0, 4.0, 8, 32.0)},
      {120, row(StereoView::Right, 2, 11), costReport(StereoView::Right, 2, 11, 0, std::nullopt)},
  });
}

// A labeller that does not tell where its passes start: a pass is taken to
// start at its first move, or at the end of the pass before it.
TEST(ProgressEstimate, APassStartsAtItsFirstMoveWhenItsStartIsNotTold) {
  play({
      {10, move(1, 4), moveReport(0, 1, 1, 4, 0, 0.0, std::nullopt)},
      {12, move(2, 4), moveReport(0, 1, 2, 4, 2, 2.0, std::nullopt)},
      {14, passEnd(1, 9.0, 4.0), passReport(1, 9.0, 4.0, 4, 36.0)},
      {15, move(1, 4), moveReport(1, 2, 1, 4, 5, 3.0, 3.0 + 8 * 4.0)},
  });
}

TEST(ProgressEstimate, NoCallbackMeansNoHooks) {
  const StereoProgress progress = estimatedProgress({});
  EXPECT_FALSE(progress.onRow || progress.onPassStart || progress.onMove || progress.onPass);
}

}  // namespace
}  // namespace orbelt
