#include "eval/SetFolders.h"

#include <algorithm>
#include <filesystem>

namespace orbelt {

namespace fs = std::filesystem;

std::vector<std::string> setFolderCandidates(const std::string& root) {
  std::vector<std::string> candidates;
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return candidates;
  for (const auto& entry : fs::directory_iterator(root, ec)) {
    if (!entry.is_directory(ec)) continue;
    candidates.push_back(entry.path().string());
    for (const auto& inner : fs::directory_iterator(entry.path(), ec)) {
      if (inner.is_directory(ec)) candidates.push_back(inner.path().string());
    }
  }
  // By path element, so root/a/x sorts before root/a-b.
  std::sort(candidates.begin(), candidates.end(),
            [](const std::string& a, const std::string& b) { return fs::path(a) < fs::path(b); });
  return candidates;
}

}  // namespace orbelt
