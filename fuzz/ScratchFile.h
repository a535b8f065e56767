#pragma once
// Files the round-trip targets write and read back: the readers and writers
// under test take paths, not memory.
#include <string>

namespace orbelt::fuzz {

// `name` inside a private temporary folder of this process (created on first
// use, left for the system's temporary-file cleanup).
std::string scratchPath(const char* name);

}  // namespace orbelt::fuzz
