#include "app/PipelineCompute.h"

#include "pipeline/DisparityPipeline.h"

namespace orbelt {

COrbeltDlg::ComputeRunner pipelineComputeRunner(std::string savePath) {
  return [savePath](const StereoParams& params, ImageSlots& slots, MessageBox& messages) {
    PipelineContext context;
    context.messages = &messages;
    if (!savePath.empty()) context.savePath = savePath;
    // The outcome has been told to the user already (success is silent).
    runDisparityPipeline(params, slots, context);
  };
}

}  // namespace orbelt
