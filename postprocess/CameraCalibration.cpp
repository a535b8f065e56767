#include "postprocess/CameraCalibration.h"

#include <cmath>
#include <limits>
#include <string>

#include "platform/NumberText.h"

namespace orbelt {

Status CameraCalibration::check() const {
  const struct {
    const char* name;
    double value;
    bool positive;
  } fields[] = {
      {"focal length (focal)", focal, true},
      {"baseline", baseline, true},
      {"principal point column (cx)", cx, false},
      {"principal point row (cy)", cy, false},
      {"principal point offset (doffs)", doffs, false},
  };
  for (const auto& field : fields) {
    if (!std::isfinite(field.value) || (field.positive && field.value <= 0)) {
      return invalidInput(std::string("The calibration's ") + field.name + " must be " +
                          (field.positive ? "a positive number" : "a finite number") + ", not " +
                          doubleText(field.value));
    }
  }
  return {};
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
