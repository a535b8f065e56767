#pragma once
// How a refused number is written in a message: every float with nine
// significant digits ("%.9g"), so the value shown reads back as the value
// held (0.0329999998, not 0.033) and nan and inf are spelled plainly.
#include <string>

namespace orbelt {

std::string floatText(float value);

// A double in the fewest digits that read back as the same value (0.1, not
// 0.10000000000000001; inf and nan spelled plainly): values read from text
// files are shown as the file wrote them.
std::string doubleText(double value);

}  // namespace orbelt
