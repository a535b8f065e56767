#include "ancc/WinnerLabel.h"

#include <cfloat>

namespace orbelt {

int winnerLabel(const float* costs, int count) {
  float best = FLT_MAX;
  int label = 0;
  for (int d = 0; d < count; ++d) {
    if (costs[d] < best) {
      best = costs[d];
      label = d;
    }
  }
  return label;
}

}  // namespace orbelt
