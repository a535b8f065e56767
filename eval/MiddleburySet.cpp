#include "eval/MiddleburySet.h"

#include <filesystem>

#include "eval/SetFolders.h"

namespace orbelt {

namespace fs = std::filesystem;

namespace {

struct Layout {
  const char* left;
  const char* right;
  const char* truth;
  double scale;
  int labels;
};

// The four layouts of the public sets, most specific first.
constexpr Layout kLayouts[] = {
    {"imL.png", "imR.png", "truedisp.row3.col3.pgm", 16, 16},
    {"im2.ppm", "im6.ppm", "disp2.pgm", 8, 20},
    {"im2.png", "im6.png", "disp2.png", 4, 60},
    {"view1.png", "view5.png", "disp1.png", 3, 80},
};

}  // namespace

Expected<MiddleburySet> findMiddleburySet(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return ioFailure("The dataset folder \"" + folder + "\" is not there");
  const fs::path dir(folder);
  for (const Layout& layout : kLayouts) {
    if (!fs::exists(dir / layout.left, ec) || !fs::exists(dir / layout.right, ec) ||
        !fs::exists(dir / layout.truth, ec)) {
      continue;
    }
    MiddleburySet set;
    set.name = fs::path(folder).lexically_normal().filename().string();
    if (set.name.empty()) set.name = fs::path(folder).lexically_normal().parent_path().filename().string();
    set.folder = folder;
    set.left = (dir / layout.left).string();
    set.right = (dir / layout.right).string();
    set.truth = (dir / layout.truth).string();
    set.truthScale = layout.scale;
    set.labelCount = layout.labels;
    const auto mask = [&](const char* name) {
      return fs::exists(dir / name, ec) ? (dir / name).string() : std::string();
    };
    set.nonocc = mask("nonocc.png");
    set.all = mask("all.png");
    set.disc = mask("disc.png");
    return set;
  }
  return invalidInput("The folder \"" + folder +
                      "\" holds no Middlebury set (imL/imR.png + truedisp.row3.col3.pgm, im2/im6.ppm + disp2.pgm, "
                      "im2/im6.png + disp2.png, or view1/view5.png + disp1.png)");
}

std::vector<MiddleburySet> listMiddleburySets(const std::string& root) {
  std::vector<MiddleburySet> sets;
  for (const std::string& candidate : setFolderCandidates(root)) {
    if (Expected<MiddleburySet> set = findMiddleburySet(candidate)) sets.push_back(std::move(*set));
  }
  return sets;
}

}  // namespace orbelt
