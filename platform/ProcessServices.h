#pragma once
// Process-level services: the running executable's own path, ending the
// process with a status (for the front ends only: library code returns its
// Error instead), and the process clock (milliseconds of wall-clock time
// since the process started).
#include <cstdint>
#include <string>

namespace orbelt {

// Full path of the running executable, read from /proc/self/exe.
// Returns an empty string when the link cannot be read.
std::string executablePath();

// Folder of the running executable, without a trailing '/'
// (the path cut before its last '/'). Empty when unknown.
std::string executableFolder();

// Ends the process at once with `status` (the low 8 bits reach the parent,
// so -1 is seen as 255). Standard streams are flushed first. Never returns.
[[noreturn]] void exitProcess(int status);

// Milliseconds of wall-clock time elapsed since the process started
// (steady clock, first read at static initialisation).
std::int64_t processClockMs();

}  // namespace orbelt
