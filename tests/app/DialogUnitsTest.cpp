#include "app/DialogUnits.h"

#include <gtest/gtest.h>

namespace orbelt {
namespace {

TEST(DialogUnitsTest, MulDivRoundsHalfAwayFromZero) {
  struct Case {
    int number, numerator, denominator, expected;
  };
  const Case cases[] = {
      {10, 7, 4, 18},    // 17.5 -> 18
      {9, 7, 4, 16},     // 15.75 -> 16
      {5, 7, 4, 9},      // 8.75 -> 9
      {1, 1, 4, 0},      // 0.25 -> 0
      {2, 1, 4, 1},      // 0.5 -> 1
      {-10, 7, 4, -18},  // symmetric for negatives
      {10, 7, -4, -18}, {0, 13, 8, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mulDivRound(c.number, c.numerator, c.denominator), c.expected)
        << c.number << "*" << c.numerator << "/" << c.denominator;
  }
  EXPECT_EQ(mulDivRound(2000000000, 3, 4), 1500000000);  // product beyond 32 bits
}

TEST(DialogUnitsTest, AverageCharWidthRoundsThePerLetterAverage) {
  EXPECT_EQ(averageCharWidth(52 * 6), 6);
  EXPECT_EQ(averageCharWidth(52 * 6 + 25), 6);  // 6.48 per letter
  EXPECT_EQ(averageCharWidth(52 * 6 + 26), 7);  // 6.5 per letter
}

TEST(DialogUnitsTest, RectanglesConvertEdgeByEdgeSoNeighboursStillTouch) {
  const DialogBaseUnits units{7, 17};
  EXPECT_EQ(dluToPixels({0, 0, 4, 8}, units), (PixelRect{0, 0, 7, 17}));
  EXPECT_EQ(dluToPixels({24, 49, 47, 10}, units), (PixelRect{42, 104, 82, 21}));
  // Two rectangles that share an edge in dialog units share it in pixels,
  // even when the edge falls between pixels.
  const PixelRect a = dluToPixels({1, 1, 3, 3}, units);
  const PixelRect b = dluToPixels({4, 4, 3, 3}, units);
  EXPECT_EQ(a.x + a.width, b.x);
  EXPECT_EQ(a.y + a.height, b.y);
}

}  // namespace
}  // namespace orbelt
