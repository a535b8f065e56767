#pragma once
// How the command line ends on an Error: its message on standard error and
// an exit status chosen by the Error's kind. The table is the command line's
// own; the library's Errors carry no status.
//
//   kind                                      status
//   InvalidInput, RunTooLarge, IoFailure      2  (usage, input, output file; refused before any work where possible)
//   EngineFailure, OutOfMemory                1  (an engine ended the run)
//   ColorFormat                               255 (-1: the colour check)
#include "platform/Error.h"

namespace orbelt {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitEngineFailure = 1;
inline constexpr int kExitUsage = 2;

// The status the command ends with for `error` (0..255).
int exitStatusOf(const Error& error);

// Prints the message on standard error as it is (framing included), ending
// the line when the message does not, and returns exitStatusOf(error).
int reportError(const Error& error);

}  // namespace orbelt
