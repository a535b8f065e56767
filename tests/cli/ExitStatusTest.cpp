// The command line's table from an Error's kind to its exit status, and how
// the message reaches standard error.
#include "cli/ExitStatus.h"

#include <gtest/gtest.h>

#include "pipeline/ColorCheck.h"

namespace orbelt {
namespace {

TEST(ExitStatus, EachKindEndsWithItsStatus) {
  const struct {
    Error error;
    int status;
  } cases[] = {
      {invalidInput("halfWinSize is -1\n"), 2},    {runTooLarge("A 4 x 3 pair ... needs about\n"), 2},
      {ioFailure("Cannot write \"x.pfm\""), 2},    {engineFailure("Wrong exponent in setSmoothness()!\n"), 1},
      {outOfMemory("\n Not enough memory \n"), 1}, {colorFormatError(), 255},
  };
  for (const auto& c : cases) EXPECT_EQ(exitStatusOf(c.error), c.status) << c.error.message;
}

TEST(ExitStatus, TheMessageIsPrintedAsItIsOnALineOfItsOwn) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(reportError(engineFailure("\n You have to set up the data cost before running optimization \n")), 1);
  EXPECT_EQ(reportError(ioFailure("Cannot write \"x.pfm\"")), 2);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "\n You have to set up the data cost before running optimization \nCannot write \"x.pfm\"\n");
}

}  // namespace
}  // namespace orbelt
