// What a run of minutes shows on standard error: in a log, a line every ten
// seconds of a running stage and one per pass, each with the time the rest
// should take; on a terminal, the same on a bar redrawn in place.
#include "cli/ProgressDisplay.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orbelt {
namespace {

// Everything written to a temporary stream.
std::string contents(std::FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string text;
  for (int c; (c = std::fgetc(stream)) != EOF;) text.push_back(static_cast<char>(c));
  return text;
}

struct Step {
  double at;
  std::function<void(const StereoProgress&)> call;
  const char* shown;  // what the step adds to the stream
};

void play(ProgressStyle style, const std::vector<Step>& steps) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  double now = 0.0;
  ProgressDisplay display(style, stream, [&] { return now; });
  const StereoProgress progress = display.stereoProgress();
  std::string before;
  for (std::size_t k = 0; k < steps.size(); ++k) {
    SCOPED_TRACE("step " + std::to_string(k));
    now = steps[k].at;
    steps[k].call(progress);
    const std::string after = contents(stream);
    std::fseek(stream, 0, SEEK_END);
    EXPECT_EQ(after.substr(before.size()), steps[k].shown);
    before = after;
  }
  std::fclose(stream);
}

const StereoView L = StereoView::Left;

std::function<void(const StereoProgress&)> row(int done, int total) {
  return [=](const StereoProgress& p) { p.onRow(L, done, total); };
}
std::function<void(const StereoProgress&)> passStart(int pass) {
  return [=](const StereoProgress& p) { p.onPassStart(L, pass); };
}
std::function<void(const StereoProgress&)> move(int done, int moves) {
  return [=](const StereoProgress& p) { p.onMove(L, done, moves); };
}
std::function<void(const StereoProgress&)> passEnd(StereoView view, int pass, double energy, double seconds) {
  return [=](const StereoProgress& p) { p.onPass(view, pass, energy, seconds); };
}

TEST(ProgressDisplay, ALogShowsARunningStageEveryTenSecondsAndEachPassWithWhatIsLeft) {
  play(ProgressStyle::Lines,
       {
           {0, row(1, 101), ""},
           {9, row(50, 101), ""},
           {10, row(51, 101), "cost volume: row 51 of 101, about 10 s left\n"},
           {15, row(70, 101), ""},
           {20, passStart(1), ""},
           {25, move(1, 4), ""},
           {36, move(2, 4), "optimizer: pass 1 of 10, label 2 of 4, about 16 s left in the pass\n"},
           {52, passEnd(L, 1, 1234.5, 32.0), "pass  1 of 10: energy 1234.5 (32.00 s), about 4 min 48 s left\n"},
           {52, passStart(2), ""},
           {60, move(1, 4), ""},
           {70, move(3, 4),
            "optimizer: pass 2 of 10, label 3 of 4, about 6 s left in the pass, about 4 min 22 s in all\n"},
           {76, passEnd(L, 2, 1000.0, 24.0), "pass  2 of 10: energy 1000.0 (24.00 s), about 3 min 12 s left\n"},
           {80, passEnd(L, 10, 999.0, 4.0), "pass 10 of 10: energy 999.0 (4.00 s)\n"},
           {90, passEnd(StereoView::Right, 9, 1.0, 3000.0),
            "right view: pass  9 of 10: energy 1.0 (3000.00 s), about 50 min 00 s left\n"},
           {90, passEnd(StereoView::Right, 1, 1.0, 1000.0),
            "right view: pass  1 of 10: energy 1.0 (1000.00 s), about 2 h 30 min left\n"},
       });
}

TEST(ProgressDisplay, ATerminalShowsTheSameOnABar) {
  play(ProgressStyle::Bar,
       {
           {0, row(1, 11), "\rcost volume            [###...........................]   9%  row 1 of 11\033[K"},
           {4, row(5, 11),
            "\rcost volume            [##############................]  45%  row 5 of 11, about 6 s left\033[K"},
       });
}

}  // namespace
}  // namespace orbelt
