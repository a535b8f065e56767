// Kept flows are stored as halves: a value must come back as the half it was
// rounded to, on the side asked for, and never as infinity or NaN (a flow
// start of infinity would poison every residual it touches).
#include "mrf/HalfFloat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace orbelt {
namespace {

TEST(HalfFloat, RoundsToTheHalvesAroundAValue) {
  struct Case {
    const char* name;
    float value;
    float nearest;
    float below;  // largest half <= value (or the largest half, beyond it)
    float above;  // smallest half >= value (likewise)
  };
  const float tiny = 0x1p-24f;  // the smallest (subnormal) half
  const Case cases[] = {
      {"zero", 0.0f, 0.0f, 0.0f, 0.0f},
      {"one", 1.0f, 1.0f, 1.0f, 1.0f},
      {"a half with all mantissa bits", 2047.0f / 1024.0f, 2047.0f / 1024.0f, 2047.0f / 1024.0f, 2047.0f / 1024.0f},
      {"just above one", 1.0f + 0x1p-12f, 1.0f, 1.0f, 1.0f + 0x1p-10f},
      {"a tie goes to the even half", 1.0f + 0x1p-11f, 1.0f, 1.0f, 1.0f + 0x1p-10f},
      {"the odd half's tie goes up", 1.0f + 3 * 0x1p-11f, 1.0f + 0x1p-9f, 1.0f + 0x1p-10f, 1.0f + 0x1p-9f},
      {"negative, below is away from zero", -(1.0f + 0x1p-12f), -1.0f, -(1.0f + 0x1p-10f), -1.0f},
      {"a carry into the exponent", 2.0f - 0x1p-13f, 2.0f, 2047.0f / 1024.0f, 2.0f},
      {"the smallest normal half", 1024 * tiny, 1024 * tiny, 1024 * tiny, 1024 * tiny},
      {"below the smallest normal half, flushed", 3.25f * tiny, 0.0f, 0.0f, 0.0f},
      {"negative, below the smallest normal half, flushed", -1000 * tiny, -0.0f, -0.0f, -0.0f},
      {"the largest half", 65504.0f, 65504.0f, 65504.0f, 65504.0f},
      {"beyond the largest half", 1e6f, 65504.0f, 65504.0f, 65504.0f},
      {"far beyond, negative", -3e38f, -65504.0f, -65504.0f, -65504.0f},
      {"infinity", std::numeric_limits<float>::infinity(), 65504.0f, 65504.0f, 65504.0f},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fromHalf(toHalf(c.value)), c.nearest) << c.name;
    EXPECT_EQ(fromHalf(toHalfTowards(c.value, false)), c.below) << c.name;
    EXPECT_EQ(fromHalf(toHalfTowards(c.value, true)), c.above) << c.name;
  }
}

TEST(HalfFloat, EveryFiniteHalfComesBackAsItself) {
  for (unsigned bits = 0; bits < 0x10000u; ++bits) {
    const auto half = static_cast<std::uint16_t>(bits);
    if ((half & 0x7C00u) == 0x7C00u) continue;  // infinities and NaNs are never stored
    const float value = fromHalf(half);
    ASSERT_TRUE(std::isfinite(value)) << bits;
    // Subnormal halves are read exactly but never made: they flush to a zero
    // of their sign.
    const std::uint16_t made = (half & 0x7C00u) == 0 ? static_cast<std::uint16_t>(half & 0x8000u) : half;
    ASSERT_EQ(toHalf(value), made) << bits;
    ASSERT_EQ(toHalfTowards(value, true), made) << bits;
    ASSERT_EQ(toHalfTowards(value, false), made) << bits;
  }
}

// A kept flow is nudged one half at a time: each step must reach the next
// half on its side, none skipped, none repeated, zeros and subnormals
// included, and stop at the largest one.
TEST(HalfFloat, StepsToTheNextHalfOnEitherSide) {
  std::vector<float> values;
  for (unsigned bits = 0; bits < 0x10000u; ++bits) {
    if ((bits & 0x7C00u) != 0x7C00u) values.push_back(fromHalf(static_cast<std::uint16_t>(bits)));
  }
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  for (unsigned bits = 0; bits < 0x10000u; ++bits) {
    const auto half = static_cast<std::uint16_t>(bits);
    if ((half & 0x7C00u) == 0x7C00u) continue;
    const float value = fromHalf(half);
    const auto at = std::lower_bound(values.begin(), values.end(), value);
    const float above = at + 1 == values.end() ? value : *(at + 1);
    const float below = at == values.begin() ? value : *(at - 1);
    ASSERT_EQ(fromHalf(nextHalf(half, true)), above) << bits;
    ASSERT_EQ(fromHalf(nextHalf(half, false)), below) << bits;
  }
}

}  // namespace
}  // namespace orbelt
