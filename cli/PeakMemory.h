#pragma once
// The most memory the process has held so far, for run summaries.
#include <cstdint>

namespace orbelt {

// VmHWM of /proc/self/status (peak resident set) in bytes; 0 when unknown.
std::uint64_t peakResidentBytes();

}  // namespace orbelt
