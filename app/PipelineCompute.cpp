#include "app/PipelineCompute.h"

#include <cstdio>

#include "pipeline/DisparityPipeline.h"
#include "platform/ProcessServices.h"

namespace orbelt {

namespace {

// The dialog's rule for an Error that ends it: the colour check's message is
// shown in its box, an engine's is printed on its stream; then the program
// ends with the Error's status.
[[noreturn]] void endProgram(const Error& error, MessageBox& messages) {
  if (error.kind == ErrorKind::ColorFormat) {
    messages.show(error.summary());
  } else {
    std::fputs(error.message.c_str(), error.stream == ErrorStream::Stdout ? stdout : stderr);
  }
  exitProcess(error.exitStatus);
}

}  // namespace

COrbeltDlg::ComputeRunner pipelineComputeRunner(std::string savePath) {
  return [savePath](const StereoParams& params, ImageSlots& slots, MessageBox& messages) {
    PipelineContext context;
    context.messages = &messages;
    if (!savePath.empty()) context.savePath = savePath;
    // Every other outcome has been told to the user already (success is
    // silent).
    Error ending;
    if (runDisparityPipeline(params, slots, context, nullptr, &ending) == RunOutcome::Ended) {
      endProgram(ending, messages);
    }
  };
}

}  // namespace orbelt
