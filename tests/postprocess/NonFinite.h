#pragma once
// The values a map uses for a pixel it has no number for (infinite depth, a
// disparity the checks left out), and the ones bad input feeds in.
#include <limits>

namespace orbelt::postprocesstest {

inline constexpr float kInf = std::numeric_limits<float>::infinity();
inline constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

}  // namespace orbelt::postprocesstest
