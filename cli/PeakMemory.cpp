#include "cli/PeakMemory.h"

#include <fstream>
#include <sstream>
#include <string>

namespace orbelt {

std::uint64_t peakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) != 0) continue;
    std::istringstream fields(line.substr(6));
    std::uint64_t kib = 0;
    fields >> kib;
    return kib * 1024;
  }
  return 0;
}

}  // namespace orbelt
