#pragma once
// Bytes currently allocated through operator new in this test program. The
// count comes from replacing the global allocation functions (LiveHeap.cpp),
// so a test can see whether a large buffer is still alive at a given moment
// without reaching into the code that owns it.
#include <cstdint>

namespace orbelt::testing {

std::int64_t liveHeapBytes();

}  // namespace orbelt::testing
