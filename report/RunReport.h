#pragma once
// The figures of a run and of a score as JSON, in the one shape every front
// end reports them: the command line's run summary and eval table, the batch
// summary that reads them back, and the Python module's dicts.
#include <nlohmann/json.hpp>

#include "eval/DisparityEvaluation.h"
#include "pipeline/DisparityResult.h"

namespace orbelt {

// The seconds of one view's stages: cost_volume, flatten, optimize and the
// list of passes.
nlohmann::json stageSeconds(const DisparityResult& view);

// stageSeconds and the energy after each pass (energies).
nlohmann::json stageJson(const DisparityResult& view);

// A score's figures: evaluated, unknown, bad_0.5, bad_1, bad_2, bad_4 (% of
// the scored pixels) and mean_abs_error (pixels).
nlohmann::json scoreJson(const DisparityScore& score);

}  // namespace orbelt
