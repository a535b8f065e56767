#pragma once
// One stereo pair of a public benchmark's folder, whichever layout it lies
// in: what a run needs (the two views, the label count it runs with unless
// told otherwise, the calibration when the folder has one) and where its
// truth is. The front ends open datasets only through here, so a folder
// given to `orbelt-cli`, to `eval`, to `batch` and to Python means the same.
//
// Layouts, tried in this order:
//  - a Middlebury 2014 (or 2021) set: im0.png, im1.png, calib.txt (ndisp
//    labels, the calibration from calib.txt);
//  - a Middlebury 2001-2005 set (MiddleburySet.h: the set's own labels, no
//    calibration);
//  - KITTI 2012 or 2015 frames (KittiFrames.h: 192 labels, the calibration
//    when a file is found for the frame). A folder of KITTI frames holds
//    many pairs; one is picked by its id.
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "eval/KittiFrames.h"
#include "eval/Middlebury2014Set.h"
#include "eval/MiddleburySet.h"
#include "platform/Expected.h"
#include "postprocess/CameraCalibration.h"

namespace orbelt {

struct StereoDataset {
  std::string name;    // a name for its output files: the set's folder name, or the frame's id
  std::string left;    // the reference view
  std::string right;   // the target view
  int labelCount = 0;  // the label count a run takes unless given one (ndisp, the set's, or 192 for KITTI)
  std::optional<CameraCalibration> calibration;  // none for the older sets and a KITTI frame without a file
  std::string calibrationFile;                   // where the calibration was read; empty without one
  std::variant<Middlebury2014Set, MiddleburySet, KittiFrame> source;  // the layout's own record
};

// The layout's name, as reports give it: "middlebury2014", "middlebury",
// "kitti2015" or "kitti2012".
std::string layoutName(const StereoDataset& dataset);

// The pair at `path`: a set folder, or a folder of KITTI frames with
// `frame` naming one ("000123", "000123_10", or "training/000123" when the
// folder holds several splits; it may be empty when the folder holds a
// single frame). `frameWord` is how the caller's users name `frame`
// ("--frame", "frame"), for the refusals about it. Fails with IoFailure
// when the folder is not there, and InvalidInput naming the folder and what
// is wrong: no layout recognised, a calib.txt that cannot be used (a missing
// key, a value that is not a number, ndisp <= 0), a KITTI frame without its
// right view or with an unusable calibration file, a frame that is not
// there or not named where several are, or `frame` given for a set.
Expected<StereoDataset> openStereoDataset(const std::string& path, const std::string& frame = {},
                                          const char* frameWord = "the frame");

// Every pair of `root`: the root itself when it is a set; otherwise the
// 2014 and older sets one and two levels below it and the KITTI frames of
// the split folders at it or one or two levels below it. Each name is its folder's path below
// the root with '-' for '/' ("trainingQ-Adirondack", "training-000000_10"),
// so names are unique. Fails as openStereoDataset does, and when the root
// holds no pair at all.
Expected<std::vector<StereoDataset>> listStereoDatasets(const std::string& root);

}  // namespace orbelt
