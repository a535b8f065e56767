#pragma once
// The one error type of the library core.
//
// Library code never ends the process and never prints: an entry point that
// can fail returns Expected<T> (platform/Expected.h) holding either its value
// or an Error, which says what went wrong (its kind) and how (its message).
// What a failure means for a program is the front end's to decide, each by a
// small table over the kind: the dialog shows the message in a box or ends
// (app/DialogRun.h), the command line prints it and ends with a status
// (cli/ExitStatus.h), the Python module raises the matching exception
// (python/ModuleErrors.h).
#include <string>
#include <utility>

namespace orbelt {

// What went wrong, in the words a caller branches on.
enum class ErrorKind {
  InvalidInput,   // a parameter, image or file the run cannot use; refused before any work
  RunTooLarge,    // the run would need more memory than it may take; refused before any work
  OutOfMemory,    // an allocation failed while the work was under way
  EngineFailure,  // an engine stopped on a condition its caller did not rule out
  IoFailure,      // a file could not be read or written (path and reason in the message)
  ColorFormat,    // the input pair is not three-channel colour (the dialog's colour check)
};

struct Error {
  ErrorKind kind = ErrorKind::EngineFailure;
  // The text exactly as the programs print it, framing and newlines included
  // (the optimizer's messages keep their "\n %s \n" frame).
  std::string message;

  // The message without the leading and trailing blanks and newlines of its
  // frame: what a message box, an exception or a log line should carry.
  std::string summary() const;
};

// Shorthands, one per kind.
Error invalidInput(std::string message);
Error runTooLarge(std::string message);
Error outOfMemory(std::string message);
Error engineFailure(std::string message);
Error ioFailure(std::string message);

// Short English name of a kind ("invalid input", ...), for logs and JSON.
const char* errorKindName(ErrorKind kind);

}  // namespace orbelt
