#pragma once
// The message of a failed result, or "" for a successful one: lets a test
// compare the outcome of a file call with the exact text in one assertion
// (and see the message when it unexpectedly fails).
#include <string>

#include "platform/Expected.h"

namespace orbelt::testing {

template <class T>
std::string errorText(const Expected<T>& result) {
  return result ? std::string() : result.error().message;
}

}  // namespace orbelt::testing
