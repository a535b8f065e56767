#pragma once
// A run's results in the layout the Middlebury 2014 benchmark takes as a
// submission: a tree that mirrors the sets' folders (trainingQ/Adirondack/,
// ...), each holding disp0NAME.pfm (the left view's disparities, inf =
// unknown) and timeNAME.txt (the run's seconds as one decimal number on one
// line), NAME being the method's name. Zipped, the tree is the upload.
#include <string>

#include <opencv2/core.hpp>

#include "platform/Expected.h"

namespace orbelt {

// Where the results of the set in `setFolder` go: `outputRoot` followed by
// the set's path below `datasetRoot` (the output root itself when the set is
// the root). Fails with InvalidInput when the set does not lie below
// `datasetRoot`.
Expected<std::string> submissionFolder(const std::string& outputRoot, const std::string& datasetRoot,
                                       const std::string& setFolder);

// InvalidInput unless `method` is one or more letters, digits, '_' and '-'
// (it becomes part of file names); the message names it.
Status checkSubmissionMethod(const std::string& method);

// Writes `folder`/disp0<method>.pfm and `folder`/time<method>.txt (seconds
// with three decimals, e.g. "12.345\n"), each atomically, making `folder`
// and its parents when missing. Fails with InvalidInput when `method` is
// empty or holds anything but letters, digits, '_' and '-' (it becomes part
// of file names), `seconds` is negative or not finite, or the map is not a
// float map; with IoFailure when a folder or file cannot be written. The
// inputs are checked before anything is written.
Status writeMiddlebury2014Submission(const std::string& folder, const std::string& method, const cv::Mat& disparity,
                                     double seconds);

}  // namespace orbelt
