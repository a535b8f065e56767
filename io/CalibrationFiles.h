#pragma once
// The calibration files of the public stereo benchmarks, read into a
// CameraCalibration (postprocess/CameraCalibration.h):
//
//  - a Middlebury 2014 (and 2021) set's calib.txt, one key=value a line:
//      cam0=[f 0 cx; 0 f cy; 0 0 1]   cam1=[f 0 cx1; 0 f cy; 0 0 1]
//      doffs=..  baseline=.. (mm)  width=..  height=..  ndisp=..  vmin=..  vmax=..
//    (isint, dyavg, dymax and other keys are passed over);
//  - a KITTI calibration, one "key: numbers" a line, in which the
//    rectified projections of the left and right colour cameras are 3 x 4
//    matrices, row by row: P_rect_02 and P_rect_03 (calib_cam_to_cam.txt),
//    or P2 and P3 (the 2012 stereo set's calib files). With
//    P = [f 0 cx f*tx; 0 f cy 0; 0 0 1 0], the baseline is
//    (P_left[0][3] - P_right[0][3]) / f in metres and doffs is
//    cx_right - cx_left.
//
// Every failure names the file and what is wrong: a missing key, a value
// that is not a number (or not a whole one), a matrix of the wrong size, a
// value out of range.
#include <optional>
#include <string>

#include "platform/Expected.h"
#include "postprocess/CameraCalibration.h"

namespace orbelt {

struct MiddleburyCalibration {
  CameraCalibration camera;    // from cam0, baseline and doffs
  int labelCount = 0;          // ndisp: disparities 0 .. ndisp - 1 cover the scene (> 0)
  int width = 0;               // image width the file states, pixels; 0 when it states none
  int height = 0;              // image height the file states, pixels; 0 when it states none
  std::optional<double> vmin;  // lowest disparity of the scene, when stated (pixels)
  std::optional<double> vmax;  // highest disparity of the scene, when stated (pixels)
};

// Reads a calib.txt. Requires cam0, baseline, doffs and ndisp; width,
// height, vmin and vmax are taken when present. Fails with IoFailure when
// the file cannot be read and InvalidInput for content it cannot use.
Expected<MiddleburyCalibration> readMiddleburyCalibration(const std::string& path);

// Reads the left (camera 2) and right (camera 3) colour views' projections
// of a KITTI calibration file. Fails as readMiddleburyCalibration does; also
// when the two projections do not share a focal length and principal row
// (not a rectified pair).
Expected<CameraCalibration> readKittiCalibration(const std::string& path);

// A calibration file of either kind, as a user hands one over.
struct CalibrationFile {
  CameraCalibration camera;
  std::optional<MiddleburyCalibration> middlebury;  // a calib.txt's other facts (ndisp, size, vmin, vmax)
};

// Reads `path` as a calib.txt when its first line is "key=value" and as a
// KITTI file when it is "key: value"; fails as the two readers do, and with
// InvalidInput naming the file when its first line is neither.
Expected<CalibrationFile> readCalibrationFile(const std::string& path);

}  // namespace orbelt
