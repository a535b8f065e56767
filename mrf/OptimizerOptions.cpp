#include "mrf/OptimizerOptions.h"

#include <cmath>
#include <string>

#include "platform/NumberText.h"

namespace orbelt {

Status OptimizerOptions::check(const OptimizerFieldNames& names) const {
  if (!exponentLeftToSolver && !isTruncatedPowerExponent(smoothExponent)) return invalidInput(kWrongExponentMessage);
  if (!std::isfinite(lambda)) {
    return invalidInput(std::string(names.lambda) + " is " + floatText(lambda) + "; it must be a finite number\n");
  }
  if (std::isnan(smoothMax)) {
    return invalidInput(std::string(names.smoothMax) + " is nan; it must be a number\n");
  }
  if (threadCount < 0) {
    return invalidInput(std::string(names.threadCount) + " is " + std::to_string(threadCount) +
                        "; it must be 0 (one per hardware thread) or more\n");
  }
  return {};
}

SmoothTerm OptimizerOptions::smoothTerm() const {
  SmoothTerm term;
  term.form = CostForm::TruncatedPower;
  term.exponent = smoothExponent;
  term.maxCost = smoothMax;
  term.lambda = lambda;
  term.useMultipliers = false;
  return term;
}

}  // namespace orbelt
