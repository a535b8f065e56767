#include "mrf/OptimizerOptions.h"

#include <cmath>
#include <string>

#include "mrf/EnergyTerms.h"
#include "platform/NumberText.h"

namespace orbelt {

Status OptimizerOptions::check(const OptimizerFieldNames& names) const {
  if (!std::isfinite(lambda)) {
    return invalidInput(std::string(names.lambda) + " is " + floatText(lambda) + "; it must be a finite number\n");
  }
  if (!isTruncatedPowerExponent(smoothExponent)) return engineFailure(kWrongExponentMessage);
  return {};
}

}  // namespace orbelt
