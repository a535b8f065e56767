#include "app/DisplayCheck.h"

#include <gtest/gtest.h>

#include <map>

namespace orbelt {
namespace {

TEST(DisplayCheckTest, AWindowNeedsADisplayOrAnExplicitQtPlatform) {
  struct Case {
    std::map<std::string, std::string> env;
    bool canShow;
  };
  const Case cases[] = {
      {{}, false},
      {{{"DISPLAY", ":0"}}, true},
      {{{"WAYLAND_DISPLAY", "wayland-0"}}, true},
      {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, false},  // set but empty is no display
      {{{"QT_QPA_PLATFORM", "offscreen"}}, true},
      {{{"HOME", "/root"}}, false},
  };
  for (const Case& c : cases) {
    const auto reason = missingDisplayReason([&](const char* name) -> std::optional<std::string> {
      const auto it = c.env.find(name);
      if (it == c.env.end()) return std::nullopt;
      return it->second;
    });
    EXPECT_EQ(!reason.has_value(), c.canShow) << c.env.size();
    if (reason) {
      EXPECT_NE(reason->find("DISPLAY"), std::string::npos);
      EXPECT_NE(reason->find("WAYLAND_DISPLAY"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace orbelt
