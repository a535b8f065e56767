#include "app/DialogUnits.h"

#include <cstdint>

namespace orbelt {

int mulDivRound(int number, int numerator, int denominator) {
  const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
  const std::int64_t half = (denominator < 0 ? -denominator : denominator) / 2;
  const bool negative = (product < 0) != (denominator < 0);
  const std::int64_t magnitude = (product < 0 ? -product : product) + half;
  const std::int64_t quotient = magnitude / (denominator < 0 ? -denominator : denominator);
  return static_cast<int>(negative ? -quotient : quotient);
}

int averageCharWidth(int alphabetWidth) { return (alphabetWidth / 26 + 1) / 2; }

PixelRect dluToPixels(const DluRect& rect, const DialogBaseUnits& units) {
  const int left = mulDivRound(rect.x, units.x, 4);
  const int top = mulDivRound(rect.y, units.y, 8);
  const int right = mulDivRound(rect.x + rect.width, units.x, 4);
  const int bottom = mulDivRound(rect.y + rect.height, units.y, 8);
  return {left, top, right - left, bottom - top};
}

}  // namespace orbelt
