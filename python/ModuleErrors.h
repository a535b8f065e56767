#pragma once
// How the library's errors reach Python, the module's own table: each Error
// becomes the exception its kind calls for, carrying its message without the
// frame of blanks and newlines.
//   InvalidInput, ColorFormat  -> ValueError
//   RunTooLarge, OutOfMemory   -> MemoryError
//   EngineFailure              -> RuntimeError
//   IoFailure                  -> OSError
#include <string>

#include "platform/Error.h"

namespace orbelt::python {

// Sets the Python exception for `error` and throws pybind11's
// error_already_set, which the binding layer hands to the interpreter.
[[noreturn]] void raise(const Error& error);

// Shorthands for the module's own argument checks.
[[noreturn]] void raiseValueError(const std::string& message);
[[noreturn]] void raiseTypeError(const std::string& message);

}  // namespace orbelt::python
