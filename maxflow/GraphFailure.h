#pragma once
// How the graph fails: after the error sink (if any) got the message, the
// graph raises a Failure (platform/Failure.h) whose Error carries the same
// message and a line break; kind OutOfMemory for
// "Not enough memory!", EngineFailure for the others. The solver that drives
// the graph returns it from its own entry point; the process goes on.
#include "platform/Failure.h"

namespace orbelt {

inline constexpr const char* kGraphOutOfMemory = "Not enough memory!";

[[noreturn]] void raiseGraphFailure(const char* message);

}  // namespace orbelt
