#include "app/StereoParams.h"

namespace orbelt {

Status StereoParams::check() const { return stereoOptionsFor(*this).check(kDialogFieldNames); }

StereoOptions stereoOptionsFor(const StereoParams& params) {
  StereoOptions options;
  MatcherOptions& matcher = options.matcher;
  matcher.baseDisparity = params.baseDisparity;
  matcher.disparityRange = params.disparityRange;
  matcher.halfWinSize = params.halfWinSize;
  matcher.spatialSigma = params.sigmaP;
  matcher.colorSigma = params.sigmaS;
  matcher.logChromWeight = logChromWeightOf(params.colorMode);
  options.computeCosts = matcherRuns(params.colorMode);
  OptimizerOptions& optimizer = options.optimizer;
  optimizer.smoothExponent = params.smoothExponent;
  // The dialog runs the matcher before the optimizer judges the exponent.
  optimizer.exponentLeftToSolver = true;
  optimizer.smoothMax = static_cast<float>(params.smoothMax);
  optimizer.lambda = smoothnessWeightOf(params.lambda);
  return options;
}

float sigmaPPreset(std::int32_t halfWinSize) {
  // The one-fifteenth constant is single precision, but the products are
  // formed in double and rounded once at the end: 15 gives 14.000000954
  // (the float just above 14), not 14.
  constexpr float kOneFifteenth = 1.0f / 15.0f;  // 0.0666666701
  return static_cast<float>(static_cast<double>(halfWinSize) * static_cast<double>(kOneFifteenth) * 14.0);
}

float logChromWeightOf(ColorMode mode) { return mode == ColorMode::LogChrom ? 1.0f : 0.0f; }

bool matcherRuns(ColorMode mode) { return mode == ColorMode::LogChrom || mode == ColorMode::Rgb; }

}  // namespace orbelt
