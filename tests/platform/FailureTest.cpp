#include "platform/Failure.h"

#include <new>
#include <string>

#include <gtest/gtest.h>

namespace orbelt {
namespace {

const Error kShortOfMemory{ErrorKind::OutOfMemory, "short of memory\n"};

int raiseAtDepth(int depth) {
  if (depth == 0) raiseFailure(engineFailure("\n stop \n"));
  return depth < 0 ? 0 : raiseAtDepth(depth - 1) + 1;
}

TEST(CatchFailure, ReturnsTheValueTheRaisedErrorOrTheShortageOfMemory) {
  const Expected<int> value = catchFailure([] { return 7; }, kShortOfMemory);
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, 7);

  // Raised from deep inside, as an engine's inner loop raises it.
  const Expected<int> raised = catchFailure([] { return raiseAtDepth(5); }, kShortOfMemory);
  ASSERT_FALSE(raised);
  EXPECT_EQ(raised.error().message, "\n stop \n");
  EXPECT_EQ(raised.error().kind, ErrorKind::EngineFailure);

  const Status shortOfMemory = catchFailure([] { throw std::bad_alloc(); }, kShortOfMemory);
  ASSERT_FALSE(shortOfMemory);
  EXPECT_EQ(shortOfMemory.error().kind, ErrorKind::OutOfMemory);
  EXPECT_EQ(shortOfMemory.error().message, "short of memory\n");

  // Other exceptions are not an engine's failure and pass on.
  EXPECT_THROW((void)catchFailure([] { throw std::string("not ours"); }, kShortOfMemory), std::string);
}

}  // namespace
}  // namespace orbelt
