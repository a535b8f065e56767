#pragma once
// How a FlowGraph tells of a failure before it raises it.
namespace orbelt {

// Receives one message with no line break: "Not enough memory!",
// "# of arcs per node exceeds block size!", or one naming a misuse (a node
// that does not exist, an addition after computeMaxFlow). It only reports:
// once it returns, the graph raises the failure (maxflow/GraphFailure.h).
using ErrorCallback = void (*)(const char* message);

}  // namespace orbelt
