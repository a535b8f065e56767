#include "app/MinimizedIcon.h"

#include <gtest/gtest.h>

namespace orbelt {
namespace {

TEST(MinimizedIconTest, CentresTheIconTruncatingTowardZero) {
  struct Case {
    int clientW, clientH, iconW, iconH;
    IconOrigin expected;
  };
  const Case cases[] = {
      {100, 80, 32, 32, {34, 24}},  {101, 81, 32, 32, {35, 25}},  // the odd pixel goes right and down
      {32, 32, 32, 32, {0, 0}},     {33, 31, 32, 32, {1, 0}},
      {10, 10, 32, 32, {-10, -10}},  // -21 / 2 truncates to -10, not -11
      {0, 0, 32, 32, {-15, -15}},   {160, 0, 16, 16, {72, -7}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(minimizedIconOrigin(c.clientW, c.clientH, c.iconW, c.iconH), c.expected)
        << c.clientW << "x" << c.clientH << " icon " << c.iconW << "x" << c.iconH;
  }
}

}  // namespace
}  // namespace orbelt
