#pragma once
// PageBuffer: a large buffer of whole pages taken straight from the system,
// its pages made present when it is made.
//
// Why: a buffer of megabytes from the heap gets its pages one fault at a
// time as it is first written, and on a virtual machine every such fault
// traps to the host. Making the pages present in one request (and, where
// the system allows, as huge pages, a few hundred times fewer) costs a
// small part of that, and the first pass over the buffer then runs at
// memory speed. Huge pages also spare the page walks of a search that
// jumps around a large buffer.
//
// A buffer may also be reserved first and made present part by part, so
// that several threads share the work of making a large one present.
//
// Takes: a size in bytes. Owns: the mapping, until destroyed or reset.
// Fails: allocate() and reserve() return an empty buffer, holding nothing,
// when the system refuses the mapping (allocate() also when it has not the
// memory to make the pages present); makePresent() returns false when the
// system has not the memory. Nothing is thrown. Contents start zero.
#include <cstddef>

namespace orbelt {

class PageBuffer {
 public:
  PageBuffer() = default;
  ~PageBuffer() { reset(); }
  PageBuffer(PageBuffer&& other) noexcept : data_(other.data_), bytes_(other.bytes_) {
    other.data_ = nullptr;
    other.bytes_ = 0;
  }
  PageBuffer& operator=(PageBuffer&& other) noexcept;
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;

  // A buffer of at least `bytes` zero bytes, its pages present; empty when
  // `bytes` is 0 or the system refuses.
  static PageBuffer allocate(std::size_t bytes);
  // The mapping of such a buffer, its pages not yet present: call
  // makePresent for every part before it is written, since a write to a
  // page the system then cannot supply ends the process.
  static PageBuffer reserve(std::size_t bytes);
  // Makes the pages that hold bytes [offset, offset + bytes) present: true
  // when they are (a range beyond the buffer is refused), false when the
  // system has not the memory. Threads may call it at once, on any parts.
  bool makePresent(std::size_t offset, std::size_t bytes) const;

  void* data() const { return data_; }
  std::size_t size() const { return bytes_; }
  explicit operator bool() const { return data_ != nullptr; }
  // Gives the pages back; the buffer is empty afterwards.
  void reset();

 private:
  void* data_ = nullptr;
  std::size_t bytes_ = 0;
};

}  // namespace orbelt
