#include "ancc/WinnerPreview.h"

#include <cfloat>

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

unsigned char previewGrey(int label, int baseDisparity, int displayLevel) {
  const unsigned value = baseDisparity >= 0 ? static_cast<unsigned>(label) + static_cast<unsigned>(baseDisparity)
                                            : static_cast<unsigned>(label);
  return static_cast<unsigned char>((value & 0xFFu) * (static_cast<unsigned>(displayLevel) & 0xFFu));
}

bool renderPreview(const CostVolume& volume, cv::Mat& preview, int baseDisparity, int displayLevel) {
  if (preview.type() != CV_8UC1 || preview.cols != volume.width() || preview.rows != volume.height()) return false;
  for (int y = 1; y < volume.height() - 1; ++y) {
    unsigned char* row = preview.ptr<unsigned char>(y);
    for (int x = 1; x < volume.width() - 1; ++x)
      row[x] = previewGrey(winnerLabel(volume.cell(x, y), volume.disparityRange()), baseDisparity, displayLevel);
  }
  return true;
}

}  // namespace orbelt
