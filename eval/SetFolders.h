#pragma once
// Where dataset folders are looked for under a root: its subfolders and
// their subfolders (root/<set> and root/<collection>/<set>), the depth every
// public collection is laid out at.
#include <string>
#include <vector>

namespace orbelt {

// The folders one and two levels below `root`, sorted by path; empty when
// `root` is not a folder. Unreadable folders are passed over.
std::vector<std::string> setFolderCandidates(const std::string& root);

}  // namespace orbelt
