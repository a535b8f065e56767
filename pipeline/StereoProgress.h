#pragma once
// How a run tells of its progress: one record of callbacks, made by the front
// end and handed unchanged through the run to the engines, which call them
// with the view they are working on.
#include <functional>

namespace orbelt {

// Which view a run is labelling: the left (reference) one, or, for the
// left-right check, the right one (the mirrored pair).
enum class StereoView { Left, Right };

// Each callback may be empty.
struct StereoProgress {
  // After each finished row of a cost volume (rows done, height). It may be
  // called from the matcher's worker threads, never from two at once.
  std::function<void(StereoView view, int rowsDone, int height)> onRow;
  // Before each optimizer pass (pass number from 1), so a front end can time
  // the pass from its start.
  std::function<void(StereoView view, int pass)> onPassStart;
  // After each expansion move of a pass (moves done in it, moves per pass).
  std::function<void(StereoView view, int movesDone, int movesPerPass)> onMove;
  // After each optimizer pass (pass number from 1, energy after it, its
  // wall seconds).
  std::function<void(StereoView view, int pass, double energy, double seconds)> onPass;
};

}  // namespace orbelt
