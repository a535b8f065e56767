#include "platform/Error.h"

#include "platform/Failure.h"

namespace orbelt {

std::string Error::summary() const {
  const char* blanks = " \t\r\n";
  const auto first = message.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  const auto last = message.find_last_not_of(blanks);
  return message.substr(first, last - first + 1);
}

Error invalidInput(std::string message) { return Error{ErrorKind::InvalidInput, std::move(message)}; }

Error runTooLarge(std::string message) { return Error{ErrorKind::RunTooLarge, std::move(message)}; }

Error outOfMemory(std::string message) { return Error{ErrorKind::OutOfMemory, std::move(message)}; }

Error engineFailure(std::string message) { return Error{ErrorKind::EngineFailure, std::move(message)}; }

Error ioFailure(std::string message) { return Error{ErrorKind::IoFailure, std::move(message)}; }

const char* errorKindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::InvalidInput: return "invalid input";
    case ErrorKind::RunTooLarge: return "run too large";
    case ErrorKind::OutOfMemory: return "out of memory";
    case ErrorKind::EngineFailure: return "engine failure";
    case ErrorKind::IoFailure: return "i/o failure";
    case ErrorKind::ColorFormat: return "colour format";
  }
  return "unknown";
}

void raiseFailure(Error error) { throw Failure{std::move(error)}; }

}  // namespace orbelt
