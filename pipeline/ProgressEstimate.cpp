#include "pipeline/ProgressEstimate.h"

#include <memory>
#include <utility>

#include "mrf/OptimizerOptions.h"
#include "platform/Timing.h"

namespace orbelt {

namespace {

// The pace of the view under way, shared by the hooks of one run.
class Pace {
 public:
  Pace(std::function<void(const ProgressReport&)> onReport, std::function<double()> clock)
      : onReport_(std::move(onReport)), clock_(std::move(clock)) {}

  void row(StereoView view, int done, int height) {
    enter(view);
    const double now = clock_();
    if (!rowsSeen_) {
      rowsSeen_ = true;
      firstRowAt_ = now;
      firstRows_ = done;
    }
    ProgressReport report = base(view, ProgressStage::CostVolume);
    report.done = done;
    report.total = height;
    report.elapsedSeconds = now - firstRowAt_;
    if (done >= height) {
      report.secondsLeft = 0.0;
    } else if (done > firstRows_) {
      report.secondsLeft = report.elapsedSeconds / (done - firstRows_) * (height - done);
    }
    onReport_(report);
  }

  void passStart(StereoView view, int pass) {
    enter(view);
    startPass(pass, clock_());
  }

  void move(StereoView view, int done, int perPass) {
    enter(view);
    const double now = clock_();
    // A labeller that does not tell pass starts: the pass began where the
    // last one ended, or for the first, by now.
    if (!passOpen_) startPass(passesDone_ + 1, passesDone_ > 0 ? lastPassEndedAt_ : now);
    ProgressReport report = optimizerReport(view, now);
    report.move = done;
    report.movesPerPass = perPass;
    if (done > 0) {
      const double passLeft = (now - passStartedAt_) / done * (perPass - done);
      report.passSecondsLeft = passLeft;
      if (lastPassSeconds_) report.secondsLeft = passLeft + (kOptimizerPasses - pass_) * *lastPassSeconds_;
    }
    onReport_(report);
  }

  void passEnd(StereoView view, int pass, double energy, double seconds) {
    enter(view);
    const double now = clock_();
    if (!passOpen_) startPass(pass, now - seconds);
    passOpen_ = false;
    passesDone_ = pass;
    lastPassEndedAt_ = now;
    lastPassSeconds_ = seconds;
    ProgressReport report = optimizerReport(view, now);
    report.passFinished = true;
    report.energy = energy;
    report.passSeconds = seconds;
    report.passSecondsLeft = 0.0;
    report.secondsLeft = (kOptimizerPasses - pass) * seconds;
    onReport_(report);
  }

 private:
  // A new view starts its stages from nothing.
  void enter(StereoView view) {
    if (view_ == view) return;
    *this = Pace(std::move(onReport_), std::move(clock_));
    view_ = view;
  }

  void startPass(int pass, double at) {
    if (pass == 1 || passesDone_ == 0) optimizerStartedAt_ = at;
    pass_ = pass;
    passStartedAt_ = at;
    passOpen_ = true;
  }

  static ProgressReport base(StereoView view, ProgressStage stage) {
    ProgressReport report;
    report.view = view;
    report.stage = stage;
    return report;
  }

  ProgressReport optimizerReport(StereoView view, double now) const {
    ProgressReport report = base(view, ProgressStage::Optimizer);
    report.done = passesDone_;
    report.total = kOptimizerPasses;
    report.pass = pass_;
    report.elapsedSeconds = now - optimizerStartedAt_;
    return report;
  }

  std::function<void(const ProgressReport&)> onReport_;
  std::function<double()> clock_;
  std::optional<StereoView> view_;
  bool rowsSeen_ = false;
  double firstRowAt_ = 0.0;
  int firstRows_ = 0;
  double optimizerStartedAt_ = 0.0;
  double passStartedAt_ = 0.0;
  double lastPassEndedAt_ = 0.0;
  bool passOpen_ = false;
  int pass_ = 0;
  int passesDone_ = 0;
  std::optional<double> lastPassSeconds_;
};

}  // namespace

StereoProgress estimatedProgress(std::function<void(const ProgressReport&)> onReport, std::function<double()> clock) {
  StereoProgress progress;
  if (!onReport) return progress;
  auto pace =
      std::make_shared<Pace>(std::move(onReport), clock ? std::move(clock) : std::function<double()>(steadySeconds));
  progress.onRow = [pace](StereoView view, int done, int height) { pace->row(view, done, height); };
  progress.onPassStart = [pace](StereoView view, int pass) { pace->passStart(view, pass); };
  progress.onMove = [pace](StereoView view, int done, int perPass) { pace->move(view, done, perPass); };
  progress.onPass = [pace](StereoView view, int pass, double energy, double seconds) {
    pace->passEnd(view, pass, energy, seconds);
  };
  return progress;
}

}  // namespace orbelt
