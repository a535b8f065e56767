#pragma once
// Sub-pixel disparities from the integer labels the optimizer chooses: a
// parabola through the costs of a pixel's label and its two neighbouring
// labels, whose lowest point moves the disparity by up to half a pixel.
#include <vector>

#include "platform/Expected.h"

namespace orbelt {

// The offset of the parabola's vertex through (-1, costBelow), (0, cost),
// (+1, costAbove): (costBelow - costAbove) / (2 (costBelow - 2 cost +
// costAbove)), clamped to [-0.5, 0.5]. 0 when the curvature is not positive
// (a flat or downward parabola has no lowest point near the label) or a cost
// is not finite.
float parabolaOffset(float costBelow, float cost, float costAbove);

// One offset per pixel for `labels` (row-major, each in 0..labelCount-1) over
// the flat costs ((pixel * labelCount) + label, as the pipeline keeps them).
// Pixels at label 0 or labelCount - 1 have only one neighbour and keep 0.
// Fails with InvalidInput when the sizes do not fit (labelCount < 1, or
// costs.size() != labels.size() * labelCount).
Expected<std::vector<float>> subpixelOffsets(const std::vector<int>& labels, const std::vector<float>& costs,
                                             int labelCount);

}  // namespace orbelt
