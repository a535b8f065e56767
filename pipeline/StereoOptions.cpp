#include "pipeline/StereoOptions.h"

#include <cmath>
#include <string>

namespace orbelt {

Status StereoOptions::check(const StereoFieldNames& names) const {
  if (Status matching = matcher.check(names.matcher); !matching) return matching;
  if (Status optimizing = optimizer.check(names.optimizer); !optimizing) return optimizing;
  if (leftRightThreshold && !(*leftRightThreshold >= 0 && std::isfinite(*leftRightThreshold))) {
    return invalidInput(std::string(names.leftRightThreshold) + " is " + std::to_string(*leftRightThreshold) +
                        "; it must be a number of pixels, 0 or more\n");
  }
  return refinement().check({names.leftRightThreshold, names.fill, names.medianRadius});
}

RefinementOptions StereoOptions::refinement() const {
  return {.lrCheck = leftRightThreshold.has_value(),
          .lrThreshold = leftRightThreshold.value_or(1.0),
          .fill = fill,
          .medianRadius = medianRadius};
}

}  // namespace orbelt
