#pragma once
// How an engine carries a failure from where it is found to the entry point
// that returns it.
//
// A failure deep inside a sweep or a max-flow search (a block that cannot be
// allocated, a term that is missing) cannot be returned through every inner
// loop without slowing and cluttering them, so it is raised there and caught
// at the engine's public entry point, which returns it as the Error of its
// Expected. A Failure never leaves a library: every entry point that calls
// code which may raise one wraps that call in catchFailure().
#include <new>
#include <type_traits>
#include <utility>

#include "platform/Error.h"
#include "platform/Expected.h"

namespace orbelt {

// The exception object of a raised failure. Not derived from std::exception
// on purpose: a generic catch of std::exception must not swallow it.
struct Failure {
  Error error;
};

// Ends the current engine operation with `error`; caught by catchFailure().
[[noreturn]] void raiseFailure(Error error);

// Runs `body` and returns what it returns, or the Error it raised. An
// allocation that throws std::bad_alloc inside it becomes `outOfMemoryError`.
template <class Body>
auto catchFailure(Body&& body, const Error& outOfMemoryError) -> Expected<std::invoke_result_t<Body&>> {
  using Value = std::invoke_result_t<Body&>;
  try {
    if constexpr (std::is_void_v<Value>) {
      body();
      return {};
    } else {
      return body();
    }
  } catch (Failure& failure) {
    return std::move(failure.error);
  } catch (const std::bad_alloc&) {
    return outOfMemoryError;
  }
}

}  // namespace orbelt
