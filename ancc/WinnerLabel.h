#pragma once
// The winner-take-all reading of one pixel's costs: its cheapest label.
namespace orbelt {

// The label with the smallest of `count` costs, scanning upwards from the
// largest finite float and taking only a strictly smaller cost: ties go to
// the lowest label, and 0 when there are no labels (or only NaN/inf costs).
int winnerLabel(const float* costs, int count);

}  // namespace orbelt
