#pragma once
// The public Middlebury stereo sets as they lie on disk, with the facts an
// evaluation needs that the files do not carry: the ground-truth scale and
// the search range.
#include <string>
#include <vector>

#include "platform/Expected.h"

namespace orbelt {

struct MiddleburySet {
  std::string name;       // folder name, e.g. "teddy"
  std::string folder;     // the set's folder
  std::string left;       // reference view
  std::string right;      // target view
  std::string truth;      // ground-truth disparities of the left view
  double truthScale = 1;  // truth value per pixel of disparity (16, 8, 4 or 3)
  int labelCount = 0;     // disparities 0 .. labelCount - 1 cover the scene
  std::string nonocc;     // mask of pixels visible in both views; empty when the set has none
  std::string all;        // mask of all pixels with truth; empty when none
  std::string disc;       // mask of pixels near depth discontinuities; empty when none
};

// Recognises a set folder by its file names: imL/imR + truedisp.row3.col3.pgm
// (2001 Tsukuba, x16, 16 labels), im2/im6.ppm + disp2.pgm (2001, x8, 20
// labels), im2/im6.png + disp2.png (2003, x4, 60 labels), view1/view5.png +
// disp1.png (2005, x3, 80 labels). Masks nonocc.png, all.png, disc.png are
// taken when present. Fails with IoFailure when the folder is not there, and
// InvalidInput when it holds none of the four layouts (the message lists them).
Expected<MiddleburySet> findMiddleburySet(const std::string& folder);

// Every set found one or two levels below `root` (root/<collection>/<set>),
// sorted by collection then name. Folders that are not sets are passed over.
std::vector<MiddleburySet> listMiddleburySets(const std::string& root);

}  // namespace orbelt
