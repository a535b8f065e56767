#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "fuzz/ByteReader.h"
#include "fuzz/ScratchFile.h"

namespace orbelt::fuzz {

void failInvariant(const char* what) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

std::string scratchPath(const char* name) {
  // One folder per process: parallel fuzzing jobs never share a file.
  static const std::string folder = [] {
    std::string pattern = "/tmp/orbelt-fuzz-" + std::to_string(::getpid()) + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) failInvariant("cannot create a scratch folder under /tmp");
    return pattern;
  }();
  return folder + "/" + name;
}

}  // namespace orbelt::fuzz
