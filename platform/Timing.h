#pragma once
// The clocks the programs time their stages with. Every figure a run reports
// (stage seconds, benchmark wall and CPU time) is read through these, so the
// figures of different programs are comparable.
#include <chrono>

namespace orbelt {

// The wall clock of every stage timing: steady, so a change of the system
// time never makes a stage negative or huge.
using SteadyClock = std::chrono::steady_clock;

// Seconds of SteadyClock time since `start`, at the clock's full resolution.
double secondsSince(SteadyClock::time_point start);

// SteadyClock's reading in seconds since its own fixed origin: only the
// difference of two readings means anything.
double steadySeconds();

// CPU seconds the whole process has used so far (all threads, user and
// system), at nanosecond resolution.
double processCpuSeconds();

}  // namespace orbelt
