#pragma once
// Replacing a file so that readers see either the old content or the new one,
// never a half-written mix, and a failed write leaves the old file as it was.
#include <cstddef>
#include <initializer_list>
#include <string>

#include "platform/Expected.h"

namespace orbelt {

// One run of bytes to write.
struct ByteRange {
  const void* data = nullptr;  // first byte
  std::size_t size = 0;        // number of bytes
};

// Writes the concatenation of `parts` to `path`: into a fresh temporary file
// in the same folder (so the final rename stays on one file system), flushed
// to disk, then renamed over `path`. The new file gets the usual permissions
// (0666 less the umask). Fails with IoFailure, its message naming `path`
// and the reason, with the temporary file removed and any earlier file at
// `path` untouched.
Status writeFileAtomically(const std::string& path, std::initializer_list<ByteRange> parts);

}  // namespace orbelt
