#pragma once
// How much more memory this process may take before an allocation fails or
// the out-of-memory killer steps in. Both the pipeline's refusal of a run
// that cannot fit and the matcher's choice of worker count read this one
// probe, so they never disagree about the machine.
#include <cstdint>

namespace orbelt {

// Bytes the process may still take: the lowest of
//  - MemAvailable of /proc/meminfo (what the machine can give without swapping),
//  - the cgroup v2 limit less its current use (memory.max - memory.current:
//    a container's own limit binds before the machine's),
//  - the RLIMIT_AS soft limit less the address space already in use (VmSize).
// A source that is absent or unlimited is left out; UINT64_MAX when all are.
// Never fails.
std::uint64_t availableMemoryBytes();

// Hands the heap pages that were freed but kept by the allocator back to the
// system, so a stage that follows a large, short-lived one (the matcher's
// working storage) starts from what is live rather than stacking its peak on
// pages the allocator happened to keep. Does nothing where the allocator
// offers no way to do it. Never fails.
void returnFreedMemory();

}  // namespace orbelt
