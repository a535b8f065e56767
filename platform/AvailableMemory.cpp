#include "platform/AvailableMemory.h"

#include <sys/resource.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>

namespace orbelt {

namespace {

// Reads "<key> <number> kB" from a /proc file, in bytes; nullopt when absent.
std::optional<std::uint64_t> procKibibytes(const char* file, const char* key) {
  std::ifstream in(file);
  std::string line;
  const std::size_t keyLength = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, keyLength, key) == 0) {
      std::istringstream fields(line.substr(keyLength));
      std::uint64_t kib = 0;
      if (fields >> kib) return kib * 1024u;
    }
  }
  return std::nullopt;
}

// A single number from a cgroup file ("max" means no limit).
std::optional<std::uint64_t> cgroupValue(const char* file) {
  std::ifstream in(file);
  std::string word;
  if (!(in >> word) || word == "max") return std::nullopt;
  try {
    return static_cast<std::uint64_t>(std::stoull(word));
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

std::uint64_t availableMemoryBytes() {
  std::uint64_t available = std::numeric_limits<std::uint64_t>::max();
  if (auto memAvailable = procKibibytes("/proc/meminfo", "MemAvailable:")) available = *memAvailable;

  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    const std::uint64_t inUse = procKibibytes("/proc/self/status", "VmSize:").value_or(0);
    const std::uint64_t cap = static_cast<std::uint64_t>(limit.rlim_cur);
    available = std::min(available, cap > inUse ? cap - inUse : 0);
  }
  if (auto max = cgroupValue("/sys/fs/cgroup/memory.max")) {
    const std::uint64_t used = cgroupValue("/sys/fs/cgroup/memory.current").value_or(0);
    available = std::min(available, *max > used ? *max - used : 0);
  }
  return available;
}

void returnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace orbelt
