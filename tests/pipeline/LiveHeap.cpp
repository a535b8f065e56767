#include "tests/pipeline/LiveHeap.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::int64_t> gLive{0};
}

namespace orbelt::testing {
std::int64_t liveHeapBytes() { return gLive.load(); }
}  // namespace orbelt::testing

// The plain forms are enough: the array, sized and nothrow forms of the
// standard library forward to these. Usable sizes are what malloc really
// hands out, so a pointer adds and removes the same amount.
void* operator new(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  gLive += static_cast<std::int64_t>(malloc_usable_size(p));
  return p;
}

void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  gLive -= static_cast<std::int64_t>(malloc_usable_size(p));
  std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
