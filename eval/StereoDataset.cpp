#include "eval/StereoDataset.h"

#include <algorithm>
#include <filesystem>

#include "eval/SetFolders.h"

namespace orbelt {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLayouts =
    "a Middlebury 2014 set (im0.png, im1.png, calib.txt), an older Middlebury set (imL/imR.png, im2/im6.ppm, "
    "im2/im6.png or view1/view5.png with its truth), or KITTI frames (NNNNNN_10.png in image_2/ and image_3/, or "
    "colored_0/ and colored_1/)";

// `folder`'s path below `root`, its parts joined by '-'; empty for the root.
std::string nameBelow(const std::string& root, const std::string& folder) {
  const fs::path relative = fs::path(folder).lexically_normal().lexically_relative(fs::path(root).lexically_normal());
  std::string name;
  for (const fs::path& part : relative) {
    if (part.empty() || part == ".") continue;
    if (!name.empty()) name += '-';
    name += part.string();
  }
  return name;
}

StereoDataset from2014(Middlebury2014Set set) {
  StereoDataset dataset{
      set.name, set.left, set.right, set.calibration.labelCount, set.calibration.camera, set.calibrationFile, {}};
  dataset.source = std::move(set);
  return dataset;
}

StereoDataset fromOlder(MiddleburySet set) {
  StereoDataset dataset{set.name, set.left, set.right, set.labelCount, std::nullopt, {}, {}};
  dataset.source = std::move(set);
  return dataset;
}

// A frame's calibration is read when a file was found for it: a frame may
// come without one (no depth then), but a file that is there must be usable.
Expected<StereoDataset> fromKitti(KittiFrame frame, std::string name) {
  StereoDataset dataset{std::move(name), frame.left, frame.right, kKittiLabelCount, std::nullopt, {}, {}};
  if (!frame.calibration.empty()) {
    Expected<CameraCalibration> calibration = readKittiFrameCalibration(frame);
    if (!calibration) return std::move(calibration).error();
    dataset.calibration = *calibration;
    dataset.calibrationFile = frame.calibration;
  }
  dataset.source = std::move(frame);
  return dataset;
}

// The frame's name as a user gives it: its split's path below the root,
// then its id ("training/000000_10"; "000000_10" when the root is the split).
std::string frameLabel(const KittiFrame& frame, const std::string& root) {
  const std::string split = nameBelow(root, frame.split);
  return split.empty() ? frame.id : fs::path(frame.split).lexically_relative(root).string() + "/" + frame.id;
}

// "000123" and "000123_10" name the same frame; a split may lead.
bool frameMatches(const KittiFrame& frame, const std::string& root, const std::string& wanted) {
  const auto slash = wanted.find_last_of('/');
  std::string id = slash == std::string::npos ? wanted : wanted.substr(slash + 1);
  if (id.size() == 6) id += "_10";
  if (id != frame.id) return false;
  if (slash == std::string::npos) return true;
  return fs::path(wanted.substr(0, slash)).lexically_normal() ==
         fs::path(frame.split).lexically_normal().lexically_relative(fs::path(root).lexically_normal());
}

std::string someLabels(const std::vector<const KittiFrame*>& frames, const std::string& root) {
  std::string text;
  for (std::size_t i = 0; i < frames.size() && i < 5; ++i) {
    if (i > 0) text += ", ";
    text += frameLabel(*frames[i], root);
  }
  if (frames.size() > 5) text += ", ...";
  return text;
}

Expected<StereoDataset> pickKittiFrame(const std::string& root, const std::string& wanted, const char* frameWord) {
  Expected<std::vector<KittiFrame>> frames = listKittiFrames(root);
  if (!frames) return std::move(frames).error();
  std::vector<const KittiFrame*> all, chosen;
  for (const KittiFrame& frame : *frames) {
    all.push_back(&frame);
    if (wanted.empty() || frameMatches(frame, root, wanted)) chosen.push_back(&frame);
  }
  if (chosen.size() == 1) return fromKitti(*chosen.front(), chosen.front()->id);
  if (wanted.empty()) {
    return invalidInput("The folder \"" + root + "\" holds " + std::to_string(all.size()) +
                        " KITTI frames; name one with " + frameWord + " (" + someLabels(all, root) + ")");
  }
  if (chosen.empty()) {
    return invalidInput("The folder \"" + root + "\" holds no KITTI frame \"" + wanted +
                        "\" (its frames: " + someLabels(all, root) + ")");
  }
  return invalidInput(std::string(frameWord) + " \"" + wanted + "\" names " + std::to_string(chosen.size()) +
                      " KITTI frames of \"" + root + "\" (" + someLabels(chosen, root) +
                      "); put the split folder before the id");
}

// The set at `folder` itself, if it is one; an empty result when it is
// none of the set layouts.
Expected<std::optional<StereoDataset>> setAt(const std::string& folder) {
  if (isMiddlebury2014Set(folder)) {
    Expected<Middlebury2014Set> set = findMiddlebury2014Set(folder);
    if (!set) return std::move(set).error();
    return std::optional<StereoDataset>(from2014(std::move(*set)));
  }
  if (Expected<MiddleburySet> set = findMiddleburySet(folder)) {
    return std::optional<StereoDataset>(fromOlder(std::move(*set)));
  }
  return std::optional<StereoDataset>();
}

}  // namespace

