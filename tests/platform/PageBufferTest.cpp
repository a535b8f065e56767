#include "platform/PageBuffer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <thread>
#include <utility>

namespace orbelt {
namespace {

// Sizes below a page, across one, and across a huge page with a ragged
// tail: each buffer holds at least what was asked, all of it zero and
// writable to its last byte.
TEST(PageBuffer, HoldsAtLeastTheBytesAskedAllZeroAndWritable) {
  for (const std::size_t bytes : {std::size_t{1}, std::size_t{4096}, std::size_t{4097}, (std::size_t{2} << 20) + 123}) {
    SCOPED_TRACE(bytes);
    PageBuffer buffer = PageBuffer::allocate(bytes);
    ASSERT_TRUE(buffer);
    ASSERT_GE(buffer.size(), bytes);
    auto* data = static_cast<unsigned char*>(buffer.data());
    std::size_t nonZero = 0;
    for (std::size_t i = 0; i < buffer.size(); ++i) nonZero += data[i] != 0;
    EXPECT_EQ(nonZero, 0u);
    data[0] = 1;
    data[bytes - 1] = 2;
    EXPECT_EQ(data[bytes - 1], 2);
  }
}

TEST(PageBuffer, IsEmptyForNothingAndForASizeNoMappingCanHold) {
  EXPECT_FALSE(PageBuffer::reserve(0));
  EXPECT_FALSE(PageBuffer::reserve(SIZE_MAX));
  EXPECT_FALSE(PageBuffer::allocate(0));
  EXPECT_FALSE(PageBuffer::allocate(SIZE_MAX));
  EXPECT_FALSE(PageBuffer::allocate(SIZE_MAX / 2));
}

// A reserved buffer made present part by part, from two threads at once
// and in parts that share pages, is zero and writable everywhere; a part
// reaching past the buffer is refused.
TEST(PageBuffer, AReservedBufferIsMadePresentPartByPart) {
  const std::size_t bytes = (std::size_t{2} << 20) + 5000;
  PageBuffer buffer = PageBuffer::reserve(bytes);
  ASSERT_TRUE(buffer);
  ASSERT_GE(buffer.size(), bytes);
  const std::size_t half = bytes / 2 + 17;  // inside a page, so both parts hold it
  bool firstPresent = false;
  std::thread other([&] { firstPresent = buffer.makePresent(0, half); });
  const bool secondPresent = buffer.makePresent(half - 100, buffer.size() - (half - 100));
  other.join();
  EXPECT_TRUE(firstPresent);
  EXPECT_TRUE(secondPresent);
  auto* data = static_cast<unsigned char*>(buffer.data());
  std::size_t nonZero = 0;
  for (std::size_t i = 0; i < buffer.size(); ++i) nonZero += data[i] != 0;
  EXPECT_EQ(nonZero, 0u);
  data[buffer.size() - 1] = 3;
  EXPECT_EQ(data[buffer.size() - 1], 3);
  EXPECT_TRUE(buffer.makePresent(buffer.size(), 0));
  EXPECT_FALSE(buffer.makePresent(buffer.size() - 10, 11));
  EXPECT_FALSE(buffer.makePresent(SIZE_MAX, 2));
}

// Moving hands the pages over once: the source is empty afterwards, and a
// buffer moved onto gives its own pages back first.
TEST(PageBuffer, MovingHandsThePagesOverOnce) {
  PageBuffer first = PageBuffer::allocate(100);
  static_cast<unsigned char*>(first.data())[7] = 42;
  PageBuffer second = std::move(first);
  EXPECT_FALSE(first);
  ASSERT_TRUE(second);
  EXPECT_EQ(static_cast<unsigned char*>(second.data())[7], 42);
  PageBuffer third = PageBuffer::allocate(5000);
  third = std::move(second);
  EXPECT_EQ(static_cast<unsigned char*>(third.data())[7], 42);
  third.reset();
  EXPECT_FALSE(third);
  EXPECT_EQ(third.size(), 0u);
}

}  // namespace
}  // namespace orbelt
