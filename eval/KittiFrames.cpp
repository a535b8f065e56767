#include "eval/KittiFrames.h"

#include <algorithm>
#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include "io/CalibrationFiles.h"
#include "io/DisparityImages.h"

namespace orbelt {

namespace fs = std::filesystem;

namespace {

struct Layout {
  KittiEdition edition;
  const char* left;
  const char* right;
  const char* noc;
  const char* occ;
  const char* calibration;  // folder of the per-frame files
};

constexpr Layout kLayouts[] = {
    {KittiEdition::Stereo2015, "image_2", "image_3", "disp_noc_0", "disp_occ_0", "calib_cam_to_cam"},
    {KittiEdition::Stereo2012, "colored_0", "colored_1", "disp_noc", "disp_occ", "calib"},
};

const Layout* layoutOf(const fs::path& split) {
  std::error_code ec;
  for (const Layout& layout : kLayouts) {
    if (fs::is_directory(split / layout.left, ec) && fs::is_directory(split / layout.right, ec)) return &layout;
  }
  return nullptr;
}

// "NNNNNN_10.png": six digits, then the reference instant of the pair.
bool isFrameName(const std::string& name) {
  if (name.size() != 13 || name.compare(6, 7, "_10.png") != 0) return false;
  return std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= '0' && c <= '9'; });
}

std::string fileIfThere(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) ? path.string() : std::string();
}

void findCalibration(const fs::path& split, const Layout& layout, KittiFrame& frame) {
  frame.calibrationTried = {(split / layout.calibration / (frame.id.substr(0, 6) + ".txt")).string(),
                            (split / "calib_cam_to_cam.txt").string()};
  for (const std::string& candidate : frame.calibrationTried) {
    frame.calibration = fileIfThere(candidate);
    if (!frame.calibration.empty()) return;
  }
}

Status addSplitFrames(const fs::path& split, const Layout& layout, std::vector<KittiFrame>& frames) {
  std::vector<std::string> ids;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(split / layout.left, ec)) {
    const std::string name = entry.path().filename().string();
    if (isFrameName(name) && entry.is_regular_file(ec)) ids.push_back(name.substr(0, 9));
  }
  std::sort(ids.begin(), ids.end());
  for (const std::string& id : ids) {
    KittiFrame frame;
    frame.id = id;
    frame.split = split.string();
    frame.edition = layout.edition;
    frame.left = (split / layout.left / (id + ".png")).string();
    frame.right = fileIfThere(split / layout.right / (id + ".png"));
    if (frame.right.empty()) {
      return invalidInput("The KITTI frame " + id + " in \"" + split.string() + "\" has no right view: \"" +
                          (split / layout.right / (id + ".png")).string() + "\" is not there");
    }
    frame.truthNoc = fileIfThere(split / layout.noc / (id + ".png"));
    frame.truthOcc = fileIfThere(split / layout.occ / (id + ".png"));
    findCalibration(split, layout, frame);
    frames.push_back(std::move(frame));
  }
  return {};
}

// A 16-bit truth as disparities: value / 256, 0 = no truth.
Expected<cv::Mat> readSixteenBitTruth(const std::string& path) {
  if (path.empty()) return cv::Mat();
  const cv::Mat stored = cv::imread(path, cv::IMREAD_UNCHANGED);
  if (stored.empty()) return ioFailure("Cannot read the truth \"" + path + "\": file missing or not an image");
  if (stored.type() != CV_16UC1) {
    return invalidInput("The truth \"" + path + "\" is not a 16-bit grey image (disparity x 256, 0 = no truth)");
  }
  return decodeDisparityPng16(stored);
}

}  // namespace

bool isKittiSplit(const std::string& folder) { return layoutOf(folder) != nullptr; }

bool holdsKittiFrames(const std::string& folder) {
  if (layoutOf(folder)) return true;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.is_directory(ec) && layoutOf(entry.path())) return true;
  }
  return false;
}

Expected<std::vector<KittiFrame>> listKittiFrames(const std::string& root) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return invalidInput("The dataset folder \"" + root + "\" is not there");
  std::vector<fs::path> splits{root};
  if (!layoutOf(root)) {
    for (const auto& entry : fs::directory_iterator(root, ec)) {
      if (entry.is_directory(ec)) splits.push_back(entry.path());
    }
    std::sort(splits.begin() + 1, splits.end());
  }
  std::vector<KittiFrame> frames;
  for (const fs::path& split : splits) {
    if (const Layout* layout = layoutOf(split)) {
      if (Status added = addSplitFrames(split, *layout, frames); !added) return std::move(added).error();
    }
  }
  if (frames.empty()) {
    return invalidInput("The folder \"" + root +
                        "\" holds no KITTI frame (NNNNNN_10.png in image_2/ and image_3/, or in colored_0/ and "
                        "colored_1/, there or in a folder below it)");
  }
  return frames;
}

Expected<CameraCalibration> readKittiFrameCalibration(const KittiFrame& frame) {
  if (frame.calibration.empty()) {
    std::string tried;
    for (const std::string& path : frame.calibrationTried) tried += (tried.empty() ? "\"" : ", \"") + path + "\"";
    return invalidInput("The KITTI frame " + frame.id + " has no calibration: none of " + tried + " is there");
  }
  return readKittiCalibration(frame.calibration);
}

Expected<KittiTruth> readKittiTruth(const KittiFrame& frame) {
  if (frame.truthNoc.empty() && frame.truthOcc.empty()) {
    return invalidInput("The KITTI frame " + frame.id + " in \"" + frame.split + "\" has no truth");
  }
  Expected<cv::Mat> noc = readSixteenBitTruth(frame.truthNoc);
  if (!noc) return std::move(noc).error();
  Expected<cv::Mat> occ = readSixteenBitTruth(frame.truthOcc);
  if (!occ) return std::move(occ).error();
  if (!noc->empty() && !occ->empty() && noc->size() != occ->size()) {
    return invalidInput("The truths \"" + frame.truthNoc + "\" and \"" + frame.truthOcc + "\" differ in size");
  }
  return KittiTruth{std::move(*noc), std::move(*occ)};
}

}  // namespace orbelt
