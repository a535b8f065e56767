// Makes a small dataset in the Middlebury 2014 or a KITTI layout from a
// Middlebury 2003 set, for tests and scripts (see DatasetFixtures.h).
//
// Usage: orbelt-make-dataset-fixture middlebury2014|kitti2015|kitti2012 SOURCE_SET TARGET
//   middlebury2014: TARGET is the set folder to make;
//   kitti2015, kitti2012: TARGET is the split folder; the frame is 000000_10.
#include <cstdio>
#include <string>

#include "tools/dataset-fixtures/DatasetFixtures.h"

int main(int argc, char** argv) {
  const std::string kind = argc == 4 ? argv[1] : "";
  if (kind != "middlebury2014" && kind != "kitti2015" && kind != "kitti2012") {
    std::fprintf(stderr, "usage: %s middlebury2014|kitti2015|kitti2012 SOURCE_SET TARGET\n", argv[0]);
    return 2;
  }
  using namespace orbelt;
  const Status made =
      kind == "middlebury2014"
          ? fixtures::makeMiddlebury2014Set(argv[2], argv[3])
          : fixtures::makeKittiFrame(argv[2], argv[3],
                                     kind == "kitti2015" ? KittiEdition::Stereo2015 : KittiEdition::Stereo2012);
  if (!made) {
    std::fprintf(stderr, "%s\n", made.error().message.c_str());
    return 1;
  }
  std::printf("wrote %s\n", argv[3]);
  return 0;
}
