#include "cli/ProgressDisplay.h"

#include <unistd.h>

#include <algorithm>

#include "mrf/OptimizerOptions.h"
#include "platform/Timing.h"

namespace orbelt {

ProgressStyle progressStyleFor(bool quiet, std::FILE* stream) {
  if (quiet) return ProgressStyle::Quiet;
  return ::isatty(::fileno(stream)) ? ProgressStyle::Bar : ProgressStyle::Lines;
}

ProgressDisplay::ProgressDisplay(ProgressStyle style, std::FILE* stream) : style_(style), stream_(stream) {}

std::string ProgressDisplay::prefixOf(StereoView view) {
  if (view != currentView_) {
    currentView_ = view;
    passesDone_ = 0;
  }
  return view == StereoView::Left ? "" : "right view: ";
}

StereoProgress ProgressDisplay::stereoProgress() {
  StereoProgress progress;
  if (style_ == ProgressStyle::Quiet) return progress;
  if (style_ == ProgressStyle::Bar) {
    progress.onRow = [this](StereoView view, int done, int rows) {
      drawBar(prefixOf(view) + "cost volume", rows > 0 ? double(done) / rows : 1.0,
              "row " + std::to_string(done) + " of " + std::to_string(rows));
    };
    progress.onMove = [this](StereoView view, int done, int perPass) {
      const std::string prefix = prefixOf(view);
      // The ten passes as one bar: finished passes plus this pass's share.
      const double fraction = (passesDone_ + (perPass > 0 ? double(done) / perPass : 1.0)) / kOptimizerPasses;
      drawBar(prefix + "optimizer", fraction,
              "pass " + std::to_string(passesDone_ + 1) + " of " + std::to_string(kOptimizerPasses) + ", label " +
                  std::to_string(done) + " of " + std::to_string(perPass));
    };
  }
  progress.onPass = [this](StereoView view, int pass, double energy, double seconds) {
    const std::string prefix = prefixOf(view);
    passesDone_ = pass;
    char text[160];
    std::snprintf(text, sizeof text, "%spass %2d of %d: energy %.1f (%.2f s)", prefix.c_str(), pass, kOptimizerPasses,
                  energy, seconds);
    line(text);
  };
  return progress;
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
  const double now = steadySeconds();
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
