#include "platform/ProcessServices.h"

#include <gtest/gtest.h>

namespace orbelt {
namespace {

TEST(ProcessServices, ExecutablePathNamesThisTestProgram) {
  const std::string path = executablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_NE(path.find("orbelt_platform_tests"), std::string::npos) << path;
  EXPECT_EQ(executableFolder() + "/orbelt_platform_tests", path);
}

TEST(ProcessServices, ProcessClockNeverRunsBackwards) {
  const auto a = processClockMs();
  const auto b = processClockMs();
  EXPECT_GE(a, 0);
  EXPECT_GE(b, a);
}

TEST(ProcessServicesDeathTest, ExitStatusMinusOneIsSeenAs255) {
  EXPECT_EXIT(exitProcess(-1), testing::ExitedWithCode(255), "");
  EXPECT_EXIT(exitProcess(1), testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace orbelt
