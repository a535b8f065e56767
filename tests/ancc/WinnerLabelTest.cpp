// The winner-take-all reading of a pixel's costs: the lowest label among
// equal costs, and no winner among costs that are not numbers.
#include "ancc/WinnerLabel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace orbelt {
namespace {

TEST(WinnerLabel, IsTheLowestCheapestFiniteLabel) {
  struct Case {
    const char* name;
    std::vector<float> costs;
    int expected;
  };
  const float inf = INFINITY, nan = NAN;
  const Case cases[] = {
      {"smallest", {5, 3, 4}, 1},
      {"tie goes to the lowest label", {5, 2, 2, 2}, 1},
      {"no labels", {}, 0},
      {"all at the float maximum", {3.4028235e38f, 3.4028235e38f}, 0},
      {"infinite and NaN costs never win", {inf, nan, 7, nan}, 2},
  };
  for (const Case& c : cases)
    EXPECT_EQ(winnerLabel(c.costs.data(), static_cast<int>(c.costs.size())), c.expected) << c.name;
}

}  // namespace
}  // namespace orbelt
