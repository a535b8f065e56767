#pragma once
// Where a minimised dialog draws its icon: centred in the client area, the
// odd pixel going to the right/bottom. Kept apart from the window code so the
// arithmetic (including clients smaller than the icon) is tested directly.

namespace orbelt {

struct IconOrigin {
  int x = 0;  // left edge of the icon in client pixels; negative when the client is narrower
  int y = 0;  // top edge, likewise
  friend bool operator==(const IconOrigin&, const IconOrigin&) = default;
};

// x = (clientWidth - iconWidth + 1) / 2 and y = (clientHeight - iconHeight + 1) / 2,
// each division truncating toward zero (so -21 / 2 is -10, not -11).
IconOrigin minimizedIconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight);

}  // namespace orbelt
