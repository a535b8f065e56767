#pragma once
// What a run tells on standard error while it works: a progress bar redrawn
// in place when stderr is a terminal, plain stage lines when it is a file or
// a pipe (so logs stay readable), nothing at all when quiet.
#include <cstdio>
#include <string>

#include "pipeline/StereoProgress.h"

namespace orbelt {

enum class ProgressStyle {
  Quiet,  // nothing
  Lines,  // one line per finished stage and pass
  Bar,    // the lines, plus a bar redrawn in place while a stage runs
};

// Bar on a terminal, Lines otherwise, Quiet when asked.
ProgressStyle progressStyleFor(bool quiet, std::FILE* stream);

class ProgressDisplay {
 public:
  explicit ProgressDisplay(ProgressStyle style, std::FILE* stream = stderr);

  // The display's hooks for a run: the left view's lines as the main run's,
  // the right view's prefixed "right view: ". Nothing with Quiet.
  StereoProgress stereoProgress();

  // Prints a line (ending a bar first), unless quiet.
  void line(const std::string& text);
  // Ends a bar being redrawn, so the next output starts on a fresh line.
  void endBar();

  ProgressStyle style() const { return style_; }

 private:
  // Lines of a view start with its prefix; a new view starts its passes
  // from 0.
  std::string prefixOf(StereoView view);

  void drawBar(const std::string& label, double fraction, const std::string& detail);

  ProgressStyle style_;
  std::FILE* stream_;
  bool barOpen_ = false;
  double lastDraw_ = -1.0;  // monotonic seconds of the last redraw
  int passesDone_ = 0;
  StereoView currentView_ = StereoView::Left;
};

}  // namespace orbelt
