#pragma once
// Dialog units to pixels. Templates place controls in dialog units so a layout
// follows its font: a horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its character height. Each
// edge is converted on its own (right = left + width, then scaled), so controls
// that touch in dialog units still touch in pixels.
#include "app/resources/DialogTemplates.h"

namespace orbelt {

// The two measures of the dialog font that every conversion uses.
struct DialogBaseUnits {
  int x = 0;  // average character width, pixels
  int y = 0;  // character height (ascent + descent), pixels
};

// A rectangle in pixels, relative to the dialog's client area.
struct PixelRect {
  int x = 0;       // left, pixels
  int y = 0;       // top, pixels
  int width = 0;   // pixels
  int height = 0;  // pixels
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// number * numerator / denominator in 64-bit, rounded half away from zero.
// `denominator` must not be 0.
int mulDivRound(int number, int numerator, int denominator);

// Average character width from the pixel width of the 52 letters A-Z a-z
// written in one run: (width / 26 + 1) / 2, which rounds the per-letter
// average to the nearest pixel.
int averageCharWidth(int alphabetWidth);

// Converts a template rectangle to pixels.
PixelRect dluToPixels(const DluRect& rect, const DialogBaseUnits& units);

}  // namespace orbelt
