#pragma once
// A growable array of plain values that keeps its memory between uses, for
// the graph's per-solve working arrays (the layout's compact cursors and its
// list of moves). It only grows: a graph reused move after move reaches its
// largest size once and then allocates nothing more.
//
// Owns: its values. Fails: reserve() returns false, changing nothing, when
// the memory cannot be had; the caller reports it.
#include <cstddef>
#include <cstdlib>
#include <type_traits>

namespace orbelt {

template <typename Value>
class ScratchArray {
  static_assert(std::is_trivially_copyable_v<Value>, "values are moved by realloc");

 public:
  ScratchArray() = default;
  ~ScratchArray() { std::free(values_); }
  ScratchArray(const ScratchArray&) = delete;
  ScratchArray& operator=(const ScratchArray&) = delete;

  // Makes room for at least `count` values; the contents are not kept (the
  // users fill the array anew for every solve).
  bool reserve(std::size_t count) {
    if (count <= capacity_) return true;
    std::size_t wanted = capacity_ * 2 > count ? capacity_ * 2 : count;
    std::free(values_);
    values_ = static_cast<Value*>(std::malloc(wanted * sizeof(Value)));
    if (values_ == nullptr && wanted > count) {
      wanted = count;
      values_ = static_cast<Value*>(std::malloc(wanted * sizeof(Value)));
    }
    capacity_ = values_ == nullptr ? 0 : wanted;
    return values_ != nullptr;
  }

  Value* data() { return values_; }
  const Value* data() const { return values_; }
  Value& operator[](std::size_t k) { return values_[k]; }
  const Value& operator[](std::size_t k) const { return values_[k]; }
  std::size_t capacity() const { return capacity_; }
  std::size_t bytes() const { return capacity_ * sizeof(Value); }

 private:
  Value* values_ = nullptr;
  std::size_t capacity_ = 0;
};

}  // namespace orbelt
