#pragma once
// Assertions on a returned Error: what a program would print, and the kind
// every front end's table decides the rest by (an EngineFailure: stderr and
// status 1 on the command line, the end of the dialog).
#include <string>

#include <gtest/gtest.h>

#include "platform/Error.h"

namespace orbelt::testing {

// `result` (an Expected or a Status) failed with exactly `message`, an Error
// of `kind`.
template <class Result>
::testing::AssertionResult failedWith(const Result& result, const std::string& message,
                                      ErrorKind kind = ErrorKind::EngineFailure) {
  if (result.ok()) return ::testing::AssertionFailure() << "it succeeded; expected \"" << message << "\"";
  const Error& error = result.error();
  if (error.message != message) {
    return ::testing::AssertionFailure() << "message \"" << error.message << "\", expected \"" << message << "\"";
  }
  if (error.kind != kind) {
    return ::testing::AssertionFailure() << "kind \"" << errorKindName(error.kind) << "\", expected \""
                                         << errorKindName(kind) << "\"";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace orbelt::testing
