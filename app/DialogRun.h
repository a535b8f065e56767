#pragma once
// The Compute command without a window: steps 3..18 of the dialog's run.
// Default images go into empty slots, runStereo labels the held pair with the
// dialog's parameters (the real engines unless the context names others),
// the display map is saved atomically beside the executable, and both slots
// are emptied. The run tells nothing itself: it returns the Error the dialog
// must tell, and dialogReactionTo() says how the dialog tells it.
#include <string>

#include "app/ImageSlots.h"
#include "io/RunPaths.h"
#include "app/StereoParams.h"
#include "pipeline/DisparityResult.h"
#include "pipeline/StereoEngines.h"
#include "platform/Expected.h"

namespace orbelt {

struct DialogRunContext {
  std::string savePath = defaultSavePath();            // where the display map goes
  std::string defaultRefPath = kDefaultRefPath;        // loaded into an empty reference slot
  std::string defaultTargetPath = kDefaultTargetPath;  // loaded into an empty target slot
  StereoEngines engines;                               // an empty member means the real engine
};

// Runs the dialog's Compute on `slots` with `params`. Success is silent and
// saves the map. Otherwise the Error of the first step that failed:
//  - a default image that cannot be read, a pair or parameters that cannot
//    run, too little memory (refused before any work), a matcher failure or
//    memory running out during the run: the slots hold what they held before
//    the call, so a default loaded here does not linger;
//  - the colour check's Error (ColorFormat) and the optimizer's own failures
//    (EngineFailure, e.g. "Wrong exponent in setSmoothness()!\n", found after
//    the cost volume): the slots as they were, nothing saved;
//  - a map computed but not saved (IoFailure, "The disparity map was computed
//    but not saved. " and why, naming the path): the slots emptied, as after
//    every run that reaches its end; an earlier map at the path is intact.
// When `result` is given it receives the left view's labels and figures
// after a computed run. Never ends the process itself.
Status runDialogPipeline(const StereoParams& params, ImageSlots& slots, const DialogRunContext& context,
                         DisparityResult* result = nullptr);

// How the dialog tells an Error of its run, the dialog's own table.
struct DialogReaction {
  bool showInBox = true;     // the message (without its frame) in a message box; else printed on stderr as it is
  bool endsProgram = false;  // the program ends once it is told
  int exitStatus = 0;        // the status it ends with
};

// The colour check's message in a box, then the end with
// kColorFormatExitStatus; an engine's own failure printed on standard error,
// then the end with status 1, as the engines always ended the dialog; any
// other Error in a box, and the dialog stays.
DialogReaction dialogReactionTo(const Error& error);

}  // namespace orbelt
