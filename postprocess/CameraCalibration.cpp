#include "postprocess/CameraCalibration.h"

#include <cmath>
#include <limits>
#include <string>

#include "platform/NumberText.h"

namespace orbelt {

namespace {

// The first value that breaks its rule, by its index in the order focal,
// baseline, cx, cy, doffs (the first two positive, all finite); -1 when none.
int firstRefused(const CameraCalibration& c) {
  const double values[] = {c.focal, c.baseline, c.cx, c.cy, c.doffs};
  for (int i = 0; i < 5; ++i) {
    if (!std::isfinite(values[i]) || (i < 2 && values[i] <= 0)) return i;
  }
  return -1;
}

double valueAt(const CameraCalibration& c, int i) {
  const double values[] = {c.focal, c.baseline, c.cx, c.cy, c.doffs};
  return values[i];
}

const char* ruleOf(int i) { return i < 2 ? "a positive number" : "a finite number"; }

}  // namespace

Status CameraCalibration::check() const {
  const int refused = firstRefused(*this);
  if (refused < 0) return {};
  const char* names[] = {"focal length (focal)", "baseline", "principal point column (cx)", "principal point row (cy)",
                         "principal point offset (doffs)"};
  return invalidInput(std::string("The calibration's ") + names[refused] + " must be " + ruleOf(refused) + ", not " +
                      doubleText(valueAt(*this, refused)));
}

Status CameraCalibration::check(const CalibrationFieldNames& typed) const {
  const int refused = firstRefused(*this);
  if (refused < 0) return {};
  const char* names[] = {typed.focal, typed.baseline, typed.cx, typed.cy, typed.doffs};
  return invalidInput(std::string(names[refused]) + " is " + doubleText(valueAt(*this, refused)) + "; it must be " +
                      ruleOf(refused));
}

double CameraCalibration::depthOf(double disparity) const {
  const double shifted = disparity + doffs;
  if (!std::isfinite(disparity) || !(shifted > 0)) return std::numeric_limits<double>::infinity();
  return focal * baseline / shifted;
}

Expected<CameraCalibration> calibrationFromValues(double focal, double baseline, double cx, double cy, double doffs) {
  const CameraCalibration calibration{focal, baseline, cx, cy, doffs};
  if (Status checked = calibration.check(); !checked) return std::move(checked).error();
  return calibration;
}

}  // namespace orbelt
