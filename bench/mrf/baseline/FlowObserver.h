#pragma once
// Inspection hook: lets tests and tools watch the order in which the max-flow
// grows, augments and adopts. The search calls it only when one is attached
// (FlowGraph::setObserver), so an unobserved graph pays one branch per event.
#include <cstdint>

namespace orbelt::baseline {

class FlowObserver {
 public:
  virtual ~FlowObserver() = default;
  // A growth step starts at `node` (a creation index, as createNode returned).
  virtual void onGrowth(std::int32_t node) { (void)node; }
  // A path joining the trees at (sourceSideEnd, sinkSideEnd) carried `amount`.
  virtual void onAugmentation(std::int32_t sourceSideEnd, std::int32_t sinkSideEnd, float amount) {
    (void)sourceSideEnd;
    (void)sinkSideEnd;
    (void)amount;
  }
  // An orphan was adopted back into its tree (`adopted`) or set free.
  virtual void onAdoption(std::int32_t node, bool adopted) {
    (void)node;
    (void)adopted;
  }
};

}  // namespace orbelt::baseline
