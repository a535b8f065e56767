#include "eval/Middlebury2014Set.h"

#include <filesystem>

#include "eval/SetFolders.h"
#include "io/DisparityMapFiles.h"
#include "io/PfmFile.h"

namespace orbelt {

namespace fs = std::filesystem;

namespace {

std::string present(const fs::path& folder, std::initializer_list<const char*> names) {
  std::error_code ec;
  for (const char* name : names) {
    if (fs::is_regular_file(folder / name, ec)) return (folder / name).string();
  }
  return {};
}

std::string folderName(const std::string& folder) {
  const fs::path normal = fs::path(folder).lexically_normal();
  return normal.has_filename() ? normal.filename().string() : normal.parent_path().filename().string();
}

// The mask's values must be the three the layout defines: anything else
// means the file is not the mask it is named as.
Status checkMaskValues(const cv::Mat& mask, const std::string& path) {
  for (int y = 0; y < mask.rows; ++y) {
    const uchar* row = mask.ptr<uchar>(y);
    for (int x = 0; x < mask.cols; ++x) {
      if (row[x] != 0 && row[x] != 128 && row[x] != 255) {
        return invalidInput("The occlusion mask \"" + path + "\" holds " + std::to_string(row[x]) +
                            " at x = " + std::to_string(x) + ", y = " + std::to_string(y) +
                            "; it may hold only 255 (visible in both views), 128 (occluded) and 0 (no truth)");
      }
    }
  }
  return {};
}

}  // namespace

bool isMiddlebury2014Set(const std::string& folder) {
  std::error_code ec;
  const fs::path dir(folder);
  return fs::is_regular_file(dir / "im0.png", ec) && fs::is_regular_file(dir / "im1.png", ec) &&
         fs::is_regular_file(dir / "calib.txt", ec);
}

Expected<Middlebury2014Set> findMiddlebury2014Set(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return invalidInput("The dataset folder \"" + folder + "\" is not there");
  if (!isMiddlebury2014Set(folder)) {
    return invalidInput("The folder \"" + folder + "\" holds no Middlebury 2014 set (im0.png, im1.png and calib.txt)");
  }
  const fs::path dir(folder);
  Middlebury2014Set set;
  set.name = folderName(folder);
  set.folder = folder;
  set.left = (dir / "im0.png").string();
  set.right = (dir / "im1.png").string();
  set.calibrationFile = (dir / "calib.txt").string();
  set.truth = present(dir, {"disp0GT.pfm", "disp0.pfm"});
  set.mask = present(dir, {"mask0nocc.png"});
  Expected<MiddleburyCalibration> calibration = readMiddleburyCalibration(set.calibrationFile);
  if (!calibration) return std::move(calibration).error();
  set.calibration = *calibration;
  return set;
}

Expected<std::vector<Middlebury2014Set>> listMiddlebury2014Sets(const std::string& root) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return invalidInput("The dataset folder \"" + root + "\" is not there");
  std::vector<std::string> folders{root};
  for (const std::string& candidate : setFolderCandidates(root)) folders.push_back(candidate);
  std::vector<Middlebury2014Set> sets;
  for (const std::string& folder : folders) {
    if (!isMiddlebury2014Set(folder)) continue;
    Expected<Middlebury2014Set> set = findMiddlebury2014Set(folder);
    if (!set) return std::move(set).error();
    sets.push_back(std::move(*set));
  }
  if (sets.empty()) {
    return invalidInput("The folder \"" + root +
                        "\" holds no Middlebury 2014 set (im0.png, im1.png and calib.txt), at its top or one or "
                        "two levels below");
  }
  return sets;
}

Expected<Middlebury2014Truth> readMiddlebury2014Truth(const Middlebury2014Set& set) {
  if (set.truth.empty()) {
    return invalidInput("The set \"" + set.folder + "\" has no truth (disp0GT.pfm or disp0.pfm)");
  }
  Expected<cv::Mat> disparity = readPfm(set.truth);
  if (!disparity) return std::move(disparity).error();
  Middlebury2014Truth truth{std::move(*disparity), {}};
  if (set.mask.empty()) return truth;
  Expected<cv::Mat> mask = readMask(set.mask);
  if (!mask) return std::move(mask).error();
  if (mask->size() != truth.disparity.size()) {
    return invalidInput("The occlusion mask \"" + set.mask + "\" is " + std::to_string(mask->cols) + " x " +
                        std::to_string(mask->rows) + " but the truth \"" + set.truth + "\" is " +
                        std::to_string(truth.disparity.cols) + " x " + std::to_string(truth.disparity.rows));
  }
  if (Status values = checkMaskValues(*mask, set.mask); !values) return std::move(values).error();
  truth.mask = std::move(*mask);
  return truth;
}

}  // namespace orbelt
