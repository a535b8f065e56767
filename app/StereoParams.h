#pragma once
// The parameters of one disparity run, as the dialog holds them, and how
// they become the library's StereoOptions. Field order is fixed; the defaults
// are what the dialog shows on opening.
#include <cstdint>
#include <string>

#include "ancc/MatcherOptions.h"
#include "pipeline/StereoOptions.h"
#include "platform/Expected.h"

namespace orbelt {

// Which colour space the matcher compares windows in.
enum class ColorMode : std::int32_t {
  LogChrom = 0,  // log-chromaticity (first radio button); logChromWeight 1.0
  Rgb = 1,       // the original colour values (second radio button); logChromWeight 0.0
  Unset = -1,    // no button selected: the matcher is not run, every cost stays 0
};

struct StereoParams {
  std::int32_t halfWinSize = 15;              // window half size r in pixels; windows are (2r+1)^2. Default 15
  float sigmaS = 3.8f;                        // colour-difference sigma of the window weights, Lab units. Default 3.8
  float sigmaP = 14.0f;                       // spatial sigma of the window weights, pixels. Default 14
  std::int32_t baseDisparity = 0;             // disparity of label 0, pixels. Default 0
  std::int32_t disparityRange = 70;           // number of disparity labels. Default 70
  std::int32_t displayLevel = 3;              // grey multiplier of the display map (low 8 bits act). Default 3
  std::int32_t smoothExponent = 2;            // exponent of the smoothness term (the optimizer takes 1 or 2). Default 2
  std::int32_t smoothMax = 5;                 // truncation of the label-distance power. Default 5
  float lambda = kDefaultLambda;              // smoothness weight before the x30 scaling. Default 0.033
  ColorMode colorMode = ColorMode::LogChrom;  // colour space of the matcher. Default LogChrom

  // Whether these parameters can run: the check of the options they map to
  // (StereoOptions::check), its messages naming the fields by their dialog
  // labels (kDialogFieldNames), e.g. "HalfWinSize is -3; it must be 0 or
  // more" (InvalidInput). Refused: HalfWinSize < 0; SigmaS or
  // SigmaP of 0 or not finite; |Base disparity| > kMaxAbsBaseDisparity;
  // Disparity Range < 1 or > kMaxDisparityRange; Lambda whose weight is not
  // finite. The smoothness exponent and maximum are deliberately not judged
  // here: the dialog leaves the exponent to the optimizer, which refuses it
  // after the costs (its Error "Wrong exponent in setSmoothness()!", status
  // 1), and any maximum gives a well-defined table.
  Status check() const;
};

// The dialog's labels of the fields, for the messages of a refusal.
inline constexpr StereoFieldNames kDialogFieldNames{.matcher = {.halfWinSize = "HalfWinSize",
                                                                .colorSigma = "SigmaS",
                                                                .spatialSigma = "SigmaP",
                                                                .baseDisparity = "Base disparity",
                                                                .disparityRange = "Disparity Range"},
                                                    .optimizer = {.lambda = "Lambda"}};

// The options a run with these parameters takes: the matcher's from the
// window, sigmas (sigmaS is the colour sigma, sigmaP the spatial one), labels
// and colour mode (LogChrom weight 1, Rgb 0, Unset or any other value: no
// matcher, every cost 0); the optimizer's from the exponent (left to the
// optimizer, exponentLeftToSolver), the maximum and smoothnessWeightOf(lambda).
// Threads, seed and the run's own choices stay at their defaults. The display
// level is the display map's, not the run's.
StereoOptions stereoOptionsFor(const StereoParams& params);

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
