#include "ancc/WinnerPreview.h"

#include <cfloat>

#include "postprocess/DisplayGrey.h"

namespace orbelt {

int winnerLabel(const float* costs, int count) {
  float best = FLT_MAX;
  int label = 0;
  for (int d = 0; d < count; ++d) {
    if (costs[d] < best) {
      best = costs[d];
      label = d;
    }
  }
  return label;
}

bool renderPreview(const CostVolume& volume, cv::Mat& preview, int baseDisparity, int displayLevel) {
  if (preview.type() != CV_8UC1 || preview.cols != volume.width() || preview.rows != volume.height()) return false;
  for (int y = 1; y < volume.height() - 1; ++y) {
    unsigned char* row = preview.ptr<unsigned char>(y);
    for (int x = 1; x < volume.width() - 1; ++x)
      row[x] = displayGrey(winnerLabel(volume.cell(x, y), volume.disparityRange()), baseDisparity, displayLevel);
  }
  return true;
}

}  // namespace orbelt
