#pragma once
// The KITTI stereo benchmarks' frames as they lie on disk. A split folder
// (training/ or testing/) holds, per frame NNNNNN_10.png:
//  - 2015: the views image_2/ (left) and image_3/ (right), the truth of the
//    left view in disp_noc_0/ (pixels visible in both views) and
//    disp_occ_0/ (all pixels with truth), the calibration in
//    calib_cam_to_cam/NNNNNN.txt;
//  - 2012: colored_0/ and colored_1/, truth in disp_noc/ and disp_occ/,
//    calibration in calib/NNNNNN.txt.
// A calib_cam_to_cam.txt beside the view folders serves every frame that
// has no file of its own. Truths are 16-bit PNGs: disparity x 256, 0 = no
// truth. Frames NNNNNN_11.png (the next instant) are not stereo frames and
// are passed over.
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/Expected.h"
#include "postprocess/CameraCalibration.h"

namespace orbelt {

// The label count a KITTI frame is run with unless the caller gives one:
// the disparities of both benchmarks stay below 192 px.
inline constexpr int kKittiLabelCount = 192;

enum class KittiEdition { Stereo2012, Stereo2015 };

struct KittiFrame {
  std::string id;                                   // "000000_10"
  std::string split;                                // the folder holding the view folders
  KittiEdition edition = KittiEdition::Stereo2015;  // whose folder names the split uses
  std::string left;                                 // image_2/<id>.png or colored_0/<id>.png
  std::string right;                                // image_3/<id>.png or colored_1/<id>.png
  std::string truthNoc;                             // truth of the pixels visible in both views; empty when none
  std::string truthOcc;                             // truth of all pixels with one; empty when none
  std::string calibration;                          // the calibration file found for the frame; empty when none
  std::vector<std::string> calibrationTried;        // where it was looked for, in order
};

// The left view's truths as CV_32FC1 disparities in pixels, +inf = no truth;
// a region without its file is empty.
struct KittiTruth {
  cv::Mat noc;
  cv::Mat occ;
};

// True when `folder` is a split folder: its two view folders are there.
bool isKittiSplit(const std::string& folder);

// True when `folder` is a split folder or holds one one level down: what
// listKittiFrames reads.
bool holdsKittiFrames(const std::string& folder);

// Every frame of `root`, which is a split folder or holds split folders one
// level down (training/, testing/), sorted by split then id. Fails with
// InvalidInput when `root` is not there or holds no frame, and when a
// frame's right view is missing (the message names the frame and the file).
Expected<std::vector<KittiFrame>> listKittiFrames(const std::string& root);

// The frame's calibration (readKittiCalibration). Fails with InvalidInput,
// naming the files looked for, when none was found.
Expected<CameraCalibration> readKittiFrameCalibration(const KittiFrame& frame);

// Reads the frame's truths. Fails with InvalidInput when it has neither, or
// one is not a 16-bit grey image or the two differ in size, and with
// IoFailure when a file cannot be read.
Expected<KittiTruth> readKittiTruth(const KittiFrame& frame);

}  // namespace orbelt
