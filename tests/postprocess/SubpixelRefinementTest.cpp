// The parabola fit on hand-made costs whose vertex is known.
#include "postprocess/SubpixelRefinement.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orbelt {
namespace {

TEST(SubpixelRefinement, TheOffsetIsTheVertexOfTheParabolaThroughThreeCosts) {
  struct Case {
    const char* what;
    float below, cost, above;
    float offset;
  };
  const Case cases[] = {
      // (x - 0.25)^2 sampled at -1, 0, 1: 1.5625, 0.0625, 0.5625.
      {"vertex right of the label", 1.5625f, 0.0625f, 0.5625f, 0.25f},
      {"vertex left of the label", 0.5625f, 0.0625f, 1.5625f, -0.25f},
      {"symmetric", 2.0f, 1.0f, 2.0f, 0.0f},
      // A label that is not the lowest of the three: the vertex lies past
      // half a pixel and is clamped.
      {"clamped above", 5.0f, 1.0f, 0.5f, 0.5f},
      {"clamped below", 0.5f, 1.0f, 5.0f, -0.5f},
      {"flat", 1.0f, 1.0f, 1.0f, 0.0f},
      {"downward curvature", 0.0f, 1.0f, 0.5f, 0.0f},
      {"not finite", INFINITY, 1.0f, 2.0f, 0.0f},
  };
  for (const Case& c : cases) EXPECT_FLOAT_EQ(parabolaOffset(c.below, c.cost, c.above), c.offset) << c.what;
}

TEST(SubpixelRefinement, PixelsAtTheEndsOfTheRangeKeepTheirLabel) {
  // Three pixels, four labels; every cost row is the same upward parabola
  // with its vertex at 1.25, so an inner label moves and the ends do not.
  const std::vector<float> row = {1.5625f, 0.0625f, 0.5625f, 3.0625f};
  // Built by size rather than by appending to an empty vector, which GCC 12
  // at -O3 mistakes for a write past the end (-Wstringop-overflow).
  std::vector<float> costs(3 * row.size());
  for (std::size_t i = 0; i < costs.size(); ++i) costs[i] = row[i % row.size()];
  const Expected<std::vector<float>> computed = subpixelOffsets({0, 1, 3}, costs, 4);
  ASSERT_TRUE(computed);
  const std::vector<float>& offsets = *computed;
  ASSERT_EQ(offsets.size(), 3u);
  EXPECT_EQ(offsets[0], 0.0f);
  EXPECT_FLOAT_EQ(offsets[1], 0.25f);
  EXPECT_EQ(offsets[2], 0.0f);
  const Expected<std::vector<float>> refused = subpixelOffsets({0, 1}, costs, 4);  // sizes that do not fit
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, ErrorKind::InvalidInput);
}

}  // namespace
}  // namespace orbelt
