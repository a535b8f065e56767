#include "ancc/MatcherOptions.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/NumberText.h"

namespace orbelt {

namespace {

Error refuse(const std::string& message) { return invalidInput(message + "\n"); }

// Sigmas enter the window weights as a divisor of a squared distance, so 0
// makes the centre weight 0/0 and a non-finite value makes every weight
// meaningless. A negative sigma is fine: only its square is used.
Status checkSigma(const char* name, float value) {
  if (value == 0.0f || !std::isfinite(value)) {
    return refuse(std::string(name) + " is " + floatText(value) +
                  "; it must be a finite number other than 0 (a negative value acts as its absolute value)");
  }
  return {};
}

}  // namespace

Status MatcherOptions::check(const MatcherFieldNames& names) const {
  if (halfWinSize < 0) {
    return refuse(std::string(names.halfWinSize) + " is " + std::to_string(halfWinSize) + "; it must be 0 or more");
  }
  if (Status sigma = checkSigma(names.colorSigma, colorSigma); !sigma) return sigma;
  if (Status sigma = checkSigma(names.spatialSigma, spatialSigma); !sigma) return sigma;
  // Base disparity and the label index are added in 32-bit ints by the
  // matcher (column - (base + label)); keeping both well inside half the
  // range means that sum can never overflow, while any base a real camera
  // pair could need stays allowed.
  if (std::llabs(static_cast<long long>(baseDisparity)) > kMaxAbsBaseDisparity) {
    return refuse(std::string(names.baseDisparity) + " is " + std::to_string(baseDisparity) +
                  "; it must lie between -" + std::to_string(kMaxAbsBaseDisparity) + " and " +
                  std::to_string(kMaxAbsBaseDisparity));
  }
  if (disparityRange <= 0) {
    return refuse(std::string(names.disparityRange) + " is " + std::to_string(disparityRange) +
                  "; it must be 1 or more");
  }
  if (disparityRange > kMaxDisparityRange) {
    return refuse(std::string(names.disparityRange) + " is " + std::to_string(disparityRange) +
                  "; it must be at most " + std::to_string(kMaxDisparityRange));
  }
  if (!(logChromWeight >= 0.0f && logChromWeight <= 1.0f)) {
    return refuse(std::string(names.logChromWeight) + " is " + floatText(logChromWeight) +
                  "; it must lie between 0 (raw colour alone) and 1 (log-chromaticity alone)");
  }
  if (threadCount < 0) {
    return refuse(std::string(names.threadCount) + " is " + std::to_string(threadCount) +
                  "; it must be 0 (one per hardware thread) or more");
  }
  return {};
}

}  // namespace orbelt
