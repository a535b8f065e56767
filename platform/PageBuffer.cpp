#include "platform/PageBuffer.h"

#include <sys/mman.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/HugePages.h"

namespace orbelt {

namespace {

constexpr std::size_t kPage = 4096;

// Makes every page of [data, data + bytes) present; false when the system
// has not the memory. MADV_POPULATE_WRITE does it in one request and says
// so when memory is short, rather than leaving the first write to fail;
// kernels before 5.14 do not know it, and there a write to each page does
// the same, one fault a page. That write leaves the byte as it is, and
// atomically: another thread may be writing the same page already.
bool makePagesPresent(void* data, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  if (madvise(data, bytes, MADV_POPULATE_WRITE) == 0) return true;
  if (errno != EINVAL) return false;
#endif
  auto* bytesAt = static_cast<unsigned char*>(data);
  for (std::size_t offset = 0; offset < bytes; offset += kPage) {
    std::atomic_ref<unsigned char>(bytesAt[offset]).fetch_or(0, std::memory_order_relaxed);
  }
  return true;
}

}  // namespace

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
  if (this != &other) {
    reset();
    data_ = other.data_;
    bytes_ = other.bytes_;
    other.data_ = nullptr;
    other.bytes_ = 0;
  }
  return *this;
}

PageBuffer PageBuffer::reserve(std::size_t bytes) {
  PageBuffer buffer;
  if (bytes == 0 || bytes > SIZE_MAX - kPage) return buffer;
  const std::size_t mapped = (bytes + kPage - 1) / kPage * kPage;
  void* data = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) return buffer;
  adviseHugePages(data, mapped);
  buffer.data_ = data;
  buffer.bytes_ = mapped;
  return buffer;
}

PageBuffer PageBuffer::allocate(std::size_t bytes) {
  PageBuffer buffer = reserve(bytes);
  if (buffer && !buffer.makePresent(0, buffer.size())) buffer.reset();
  return buffer;
}

bool PageBuffer::makePresent(std::size_t offset, std::size_t bytes) const {
  if (offset > bytes_ || bytes > bytes_ - offset) return false;
  if (bytes == 0) return true;
  const std::size_t first = offset / kPage * kPage;
  const std::size_t end = (offset + bytes + kPage - 1) / kPage * kPage;
  return makePagesPresent(static_cast<unsigned char*>(data_) + first, end - first);
}

void PageBuffer::reset() {
  if (data_ != nullptr) munmap(data_, bytes_);
  data_ = nullptr;
  bytes_ = 0;
}

}  // namespace orbelt
