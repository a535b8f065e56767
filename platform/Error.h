#pragma once
// The one error type of the library core, and how a program reports it.
//
// Library code never ends the process: an entry point that can fail returns
// Expected<T> (platform/Expected.h) holding either its value or an Error. The
// front ends decide what a failure means for them: the dialog shows it in a
// message box, the command line prints `message` on `stream` and ends with
// `exitStatus`, the Python module raises the exception that matches `kind`.
#include <string>
#include <utility>

namespace orbelt {

// What went wrong, in the words a caller branches on.
enum class ErrorKind {
  InvalidInput,   // a parameter, image or file the run cannot use; refused before any work
  OutOfMemory,    // the run needs more memory than it can have, or an allocation failed
  EngineFailure,  // an engine stopped on a condition its caller did not rule out
  IoFailure,      // a file could not be read or written (path and reason in the message)
  ColorFormat,    // the input pair is not three-channel colour (the dialog's colour check)
};

// Where a program writes the message of an error.
enum class ErrorStream { Stdout, Stderr };

struct Error {
  ErrorKind kind = ErrorKind::EngineFailure;
  // The text exactly as the programs print it, framing and newlines included
  // (the optimizer's messages keep their "\n %s \n" frame).
  std::string message;
  // Status the programs end with for this error (1 for engine failures,
  // -1, seen as 255, after the colour check, 2 for refused input).
  int exitStatus = 1;
  ErrorStream stream = ErrorStream::Stderr;

  // The message without the leading and trailing blanks and newlines of its
  // frame: what an exception or a log line should carry.
  std::string summary() const;
};

// Shorthands that fill the usual status and stream for each kind.
Error invalidInput(std::string message);                                             // exit 2, stderr
Error outOfMemory(std::string message);                                              // exit 2, stderr
Error engineFailure(std::string message, ErrorStream stream = ErrorStream::Stderr);  // exit 1
Error ioFailure(std::string message);                                                // exit 2, stderr

// Short English name of a kind ("invalid input", ...), for logs and JSON.
const char* errorKindName(ErrorKind kind);

}  // namespace orbelt
