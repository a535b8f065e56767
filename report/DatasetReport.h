#pragma once
// A dataset pair, its calibration and its benchmark score as JSON, in the one
// shape the command line's run summary and eval output, the batch summary
// that reads them back, and the Python module's dicts share.
#include <nlohmann/json.hpp>

#include "eval/BenchmarkScore.h"
#include "eval/StereoDataset.h"
#include "postprocess/CameraCalibration.h"

namespace orbelt {

// focal, baseline, cx, cy, doffs.
nlohmann::json calibrationJson(const CameraCalibration& calibration);

// What the pair is: layout, name, left, right, label_count (the one a run
// takes unless given another), calibration_file; for a 2014 set also its
// folder and calib.txt's ndisp, width, height, vmin and vmax (null when the
// file states none); for a KITTI frame its split folder and frame id.
nlohmann::json datasetJson(const StereoDataset& dataset);

// The score: {"measures": "middlebury2014" or "kitti", "regions": [...]},
// one object per region in the benchmark's order (2014: nonocc, all;
// KITTI: noc, occ, each only when its truth is there), each with its
// "region", "evaluated" and "unknown" pixels and its measures:
//   2014:  bad_0.5, bad_1, bad_2, bad_4 (%), mean_abs_error, rms, A50, A90,
//          A95, A99 (px; a quantile among the unknown pixels is "inf");
//   KITTI: D1, bad_2, bad_3, bad_4, bad_5 (%), mean_abs_error (px), and the
//          map's density (% known before the fill), also at the top.
// Null without a score.
nlohmann::json benchmarkJson(const BenchmarkScore& score);

}  // namespace orbelt
