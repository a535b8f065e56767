#pragma once
// The colour check a pair passes before anything else is looked at, and how
// a pair that fails it is told: its own message and kind, kept apart from the
// run's other refusals because the dialog ends on it.
#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

// The message of the colour check.
inline constexpr const char* kColorFormatMessage = "Input images should be color format !";
// The status the programs end with after the colour check's message (seen as
// 255 by a parent): the dialog's and the command line's tables both use it.
inline constexpr int kColorFormatExitStatus = -1;

// Whether the channel counts pass the colour check: the reference has exactly
// 3 channels and the target as many as the reference. Depth and size are not
// looked at here.
bool passesColorCheck(const cv::Mat& ref, const cv::Mat& target);

// The Error of a pair that fails the colour check: kColorFormatMessage and a
// line break, kind ColorFormat.
Error colorFormatError();

}  // namespace orbelt
