#include "cli/ExitStatus.h"

#include <cstdio>

#include "pipeline/ColorCheck.h"

namespace orbelt {

int exitStatusOf(const Error& error) {
  switch (error.kind) {
    case ErrorKind::InvalidInput:
    case ErrorKind::RunTooLarge:
    case ErrorKind::IoFailure: return kExitUsage;
    case ErrorKind::EngineFailure:
    case ErrorKind::OutOfMemory: return kExitEngineFailure;
    case ErrorKind::ColorFormat: return kColorFormatExitStatus & 0xff;
  }
  return kExitEngineFailure;
}

int reportError(const Error& error) {
  std::fputs(error.message.c_str(), stderr);
  if (error.message.empty() || error.message.back() != '\n') std::fputc('\n', stderr);
  return exitStatusOf(error);
}

}  // namespace orbelt
