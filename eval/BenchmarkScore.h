#pragma once
// A dataset pair's truth and its score by its own benchmark's measures: the
// Middlebury 2014 measures (Middlebury2014Measures.h) for a 2014 set, the
// KITTI measures (KittiMeasures.h) for a KITTI frame. The older Middlebury
// sets are scored per mask by evaluateDisparity (DisparityEvaluation.h) and
// have no benchmark truth here.
#include <variant>

#include <opencv2/core.hpp>

#include "eval/KittiMeasures.h"
#include "eval/Middlebury2014Measures.h"
#include "eval/StereoDataset.h"
#include "platform/Expected.h"

namespace orbelt {

// No truth (std::monostate), or the truth of one benchmark.
using BenchmarkTruth = std::variant<std::monostate, Middlebury2014Truth, KittiTruth>;
using BenchmarkScore = std::variant<std::monostate, Middlebury2014Score, KittiScore>;

// The truth of `dataset`, read whole (so a run can be refused before it
// starts): none for an older set, a 2014 set without disp0GT.pfm or
// disp0.pfm, or a KITTI frame without truth files. Fails as
// readMiddlebury2014Truth and readKittiTruth do on a file that is there but
// cannot be used.
Expected<BenchmarkTruth> readBenchmarkTruth(const StereoDataset& dataset);

// The size of the truth's maps; 0 x 0 without a truth.
cv::Size truthSize(const BenchmarkTruth& truth);

// `disparity` (CV_32FC1, pixels, non-finite = unknown) by the truth's
// benchmark; no score without a truth. Fails as scoreMiddlebury2014 and
// scoreKitti do (a map that does not fit the truth).
Expected<BenchmarkScore> scoreBenchmark(const cv::Mat& disparity, const BenchmarkTruth& truth);

}  // namespace orbelt
