#pragma once
// The compute runner the program uses: the disparity pipeline with the real
// engines, its messages in the dialog's message boxes.
#include <string>

#include "app/COrbeltDlg.h"

namespace orbelt {

// Runs runDisparityPipeline on the dialog's parameters and slots. The map is
// saved to `savePath` (empty: data/dispMap.bmp beside the executable).
COrbeltDlg::ComputeRunner pipelineComputeRunner(std::string savePath = {});

}  // namespace orbelt
