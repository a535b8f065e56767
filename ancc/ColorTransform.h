#pragma once
// The colour stages of the matcher: one 8-bit BGR image becomes its three
// per-pixel signals.
//  - colour: the raw channel values 0..255 (no offsets);
//  - log-chromaticity: ln(value + offset) around the pixel's mean of the
//    three logs, times 100, with offsets 3, 2, 1 for channels 0, 1, 2 so that
//    black is finite; the three values of a pixel sum to ~0, so a uniform
//    gain on all channels cancels out;
//  - guide: the 8-bit Lab encoding of the pixel (each value 0..255), which
//    drives the colour-similarity part of the window weights.
#include <opencv2/core.hpp>

#include "ancc/ChannelGrid.h"

namespace orbelt {

struct ImageSignals {
  ChannelGrid color;     // raw channel values, 0..255
  ChannelGrid logChrom;  // log-chromaticity values, roughly -600..600
  ChannelGrid guide;     // 8-bit Lab values, 0..255
};

// The 1/3 of the log-chromaticity mean, the float with bits 0x3EAAAAAB.
inline constexpr float kOneThirdF = 0.33333334f;

// Computes the three signals of `bgr`, which must be a non-empty CV_8UC3
// image (the matcher checks this before calling). Throws std::bad_alloc or
// cv::Exception when memory runs out.
ImageSignals computeImageSignals(const cv::Mat& bgr);

}  // namespace orbelt
