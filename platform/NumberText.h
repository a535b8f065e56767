#pragma once
// How a refused number is written in a message: every float with nine
// significant digits ("%.9g"), so the value shown reads back as the value
// held (0.0329999998, not 0.033) and nan and inf are spelled plainly.
#include <string>

namespace orbelt {

std::string floatText(float value);

}  // namespace orbelt
