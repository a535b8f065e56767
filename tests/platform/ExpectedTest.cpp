#include "platform/Expected.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace orbelt {
namespace {

Expected<std::unique_ptr<int>> makeOwned(bool fail) {
  if (fail) return invalidInput("no value\n");
  return std::make_unique<int>(7);
}

TEST(ExpectedTest, CarriesAMoveOnlyValueOrTheError) {
  auto good = makeOwned(false);
  ASSERT_TRUE(good);
  std::unique_ptr<int> owned = *std::move(good);
  EXPECT_EQ(*owned, 7);

  auto bad = makeOwned(true);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().kind, ErrorKind::InvalidInput);
  EXPECT_EQ(bad.error().message, "no value\n");
}

TEST(ExpectedTest, StatusPassesAnErrorThrough) {
  auto step = [](bool fail) -> Status {
    if (fail) return engineFailure("\n stop \n");
    return {};
  };
  EXPECT_TRUE(step(false));
  const Status failed = step(true);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().kind, ErrorKind::EngineFailure);
  // The frame stays in the message the programs print; summary() drops it.
  EXPECT_EQ(failed.error().message, "\n stop \n");
  EXPECT_EQ(failed.error().summary(), "stop");
}

}  // namespace
}  // namespace orbelt
