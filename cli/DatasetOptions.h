#pragma once
// The main command's benchmark options: a dataset folder the pair, its label
// count and its truth come from (--dataset, --frame, or a folder given as
// the only image), the calibration depth and point clouds need (--calib, or
// --focal --baseline --cx --cy [--doffs], else the dataset's), and the
// Middlebury 2014 submission layout (--submit, --submit-dir). Everything is
// judged and read before any work, so a refusal writes nothing.
#include "cli/ComputeRequest.h"
#include "platform/Expected.h"

namespace orbelt {

// Declares the options on `app`, bound to `request`.
void declareDatasetOptions(CLI::App& app, ComputeRequest& request);

// After parsing: opens the dataset and takes its views, its label count
// (unless --disparity-range was given), its benchmark truth (an older set's
// truth and nonocc mask as the run's --ground-truth, unless one was given)
// and its calibration (unless one was given); resolves the calibration and
// the submission's folder. Fails with InvalidInput naming what is wrong: a
// folder that is no dataset or whose files cannot be used, a dataset beside
// explicit images, --frame without a dataset, incomplete or refused
// calibration values, --calib beside them, --submit without a 2014 set or
// with a bad name or folder.
Status resolveDatasetOptions(const ComputeWords& words, ComputeRequest& request);

// After the images are read: the benchmark truth must have the left view's
// size, and with --depth or --ply a calib.txt that states an image size must
// state the left view's (its focal length and principal point are in that
// size's pixels). InvalidInput otherwise.
Status checkDatasetSizes(const ComputeRequest& request);

}  // namespace orbelt
