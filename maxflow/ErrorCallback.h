#pragma once
// How a FlowGraph reports the failure that is about to end the process.
namespace orbelt {

// Receives one message with no line break: "Not enough memory!",
// "# of arcs per node exceeds block size!", or one naming a misuse (a node
// that does not exist, an addition after computeMaxFlow). It only reports:
// once it returns, the graph ends the process with exit status 1.
using ErrorCallback = void (*)(const char* message);

}  // namespace orbelt
