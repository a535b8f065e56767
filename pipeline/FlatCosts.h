#pragma once
// The costs as the optimizer reads them: one flat array with the pixels
// row-major and the label fastest.
#include <vector>

#include "ancc/CostVolume.h"

namespace orbelt {

// The costs of `volume` at (y * width + x) * disparityRange + d, the order
// the optimizer indexes its data table in. The volume is released as soon as
// it has been read, so the two biggest arrays of a run coexist only here.
// Throws std::bad_alloc when the array cannot be had.
std::vector<float> flattenCosts(CostVolume&& volume);

}  // namespace orbelt
