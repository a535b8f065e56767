#include "platform/ProcessServices.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace orbelt {

namespace {
// Taken during static initialisation, which is as close to process start as
// portable code gets.
const auto kProcessStart = std::chrono::steady_clock::now();
}  // namespace

std::string executablePath() {
  std::vector<char> buf(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

std::string executableFolder() {
  const std::string path = executablePath();
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash);
}

void exitProcess(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(status);
}

std::int64_t processClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - kProcessStart)
      .count();
}

}  // namespace orbelt
