// Judging the planned outputs before a run.
#include "cli/OutputPlan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::TempFolder;

TEST(OutputPlan, RefusesEachKindOfUnwritablePlan) {
  TempFolder folder;
  std::filesystem::create_directories(folder.file("sub"));
  testing::writeText(folder.file("plain"), "a file");
  const std::string f = folder.path() + "/";
  const struct {
    std::vector<PlannedOutput> plan;
    const char* message;  // empty: accepted
  } cases[] = {
      {{{f + "map.bmp", "disparity map", {}, true}, {f + "d.pfm", "float disparity map", {".pfm"}, false}}, ""},
      {{{"", "disparity map", {}, true}}, ""},                        // not asked for
      {{{f + "D.PFM", "float disparity map", {".pfm"}, false}}, ""},  // extensions in any case
      {{{f + "d.png", "float disparity map", {".pfm"}, false}}, "must end in .pfm"},
      {{{f + "c.npy", "cost array", {".npy"}, false}, {f + "x", "run summary", {}, false}}, ""},
      {{{f + "map.xyz", "disparity map", {}, true}}, "no image format"},
      {{{f + "none/map.bmp", "disparity map", {}, true}}, "is not there"},
      {{{f + "sub", "disparity map", {}, true}}, "it is a folder"},
      {{{f + "sub/", "disparity map", {}, true}}, "names no file"},
      {{{f + "a.png", "16-bit disparity map", {".png"}, false},
        {f + "sub/../a.png", "colour disparity picture", {}, true}},
       "would both be written to"},
      // A writer that makes its folder: any missing folders below one that is there.
      {{{f + "new/set/disp0x.pfm", "submitted map", {}, false, true}}, ""},
      {{{f + "sub/disp0x.pfm", "submitted map", {}, false, true}}, ""},
      {{{f + "plain/set/disp0x.pfm", "submitted map", {}, false, true}}, "is in the way and is not a folder"},
      {{{f + "new/set/", "submitted map", {}, false, true}}, "names no file"},
      {{{f + "new/d.pfm", "float disparity map", {".pfm"}, false},
        {f + "new/./d.pfm", "submitted map", {}, false, true}},
       "is not there"},
      {{{f + "sub/d.pfm", "float disparity map", {".pfm"}, false},
        {f + "sub/./d.pfm", "submitted map", {}, false, true}},
       "would both be written to"},
  };
  for (const auto& c : cases) {
    const Status checked = checkOutputPlan(c.plan);
    if (*c.message == '\0') {
      EXPECT_TRUE(checked) << c.plan[0].path << ": " << checked.error().message;
    } else {
      ASSERT_FALSE(checked) << c.plan[0].path;
      EXPECT_EQ(checked.error().kind, ErrorKind::InvalidInput);
      EXPECT_NE(checked.error().message.find(c.message), std::string::npos)
          << c.plan[0].path << ": " << checked.error().message;
    }
  }
}

}  // namespace
}  // namespace orbelt
