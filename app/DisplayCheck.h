#pragma once
// Whether the desktop program can open a window here, asked before Qt is
// started: without a display Qt aborts with a core dump and a message about
// platform plugins, which tells a user nothing useful.
#include <functional>
#include <optional>
#include <string>

namespace orbelt {

// Reads an environment variable; nothing when it is unset.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// Why no window can be shown, or nothing when one can: a Qt platform chosen
// explicitly (QT_QPA_PLATFORM, e.g. offscreen) is trusted; otherwise DISPLAY
// or WAYLAND_DISPLAY must be set and not empty.
std::optional<std::string> missingDisplayReason(const EnvironmentLookup& env);

// The process environment.
std::optional<std::string> processEnvironment(const char* name);

}  // namespace orbelt
