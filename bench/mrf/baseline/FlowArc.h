#pragma once
// One arc pair of a FlowGraph: both directions in one record, stored in the
// out-range of the pair's tail.
#include <cstdint>

namespace orbelt::baseline {

struct FlowArc {
  // While building: the head's node reference. After the layout: head minus
  // tail, as a difference of node references, so either end finds the other.
  // In the first slot of a tagged range: the arc index where that range ends.
  std::int32_t headOffset;
  // Residual capacity tail to head; starts as the pair's capacity.
  float residual;
  // Residual capacity head to tail; starts as the pair's reverse capacity.
  float reverseResidual;
};

static_assert(sizeof(FlowArc) == 12, "a pair costs one 12-byte record and one 4-byte reference");

}  // namespace orbelt::baseline
