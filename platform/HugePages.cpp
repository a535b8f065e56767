#include "platform/HugePages.h"

#include <sys/mman.h>

#include <cstdint>

namespace orbelt {

namespace {

constexpr std::uintptr_t kPage = 4096;
constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

}  // namespace

void adviseHugePages(void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  if (data == nullptr || bytes < kHugePage) return;
  // madvise takes whole pages; the pages at either end may hold other data,
  // which the advice leaves as it is.
  const auto first = reinterpret_cast<std::uintptr_t>(data) / kPage * kPage;
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes + kPage - 1) / kPage * kPage;
  madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace orbelt
