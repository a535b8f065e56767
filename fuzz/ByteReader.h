#pragma once
// Reads a fuzzer's bytes front to back as small fields, so a seed file can be
// written by hand in the same order the target reads it. Once the bytes run
// out every read returns 0 (or an empty span): any input is a valid input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace orbelt::fuzz {

class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t u16() { return static_cast<std::uint16_t>(u8() | (u8() << 8)); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(u16()) | (static_cast<std::uint32_t>(u16()) << 16); }
  // A value in [low, high], taken from one byte.
  int pick(int low, int high) { return low + u8() % (high - low + 1); }
  // The next `count` bytes, or fewer when the input ends first.
  std::span<const std::uint8_t> bytes(std::size_t count) {
    const std::size_t n = count < size_ - pos_ ? count : size_ - pos_;
    std::span<const std::uint8_t> out(data_ + pos_, n);
    pos_ += n;
    return out;
  }
  std::span<const std::uint8_t> rest() { return bytes(size_ - pos_); }
  bool empty() const { return pos_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Stops the fuzzer with a message when an invariant breaks: abort() is what
// libFuzzer records as a crash and saves the input for.
[[noreturn]] void failInvariant(const char* what);

}  // namespace orbelt::fuzz
