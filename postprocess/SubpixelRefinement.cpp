#include "postprocess/SubpixelRefinement.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

namespace orbelt {

float parabolaOffset(float costBelow, float cost, float costAbove) {
  // Double keeps the small differences of nearly equal costs exact enough.
  const double below = costBelow, centre = cost, above = costAbove;
  const double curvature = below - 2.0 * centre + above;
  if (!(curvature > 0.0) || !std::isfinite(curvature)) return 0.0f;
  const double offset = (below - above) / (2.0 * curvature);
  return static_cast<float>(std::clamp(offset, -0.5, 0.5));
}

Expected<std::vector<float>> subpixelOffsets(const std::vector<int>& labels, const std::vector<float>& costs,
                                             int labelCount) {
  if (labelCount < 1 || costs.size() != labels.size() * static_cast<std::size_t>(labelCount)) {
    return invalidInput("Sub-pixel refinement needs " + std::to_string(labels.size()) + " x " +
                        std::to_string(labelCount) + " costs, one per pixel and label, but has " +
                        std::to_string(costs.size()));
  }
  std::vector<float> offsets(labels.size(), 0.0f);
  for (std::size_t p = 0; p < labels.size(); ++p) {
    const int label = labels[p];
    if (label <= 0 || label >= labelCount - 1) continue;
    const float* cell = costs.data() + p * labelCount;
    offsets[p] = parabolaOffset(cell[label - 1], cell[label], cell[label + 1]);
  }
  return offsets;
}

}  // namespace orbelt
