// orbelt-cli: computes a disparity map from a rectified colour stereo pair,
// headless, with the same pipeline, parameters and defaults as the dialog;
// also scores saved maps (eval) and runs manifests of pairs (batch).
#include <cstring>

#include "cli/BatchCommand.h"
#include "cli/ComputeCommand.h"
#include "cli/EvalCommand.h"

int main(int argc, char** argv) {
  // The two sub-commands are recognised only as the first argument, so an
  // image that happens to be called "eval" still works as --left eval.
  if (argc > 1 && std::strcmp(argv[1], "eval") == 0) return orbelt::runEvalCommand(argc - 1, argv + 1);
  if (argc > 1 && std::strcmp(argv[1], "batch") == 0) return orbelt::runBatchCommand(argc - 1, argv + 1);
  return orbelt::runComputeCommand(argc, argv);
}
