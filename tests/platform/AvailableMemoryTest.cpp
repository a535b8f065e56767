// The free-memory probe takes the tightest of its limits: an address-space
// limit just above what the process already holds must bring it down.
#include "platform/AvailableMemory.h"

#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace orbelt {
namespace {

std::uint64_t addressSpaceInUse() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmSize:", 0) == 0) {
      std::istringstream fields(line.substr(7));
      std::uint64_t kib = 0;
      fields >> kib;
      return kib * 1024;
    }
  }
  return 0;
}

TEST(AvailableMemory, AnAddressSpaceLimitBindsWhenItIsTheTightest) {
  if (const char* run = std::getenv("ORBELT_SANITIZER_RUN"); run && std::string(run) == "1") {
    GTEST_SKIP() << "sanitizer builds reserve terabytes of address space, so no address-space limit can apply";
  }
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
  const std::uint64_t headroom = 64u << 20;
  const std::uint64_t inUse = addressSpaceInUse();
  ASSERT_GT(inUse, 0u) << "no VmSize in /proc/self/status";
  if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < inUse + headroom) {
    GTEST_SKIP() << "the hard address-space limit is already below what the test needs";
  }
  rlimit tight = saved;
  tight.rlim_cur = inUse + headroom;
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
  const std::uint64_t available = availableMemoryBytes();
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &saved), 0);
  // The probe's own reading of VmSize may differ by a few pages from ours.
  EXPECT_LE(available, headroom + (1u << 20));
}

TEST(AvailableMemory, IsNeverMoreThanTheMachineCanGive) {
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  std::uint64_t total = 0;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemTotal:", 0) == 0) total = std::stoull(line.substr(9)) * 1024;
  }
  if (total == 0) GTEST_SKIP() << "no MemTotal in /proc/meminfo";
  EXPECT_LE(availableMemoryBytes(), total);
}

}  // namespace
}  // namespace orbelt
