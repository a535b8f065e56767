#pragma once
// Assertions on a returned Error: what a program would print, where, and the
// status it would end with.
#include <string>

#include <gtest/gtest.h>

#include "platform/Error.h"

namespace orbelt::testing {

// `result` (an Expected or a Status) failed with exactly `message`, to be
// printed on `stream` before the program ends with `exitStatus`.
template <class Result>
::testing::AssertionResult failedWith(const Result& result, const std::string& message, int exitStatus = 1,
                                      ErrorStream stream = ErrorStream::Stderr) {
  if (result.ok()) return ::testing::AssertionFailure() << "it succeeded; expected \"" << message << "\"";
  const Error& error = result.error();
  if (error.message != message) {
    return ::testing::AssertionFailure() << "message \"" << error.message << "\", expected \"" << message << "\"";
  }
  if (error.exitStatus != exitStatus) {
    return ::testing::AssertionFailure() << "exit status " << error.exitStatus << ", expected " << exitStatus;
  }
  if (error.stream != stream) return ::testing::AssertionFailure() << "printed on the other stream";
  return ::testing::AssertionSuccess();
}

}  // namespace orbelt::testing
