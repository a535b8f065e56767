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

// Every non-aligned form is replaced, each through the plain pair. The
// standard library's own array and nothrow forms forward to the plain ones,
// but a sanitizer runtime supplies its own: an object made by its nothrow new
// and released by this delete would be freed by the wrong allocator. Usable
// sizes are what malloc really hands out, so a pointer adds and removes the
// same amount.
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

void* operator new[](std::size_t size) { return operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }

void operator delete[](void* p) noexcept { operator delete(p); }

void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }

void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }
