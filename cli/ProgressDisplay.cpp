#include "cli/ProgressDisplay.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "mrf/OptimizerOptions.h"
#include "platform/Timing.h"

namespace orbelt {

ProgressStyle progressStyleFor(bool quiet, std::FILE* stream) {
  if (quiet) return ProgressStyle::Quiet;
  return ::isatty(::fileno(stream)) ? ProgressStyle::Bar : ProgressStyle::Lines;
}

ProgressDisplay::ProgressDisplay(ProgressStyle style, std::FILE* stream, std::function<double()> clock)
    : style_(style), stream_(stream), clock_(clock ? std::move(clock) : std::function<double()>(steadySeconds)) {}

namespace {

// Lines mode shows a running stage once in this many seconds, so a log of a
// run of minutes shows it is alive without a line per row or move.
constexpr double kLineIntervalSeconds = 10.0;

// "about 42 s", "about 3 min 05 s", "about 1 h 02 min".
std::string aboutTime(double seconds) {
  const long s = std::lround(std::max(seconds, 0.0));
  char text[48];
  if (s < 90) {
    std::snprintf(text, sizeof text, "about %ld s", s);
  } else if (s < 90 * 60) {
    std::snprintf(text, sizeof text, "about %ld min %02ld s", s / 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "about %ld h %02ld min", s / 3600, (s / 60) % 60);
  }
  return text;
}

// What a running stage has done and has left, for the bar and the lines.
std::string runningDetail(const ProgressReport& r) {
  if (r.stage == ProgressStage::CostVolume) {
    std::string text = "row " + std::to_string(r.done) + " of " + std::to_string(r.total);
    if (r.secondsLeft) text += ", " + aboutTime(*r.secondsLeft) + " left";
    return text;
  }
  std::string text = "pass " + std::to_string(r.pass) + " of " + std::to_string(r.total) + ", label " +
                     std::to_string(r.move) + " of " + std::to_string(r.movesPerPass);
  if (r.passSecondsLeft) text += ", " + aboutTime(*r.passSecondsLeft) + " left in the pass";
  if (r.secondsLeft) text += ", " + aboutTime(*r.secondsLeft) + " in all";
  return text;
}

}  // namespace

StereoProgress ProgressDisplay::stereoProgress() {
  if (style_ == ProgressStyle::Quiet) return {};
  return estimatedProgress([this](const ProgressReport& report) { show(report); }, clock_);
}

void ProgressDisplay::show(const ProgressReport& r) {
  const std::string prefix = r.view == StereoView::Left ? "" : "right view: ";
  const std::string stage = r.stage == ProgressStage::CostVolume ? "cost volume" : "optimizer";
  if (r.passFinished) {
    char text[200];
    std::snprintf(text, sizeof text, "%spass %2d of %d: energy %.1f (%.2f s)", prefix.c_str(), r.pass, r.total,
                  r.energy, r.passSeconds);
    std::string shown = text;
    if (r.pass < r.total && r.secondsLeft) shown += ", " + aboutTime(*r.secondsLeft) + " left";
    line(shown);
    lastLine_ = clock_();
    return;
  }
  if (style_ == ProgressStyle::Bar) {
    double fraction = 1.0;
    if (r.stage == ProgressStage::CostVolume) {
      fraction = r.total > 0 ? double(r.done) / r.total : 1.0;
    } else if (r.total > 0) {
      // The ten passes as one bar: finished passes plus this pass's share.
      fraction = (r.done + (r.movesPerPass > 0 ? double(r.move) / r.movesPerPass : 1.0)) / r.total;
    }
    drawBar(prefix + stage, fraction, runningDetail(r));
    return;
  }
  // A stage's first line waits for the interval too: short runs stay as
  // terse as they were.
  const double now = clock_();
  const int stageKey = static_cast<int>(r.view) * 2 + static_cast<int>(r.stage);
  if (stageKey != stageKey_) {
    stageKey_ = stageKey;
    lastLine_ = now;
    return;
  }
  if (now - lastLine_ < kLineIntervalSeconds) return;
  line(prefix + stage + ": " + runningDetail(r));
  lastLine_ = now;
}

void ProgressDisplay::line(const std::string& text) {
  if (style_ == ProgressStyle::Quiet) return;
  endBar();
  std::fprintf(stream_, "%s\n", text.c_str());
  std::fflush(stream_);
}

void ProgressDisplay::endBar() {
  if (barOpen_) std::fputc('\n', stream_);
  barOpen_ = false;
}

void ProgressDisplay::drawBar(const std::string& label, double fraction, const std::string& detail) {
  // A redraw per row or move would flood a slow terminal; ten a second read
  // as smooth, and the last step of a stage is always shown.
  const double now = clock_();
  if (fraction < 1.0 && barOpen_ && now - lastDraw_ < 0.1) return;
  lastDraw_ = now;
  constexpr int kWidth = 30;
  const int filled = std::clamp(static_cast<int>(fraction * kWidth + 0.5), 0, kWidth);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kWidth - filled), '.');
  // \033[K clears what a longer earlier line left behind.
  std::fprintf(stream_, "\r%-22s [%s] %3d%%  %s\033[K", label.c_str(), bar.c_str(),
               static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100.0 + 0.5), detail.c_str());
  std::fflush(stream_);
  barOpen_ = true;
}

}  // namespace orbelt
