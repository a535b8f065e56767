#include "pipeline/StereoOptions.h"

#include <string>

namespace orbelt {

float smoothnessWeightOf(float lambda) { return static_cast<float>(static_cast<double>(lambda) * kCostPerCorrelation); }

Expected<float> logChromWeightOfMode(std::string_view mode, const char* name) {
  if (mode == "logchrom") return 1.0f;
  if (mode == "rgb") return 0.0f;
  return invalidInput(std::string(name) + " is \"" + std::string(mode) + "\"; it must be \"logchrom\" or \"rgb\"\n");
}

Status StereoOptions::check(const StereoFieldNames& names) const {
  if (Status matching = matcher.check(names.matcher); !matching) return matching;
  if (Status optimizing = optimizer.check(names.optimizer); !optimizing) return optimizing;
  const RefinementOptions refining = refinement();
  if (Status bad = refining.check({names.leftRightThreshold, names.fill, names.medianRadius}); !bad) return bad;
  if (costsOnly && (subpixel || refining.any())) {
    return invalidInput(
        "Only the cost volume was asked for: the sub-pixel refinement, the left-right check, the fill "
        "and the median need the labels\n");
  }
  return {};
}

RefinementOptions StereoOptions::refinement() const {
  return {.lrCheck = leftRightThreshold.has_value(),
          .lrThreshold = leftRightThreshold.value_or(1.0),
          .fill = fill,
          .medianRadius = medianRadius};
}

}  // namespace orbelt
