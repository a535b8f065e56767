#include "report/RunReport.h"

namespace orbelt {

nlohmann::json stageSeconds(const DisparityResult& view) {
  return {{"cost_volume", view.costSeconds},
          {"flatten", view.flattenSeconds},
          {"optimize", view.optimizeSeconds},
          {"passes", view.passSeconds}};
}

nlohmann::json stageJson(const DisparityResult& view) {
  nlohmann::json stages = stageSeconds(view);
  stages["energies"] = view.passEnergies;
  return stages;
}

nlohmann::json scoreJson(const DisparityScore& score) {
  return {{"evaluated", score.evaluated},     {"unknown", score.invalid}, {"bad_0.5", score.badOver05},
          {"bad_1", score.badOver1},          {"bad_2", score.badOver2},  {"bad_4", score.badOver4},
          {"mean_abs_error", score.meanError}};
}

}  // namespace orbelt
