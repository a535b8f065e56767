#pragma once
// What a run tells on standard error while it works: a progress bar redrawn
// in place when stderr is a terminal, plain stage lines when it is a file or
// a pipe (so logs stay readable), nothing at all when quiet. Both show how
// far the cost volume and each pass are and about how long the rest should
// take (ProgressEstimate.h).
#include <cstdio>
#include <functional>
#include <string>

#include "pipeline/ProgressEstimate.h"

namespace orbelt {

enum class ProgressStyle {
  Quiet,  // nothing
  Lines,  // one line per finished stage and pass, and one every ten seconds of a running stage
  Bar,    // the lines, plus a bar redrawn in place while a stage runs
};

// Bar on a terminal, Lines otherwise, Quiet when asked.
ProgressStyle progressStyleFor(bool quiet, std::FILE* stream);

class ProgressDisplay {
 public:
  // `clock` gives monotonic seconds (default steadySeconds); tests pass their own.
  explicit ProgressDisplay(ProgressStyle style, std::FILE* stream = stderr, std::function<double()> clock = {});

  // The display's hooks for a run: the left view's lines as the main run's,
  // the right view's prefixed "right view: ". Nothing with Quiet.
  StereoProgress stereoProgress();

  // Prints a line (ending a bar first), unless quiet.
  void line(const std::string& text);
  // Ends a bar being redrawn, so the next output starts on a fresh line.
  void endBar();

  ProgressStyle style() const { return style_; }

 private:
  // Shows one report: a finished pass as a line (with the time the passes
  // to come should take), a running stage on the bar, or in Lines mode as a
  // line once in a while.
  void show(const ProgressReport& report);
  void drawBar(const std::string& label, double fraction, const std::string& detail);

  ProgressStyle style_;
  std::FILE* stream_;
  std::function<double()> clock_;
  bool barOpen_ = false;
  double lastDraw_ = -1.0;  // monotonic seconds of the last redraw
  double lastLine_ = 0.0;   // monotonic seconds of the last line of the running stage, or of its start
  int stageKey_ = -1;       // the view and stage the last report was of
};

}  // namespace orbelt