std::string layoutName(const StereoDataset& dataset) {
  if (std::holds_alternative<Middlebury2014Set>(dataset.source)) return "middlebury2014";
  if (std::holds_alternative<MiddleburySet>(dataset.source)) return "middlebury";
  return std::get<KittiFrame>(dataset.source).edition == KittiEdition::Stereo2012 ? "kitti2012" : "kitti2015";
}

Expected<StereoDataset> openStereoDataset(const std::string& path, const std::string& frame, const char* frameWord) {
  std::error_code ec;
  if (!fs::is_directory(path, ec)) return ioFailure("The dataset folder \"" + path + "\" is not there");
  Expected<std::optional<StereoDataset>> set = setAt(path);
  if (!set) return std::move(set).error();
  if (*set) {
    if (!frame.empty()) {
      return invalidInput(std::string(frameWord) + " names a KITTI frame, but \"" + path + "\" is a " +
                          (layoutName(**set) == "middlebury2014" ? "Middlebury 2014" : "Middlebury") + " set");
    }
    return std::move(**set);
  }
  if (holdsKittiFrames(path)) return pickKittiFrame(path, frame, frameWord);
  return invalidInput("The folder \"" + path + "\" holds no Middlebury set and no KITTI frames: it is neither " +
                      kLayouts);
}

Expected<std::vector<StereoDataset>> listStereoDatasets(const std::string& root) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return ioFailure("The dataset folder \"" + root + "\" is not there");
  Expected<std::optional<StereoDataset>> itself = setAt(root);
  if (!itself) return std::move(itself).error();
  if (*itself) return std::vector<StereoDataset>{std::move(**itself)};
  std::vector<StereoDataset> pairs;
  std::vector<std::string> splits;
  if (isKittiSplit(root)) splits.push_back(root);
  for (const std::string& folder : setFolderCandidates(root)) {
    if (isKittiSplit(folder)) splits.push_back(folder);
    Expected<std::optional<StereoDataset>> set = setAt(folder);
    if (!set) return std::move(set).error();
    if (!*set) continue;
    (*set)->name = nameBelow(root, folder);
    pairs.push_back(std::move(**set));
  }
  for (const std::string& split : splits) {
    Expected<std::vector<KittiFrame>> frames = listKittiFrames(split);
    if (!frames) return std::move(frames).error();
    for (KittiFrame& frame : *frames) {
      const std::string below = nameBelow(root, frame.split);
      std::string name = below.empty() ? frame.id : below + "-" + frame.id;
      Expected<StereoDataset> pair = fromKitti(std::move(frame), std::move(name));
      if (!pair) return std::move(pair).error();
      pairs.push_back(std::move(*pair));
    }
  }
  if (pairs.empty()) {
    return invalidInput("The folder \"" + root +
                        "\" holds no Middlebury set and no KITTI frames, at its top or one "
                        "or two levels below: it holds neither " +
                        std::string(kLayouts));
  }
  return pairs;
}

}  // namespace orbelt
