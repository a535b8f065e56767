#include "platform/NumberText.h"

#include <charconv>
#include <cstdio>

namespace orbelt {

std::string floatText(float value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

std::string doubleText(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

}  // namespace orbelt
