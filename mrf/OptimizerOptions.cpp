#include "mrf/OptimizerOptions.h"

#include <cmath>
#include <string>

#include "platform/NumberText.h"

namespace orbelt {

Status OptimizerOptions::check(const OptimizerFieldNames& names) const {
  if (!std::isfinite(lambda)) {
    return invalidInput(std::string(names.lambda) + " is " + floatText(lambda) + "; it must be a finite number\n");
  }
  if (std::isnan(smoothMax)) {
    return invalidInput(std::string(names.smoothMax) + " is nan; it must be a number\n");
  }
  return {};
}

}  // namespace orbelt
