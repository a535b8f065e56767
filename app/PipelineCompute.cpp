#include "app/PipelineCompute.h"

#include <cstdio>

#include "app/DialogRun.h"
#include "platform/ProcessServices.h"

namespace orbelt {

COrbeltDlg::ComputeRunner pipelineComputeRunner(std::string savePath) {
  return [savePath](const StereoParams& params, ImageSlots& slots, MessageBox& messages) {
    DialogRunContext context;
    if (!savePath.empty()) context.savePath = savePath;
    const Status run = runDialogPipeline(params, slots, context);
    if (run) return;  // success is silent
    const Error& error = run.error();
    const DialogReaction reaction = dialogReactionTo(error);
    if (reaction.showInBox) {
      messages.show(error.summary());
    } else {
      std::fputs(error.message.c_str(), stderr);
    }
    if (reaction.endsProgram) exitProcess(reaction.exitStatus);
  };
}

}  // namespace orbelt
