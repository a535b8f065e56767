#pragma once
// The compute runner the program uses: the dialog's run with the real
// engines, its Errors told as the dialog tells them (dialogReactionTo).
#include <string>

#include "app/COrbeltDlg.h"

namespace orbelt {

// Runs runDialogPipeline on the dialog's parameters and slots. The map is
// saved to `savePath` (empty: data/dispMap.bmp beside the executable). An
// Error is shown in a box or printed, and ends the program, as its
// DialogReaction says.
COrbeltDlg::ComputeRunner pipelineComputeRunner(std::string savePath = {});

}  // namespace orbelt
