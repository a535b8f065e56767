#include "pipeline/StereoParams.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orbelt {

namespace {

std::string formatFloat(float value) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(value));
  return buf;
}

// Sigmas enter the window weights as a divisor of a squared distance, so 0
// makes the centre weight 0/0 and a non-finite value makes every weight
// meaningless. A negative sigma is fine: only its square is used.
std::string checkSigma(const char* label, float value) {
  if (value == 0.0f || !std::isfinite(value)) {
    return std::string(label) + " is " + formatFloat(value) +
           "; it must be a finite number other than 0 (a negative value acts as its absolute value)";
  }
  return {};
}

}  // namespace

std::string StereoParams::check() const {
  if (halfWinSize < 0) {
    return "HalfWinSize is " + std::to_string(halfWinSize) + "; it must be 0 or more";
  }
  if (auto m = checkSigma("SigmaS", sigmaS); !m.empty()) return m;
  if (auto m = checkSigma("SigmaP", sigmaP); !m.empty()) return m;
  // Base disparity and the label index are added in 32-bit ints by the
  // matcher (column - (base + label)); keeping both well inside half the
  // range means that sum can never overflow, while any base a real camera
  // pair could need stays allowed.
  if (std::llabs(static_cast<long long>(baseDisparity)) > kMaxAbsBaseDisparity) {
    return "Base disparity is " + std::to_string(baseDisparity) + "; it must lie between -" +
           std::to_string(kMaxAbsBaseDisparity) + " and " + std::to_string(kMaxAbsBaseDisparity);
  }
  if (disparityRange <= 0) {
    return "Disparity Range is " + std::to_string(disparityRange) + "; it must be 1 or more";
  }
  if (disparityRange > kMaxDisparityRange) {
    return "Disparity Range is " + std::to_string(disparityRange) + "; it must be at most " +
           std::to_string(kMaxDisparityRange);
  }
  if (!std::isfinite(lambda)) {
    return "Lambda is " + formatFloat(lambda) + "; it must be a finite number";
  }
  return {};
}

float sigmaPPreset(std::int32_t halfWinSize) {
  // The one-fifteenth constant is single precision, but the products are
  // formed in double and rounded once at the end: 15 gives 14.000000954
  // (the float just above 14), not 14.
  constexpr float kOneFifteenth = 1.0f / 15.0f;  // 0.0666666701
  return static_cast<float>(static_cast<double>(halfWinSize) * static_cast<double>(kOneFifteenth) * 14.0);
}

float logChromWeightOf(ColorMode mode) {
  return mode == ColorMode::LogChrom ? 1.0f : 0.0f;
}

bool matcherRuns(ColorMode mode) {
  return mode == ColorMode::LogChrom || mode == ColorMode::Rgb;
}

}  // namespace orbelt
