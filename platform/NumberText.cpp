#include "platform/NumberText.h"

#include <cstdio>

namespace orbelt {

std::string floatText(float value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

}  // namespace orbelt
