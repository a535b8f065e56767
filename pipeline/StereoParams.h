#pragma once
// The parameters of one disparity run, as the dialog holds them.
// Field order is fixed; the defaults are what the dialog shows on opening.
#include <cstdint>
#include <string>

namespace orbelt {

// Which colour space the matcher compares windows in.
enum class ColorMode : std::int32_t {
  LogChrom = 0,  // log-chromaticity (first radio button); logChromWeight 1.0
  Rgb = 1,       // the original colour values (second radio button); logChromWeight 0.0
  Unset = -1,    // no button selected: the matcher is not run, every cost stays 0
};

struct StereoParams {
  std::int32_t halfWinSize = 15;     // window half size r in pixels; windows are (2r+1)^2. Default 15
  float sigmaS = 3.8f;               // colour-difference sigma of the window weights, Lab units. Default 3.8
  float sigmaP = 14.0f;              // spatial sigma of the window weights, pixels. Default 14
  std::int32_t baseDisparity = 0;    // disparity of label 0, pixels. Default 0
  std::int32_t disparityRange = 70;  // number of disparity labels. Default 70
  std::int32_t displayLevel = 3;     // grey multiplier of the display map (low 8 bits act). Default 3
  std::int32_t smoothExponent = 2;   // exponent of the smoothness term (the optimizer takes 1 or 2). Default 2
  std::int32_t smoothMax = 5;        // truncation of the label-distance power. Default 5
  float lambda = 0.033f;             // smoothness weight before the x30 scaling. Default 0.033
  ColorMode colorMode = ColorMode::LogChrom;  // colour space of the matcher. Default LogChrom

  // Empty when these parameters can run; otherwise one message naming the
  // first offending field (by its dialog label), its value and what is
  // allowed. Refused: HalfWinSize < 0; SigmaS or SigmaP of 0 or not finite;
  // |Base disparity| > kMaxAbsBaseDisparity; Disparity Range < 1 or
  // > kMaxDisparityRange; Lambda not finite. The smoothness exponent and
  // maximum are deliberately not judged here: the optimizer owns the exponent
  // rule (its Error "Wrong exponent in setSmoothness()!", status 1), and any
  // maximum gives a well-defined table.
  std::string check() const;
};

// Bounds that keep base + label and column - (base + label) inside 32 bits.
inline constexpr std::int32_t kMaxAbsBaseDisparity = 1000000000;
inline constexpr std::int32_t kMaxDisparityRange = 1000000000;

// sigmaP pre-set from the half window size before the dialog is read:
// halfWinSize * (1/15 as a float constant, 0.0666666701) * 14.0 computed in
// double, rounded to float once (15 gives 14.000000954).
float sigmaPPreset(std::int32_t halfWinSize);

// Weight of the log-chromaticity cost handed to the matcher: 1.0 for
// LogChrom, 0.0 for Rgb (and for Unset, which never reaches the matcher).
float logChromWeightOf(ColorMode mode);

// Whether the matcher runs at all: only for LogChrom and Rgb. Unset (or any
// other value an int could carry) leaves every cost at 0.
bool matcherRuns(ColorMode mode);

}  // namespace orbelt
