#include "pipeline/ColorCheck.h"

#include <string>

namespace orbelt {

bool passesColorCheck(const cv::Mat& ref, const cv::Mat& target) {
  return ref.channels() == 3 && target.channels() == ref.channels();
}

Error colorFormatError() { return Error{ErrorKind::ColorFormat, std::string(kColorFormatMessage) + "\n"}; }

}  // namespace orbelt
