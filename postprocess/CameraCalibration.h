#pragma once
// The geometry of a rectified stereo pair that turns disparities into
// metric depth and 3-D points. Both views share the focal length and the
// principal point's row; their principal points may differ in column by
// `doffs`, so the disparity of a point at infinity is -doffs, not 0.
//
//   Z = focal * baseline / (d + doffs)      (in the baseline's unit)
//   X = (x - cx) * Z / focal,  Y = (y - cy) * Z / focal
#include "platform/Expected.h"

namespace orbelt {

// How a caller's users name the five values where they type them, for the
// refusals of check(names): "--focal is 0; it must be a positive number".
struct CalibrationFieldNames {
  const char* focal;
  const char* baseline;
  const char* cx;
  const char* cy;
  const char* doffs;
};

struct CameraCalibration {
  double focal = 0;     // focal length of both rectified views, pixels. No default: must be given
  double baseline = 0;  // distance between the two camera centres; depth comes out in its unit
                        // (Middlebury: mm, KITTI: m). No default: must be given
  double cx = 0;        // column of the left view's principal point, pixels. Default 0
  double cy = 0;        // row of the principal point (both views), pixels. Default 0
  double doffs = 0;     // column of the right view's principal point minus the left's, pixels. Default 0

  // InvalidInput unless focal and baseline are positive and finite and cx,
  // cy and doffs finite; the message names the field and the value.
  Status check() const;
  // The same rules, each refusal naming the value as `names` does.
  Status check(const CalibrationFieldNames& names) const;

  // Z of a disparity d, in the baseline's unit; +inf when d is not finite or
  // d + doffs <= 0 (a point at or beyond infinity has no depth).
  double depthOf(double disparity) const;
};

// A calibration from explicit values, checked.
Expected<CameraCalibration> calibrationFromValues(double focal, double baseline, double cx, double cy,
                                                  double doffs = 0);

}  // namespace orbelt
