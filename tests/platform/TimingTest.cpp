// The stage clocks: seconds, not milliseconds or ticks, and never backwards.
#include "platform/Timing.h"

#include <gtest/gtest.h>

namespace orbelt {
namespace {

TEST(Timing, SecondsSinceCountsWholeSecondsOfTheSteadyClock) {
  // A start three seconds back: a unit mix-up (ms, ticks) shows as 3000 or 3e9.
  const double seconds = secondsSince(SteadyClock::now() - std::chrono::seconds(3));
  EXPECT_GE(seconds, 3.0);
  EXPECT_LT(seconds, 60.0);
}

TEST(Timing, ReadingsNeverGoBackwards) {
  const double steady = steadySeconds();
  const double cpu = processCpuSeconds();
  volatile double sink = 0;
  for (int i = 0; i < 1000000; ++i) sink = sink + i * 0.5;
  EXPECT_GE(steadySeconds(), steady);
  EXPECT_GE(processCpuSeconds(), cpu);
  EXPECT_GT(cpu, 0.0);  // the process has run code before this test
}

}  // namespace
}  // namespace orbelt
