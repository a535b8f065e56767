#pragma once
// Expected<T>: the value of a library call, or the Error that stopped it.
//
// The one convention of every library entry point that can fail. C++20 has no
// std::expected, so this is the small subset the code base uses:
//
//   Expected<Labels> r = solve(...);
//   if (!r) return r.error();        // an Error converts back into any Expected
//   use(*r);
//
// Expected<void> (alias Status) carries only success or an Error. Reading the
// value of a failed result, or the error of a successful one, is a programming
// fault and is caught by an assertion in debug builds.
#include <cassert>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "platform/Error.h"

namespace orbelt {

template <class T>
class [[nodiscard]] Expected {
  static_assert(!std::is_same_v<std::remove_cv_t<T>, Error>, "Expected<Error> is ambiguous");

 public:
  Expected(const T& value) : state_(std::in_place_index<0>, value) {}
  Expected(T&& value) : state_(std::in_place_index<0>, std::move(value)) {}
  Expected(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & {
    assert(ok());
    return std::get<0>(state_);
  }
  const T& value() const& {
    assert(ok());
    return std::get<0>(state_);
  }
  T&& value() && {
    assert(ok());
    return std::get<0>(std::move(state_));
  }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const& {
    assert(!ok());
    return std::get<1>(state_);
  }
  Error&& error() && {
    assert(!ok());
    return std::get<1>(std::move(state_));
  }

 private:
  std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Expected<void> {
 public:
  Expected() = default;
  Expected(Error error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }

  const Error& error() const& {
    assert(!ok());
    return *error_;
  }
  Error&& error() && {
    assert(!ok());
    return std::move(*error_);
  }

 private:
  std::optional<Error> error_;
};

using Status = Expected<void>;

}  // namespace orbelt
