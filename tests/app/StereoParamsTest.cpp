#include "app/StereoParams.h"

#include <cmath>
#include <functional>
#include <limits>

#include <gtest/gtest.h>

namespace orbelt {
namespace {

TEST(StereoParams, DefaultsAreWhatTheDialogShowsOnOpening) {
  const StereoParams p;
  EXPECT_EQ(p.halfWinSize, 15);
  EXPECT_EQ(p.sigmaS, 3.8f);
  EXPECT_EQ(p.sigmaP, 14.0f);
  EXPECT_EQ(p.baseDisparity, 0);
  EXPECT_EQ(p.disparityRange, 70);
  EXPECT_EQ(p.displayLevel, 3);
  EXPECT_EQ(p.smoothExponent, 2);
  EXPECT_EQ(p.smoothMax, 5);
  EXPECT_EQ(p.lambda, 0.033f);
  EXPECT_EQ(p.colorMode, ColorMode::LogChrom);
  EXPECT_TRUE(p.check());
}

TEST(StereoParams, SigmaPPresetRoundsOnceAfterTheDoubleProduct) {
  // 15 lands on the float just above 14, not on 14 itself.
  EXPECT_EQ(sigmaPPreset(15), std::nextafter(14.0f, 15.0f));
  EXPECT_EQ(sigmaPPreset(15), 14.000000954f);
  EXPECT_EQ(sigmaPPreset(0), 0.0f);
  EXPECT_EQ(sigmaPPreset(30), std::nextafter(28.0f, 29.0f));
  EXPECT_EQ(sigmaPPreset(-15), -std::nextafter(14.0f, 15.0f));
}

TEST(StereoParams, ColourModeDecidesWhetherAndHowTheMatcherRuns) {
  EXPECT_TRUE(matcherRuns(ColorMode::LogChrom));
  EXPECT_TRUE(matcherRuns(ColorMode::Rgb));
  EXPECT_FALSE(matcherRuns(ColorMode::Unset));
  EXPECT_FALSE(matcherRuns(static_cast<ColorMode>(2)));
  EXPECT_EQ(logChromWeightOf(ColorMode::LogChrom), 1.0f);
  EXPECT_EQ(logChromWeightOf(ColorMode::Rgb), 0.0f);
}

TEST(StereoParams, CheckNamesTheFieldItsValueAndWhatIsAllowed) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    std::function<void(StereoParams&)> change;
    std::string message;  // empty: accepted
  };
  const Case cases[] = {
      {[](StereoParams& p) { p.halfWinSize = -1; }, "HalfWinSize is -1; it must be 0 or more"},
      {[](StereoParams& p) { p.halfWinSize = 0; }, ""},
      {[](StereoParams& p) { p.sigmaS = 0.0f; },
       "SigmaS is 0; it must be a finite number other than 0 (a negative value acts as its absolute value)"},
      {[&](StereoParams& p) { p.sigmaS = nan; }, "SigmaS is nan; it must be a finite number other than 0"},
      {[&](StereoParams& p) { p.sigmaP = -inf; }, "SigmaP is -inf; it must be a finite number other than 0"},
      {[](StereoParams& p) { p.sigmaP = -0.0f; }, "SigmaP is -0; it must be"},
      {[](StereoParams& p) { p.sigmaS = -3.8f; }, ""},  // only the square enters the weights
      {[](StereoParams& p) { p.disparityRange = 0; }, "Disparity Range is 0; it must be 1 or more"},
      {[](StereoParams& p) { p.disparityRange = -70; }, "Disparity Range is -70; it must be 1 or more"},
      {[](StereoParams& p) { p.disparityRange = 1; }, ""},
      {[](StereoParams& p) { p.disparityRange = 2000000000; },
       "Disparity Range is 2000000000; it must be at most 1000000000"},
      {[](StereoParams& p) { p.baseDisparity = -40; }, ""},
      {[](StereoParams& p) { p.baseDisparity = 2147483647; },
       "Base disparity is 2147483647; it must lie between -1000000000 and 1000000000"},
      {[](StereoParams& p) { p.baseDisparity = -2147483647 - 1; }, "Base disparity is -2147483648; it must lie"},
      {[&](StereoParams& p) { p.lambda = inf; }, "Lambda is inf; it must be a finite number"},
      {[](StereoParams& p) { p.lambda = -1.0f; }, ""},
      {[](StereoParams& p) { p.smoothExponent = 3; }, ""},  // left to the optimizer, which judges it after the costs
      {[](StereoParams& p) { p.smoothMax = -5; }, ""},
      {[](StereoParams& p) { p.displayLevel = -7; }, ""},
  };
  for (const Case& c : cases) {
    StereoParams p;
    c.change(p);
    const Status checked = p.check();
    const std::string message = checked ? "" : checked.error().message;
    if (!checked) {
      EXPECT_EQ(checked.error().kind, ErrorKind::InvalidInput);
    }
    if (c.message.empty()) {
      EXPECT_EQ(message, "");
    } else {
      EXPECT_EQ(message.rfind(c.message, 0), 0u) << "got: " << message << "\nwant: " << c.message;
    }
  }
}

// The dialog's fields become the run's options: its sigmas by their roles,
// Lambda x 30, the colour mode as the blend (or no matcher), and the exponent
// left to the optimizer, which refuses it only after the costs.
TEST(StereoParams, MapOntoTheRunsOptions) {
  StereoParams p;
  p.halfWinSize = 4;
  p.sigmaS = 2.5f;
  p.sigmaP = 9.0f;
  p.baseDisparity = -3;
  p.disparityRange = 17;
  p.smoothExponent = 3;
  p.smoothMax = 7;
  p.lambda = 0.033f;
  p.colorMode = ColorMode::Rgb;
  const StereoOptions options = stereoOptionsFor(p);
  EXPECT_EQ(options.matcher.halfWinSize, 4);
  EXPECT_EQ(options.matcher.colorSigma, 2.5f);
  EXPECT_EQ(options.matcher.spatialSigma, 9.0f);
  EXPECT_EQ(options.matcher.baseDisparity, -3);
  EXPECT_EQ(options.matcher.disparityRange, 17);
  EXPECT_EQ(options.matcher.logChromWeight, 0.0f);
  EXPECT_TRUE(options.computeCosts);
  EXPECT_EQ(options.optimizer.smoothExponent, 3);
  EXPECT_EQ(options.optimizer.smoothMax, 7.0f);
  EXPECT_EQ(options.optimizer.lambda, 0.99f);
  EXPECT_TRUE(options.optimizer.exponentLeftToSolver);
  EXPECT_TRUE(options.check(kDialogFieldNames));
  p.colorMode = ColorMode::Unset;
  EXPECT_FALSE(stereoOptionsFor(p).computeCosts);
}

}  // namespace
}  // namespace orbelt
