#include "app/DisplayCheck.h"

#include <cstdlib>

namespace orbelt {

namespace {
bool isSet(const EnvironmentLookup& env, const char* name) {
  const auto value = env(name);
  return value.has_value() && !value->empty();
}
}  // namespace

std::optional<std::string> missingDisplayReason(const EnvironmentLookup& env) {
  if (isSet(env, "QT_QPA_PLATFORM") || isSet(env, "DISPLAY") || isSet(env, "WAYLAND_DISPLAY")) {
    return std::nullopt;
  }
  return std::string(
      "no display to open the dialog on: DISPLAY and WAYLAND_DISPLAY are unset. "
      "Start it from a desktop session, or set QT_QPA_PLATFORM (e.g. offscreen) to run it without one.");
}

std::optional<std::string> processEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace orbelt
