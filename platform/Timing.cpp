#include "platform/Timing.h"

#include <time.h>

namespace orbelt {

double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

double steadySeconds() { return std::chrono::duration<double>(SteadyClock::now().time_since_epoch()).count(); }

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace orbelt
