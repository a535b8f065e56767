#pragma once
// A Middlebury 2014 stereo set as it lies on disk (the 2021 sets share the
// layout): a folder holding the two views im0.png and im1.png and calib.txt,
// and, for a training set, the left view's truth disp0GT.pfm (disp0.pfm in
// the 2021 sets; inf = no truth) with the occlusion mask mask0nocc.png
// (255 visible in both views, 128 occluded, 0 no truth).
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "io/CalibrationFiles.h"
#include "platform/Expected.h"

namespace orbelt {

struct Middlebury2014Set {
  std::string name;                   // folder name, e.g. "Adirondack"
  std::string folder;                 // the set's folder
  std::string left;                   // im0.png
  std::string right;                  // im1.png
  std::string calibrationFile;        // calib.txt
  std::string truth;                  // disp0GT.pfm or disp0.pfm; empty when the set has none
  std::string mask;                   // mask0nocc.png; empty when the set has none
  MiddleburyCalibration calibration;  // calib.txt as read: ndisp is the default label count
};

// The left view's truth: CV_32FC1 disparities (non-finite = no truth) and
// the occlusion mask, CV_8UC1 of 0, 128 and 255, empty when the set has none.
struct Middlebury2014Truth {
  cv::Mat disparity;
  cv::Mat mask;
};

// True when `folder` holds im0.png, im1.png and calib.txt.
bool isMiddlebury2014Set(const std::string& folder);

// Recognises `folder` by its file names and reads its calib.txt. Fails with
// InvalidInput when the folder is not there or is no 2014 set (the message
// names the files looked for), and as readMiddleburyCalibration when
// calib.txt cannot be used.
Expected<Middlebury2014Set> findMiddlebury2014Set(const std::string& folder);

// Every 2014 set at `root` itself or one or two levels below it
// (root/<set>, root/<collection>/<set>, as trainingQ/Adirondack), sorted by
// path. Fails when `root` is not a folder, holds no set, or a set's
// calib.txt cannot be used (the message names it).
Expected<std::vector<Middlebury2014Set>> listMiddlebury2014Sets(const std::string& root);

// Reads the set's truth and mask. Fails with InvalidInput when the set has
// no truth, when the mask's size differs from the truth's or it holds a
// value other than 0, 128 and 255, and as readPfm / readMask otherwise.
Expected<Middlebury2014Truth> readMiddlebury2014Truth(const Middlebury2014Set& set);

}  // namespace orbelt
