#pragma once
// One rule for every sub-command's argument parsing: help is printed and ends
// the command with status 0; a usage error is explained on stderr and ends it
// with kExitUsage (2), whatever code the parser itself would pick.
#include <optional>

#include <CLI/CLI.hpp>

#include "cli/ExitStatus.h"

namespace orbelt {

// Parses into `app`. Empty when the command should go on; otherwise the exit
// status to return at once.
inline std::optional<int> parseArguments(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help and --help-all
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  return std::nullopt;
}

}  // namespace orbelt
