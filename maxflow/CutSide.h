#pragma once
namespace orbelt {

// The side of the minimum cut a node ends on after computeMaxFlow.
enum class CutSide : int {
  SourceSide = 0,  // still reachable from the source through nonzero residuals
  SinkSide = 1,    // in the sink tree or in no tree
};

}  // namespace orbelt
