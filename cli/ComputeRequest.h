#pragma once
// What the main command was asked, judged and loaded before any work, so a
// refusal costs no time, prints nothing else and touches no file.
//
// Three steps, each apart: declareComputeOptions() binds every flag to the
// field it sets (the run's straight into StereoOptions, named by
// kCliFieldNames); interpretComputeWords() turns what the parser could not
// (an optional value, the order of two options, units) into the request,
// opens the dataset and calibration asked for (cli/DatasetOptions.h) and
// judges the outputs; loadComputeInputs() reads the files and has the run's
// own checks judge the pair and the options.
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "eval/BenchmarkScore.h"
#include "eval/StereoDataset.h"
#include "io/RunPaths.h"
#include "pipeline/RunStereo.h"
#include "platform/Expected.h"

// The parser is named only: its header costs seconds in every file that reads
// it, and only the files that declare or parse options need it.
namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace orbelt {

// The files the command is asked to write; an empty path is an output not
// asked for. The display map is the dialog's 8-bit grey map.
struct RequestedOutputs {
  std::string displayMap;  // empty with --no-map
  int displayLevel = 3;    // grey multiplier of the display map (low 8 bits act)
  std::string pfm, png16, color, confidence, cost, depth, ply, json;
};

// A benchmark folder the pair, its label count and its truth come from.
struct DatasetRequest {
  std::string path;                      // --dataset, or a folder given as the only image; empty: none
  std::string frame;                     // --frame: which KITTI frame of the folder
  std::optional<StereoDataset> dataset;  // the pair, once opened
  BenchmarkTruth truth;                  // its benchmark's truth, read before the run (none for older sets)
};

// The calibration depth and point clouds take: typed values, else --calib's
// file, else the dataset's.
struct CalibrationRequest {
  std::string file;                                      // --calib FILE (a calib.txt or a KITTI file)
  std::optional<double> focal, baseline, cx, cy, doffs;  // --focal, --baseline, --cx, --cy, --doffs
  std::optional<CameraCalibration> camera;               // the one in force, once resolved
  std::string source;                                    // its file, or "command line"
  int statedWidth = 0, statedHeight = 0;                 // the image size its calib.txt states; 0 when none
};

// --submit: the map and the run's seconds in the Middlebury 2014 layout.
struct SubmitRequest {
  std::string method;               // --submit NAME; empty: no submission
  std::string root = "submission";  // --submit-dir: the set's own folder is made in it
  std::string folder;               // root/<set name>, once resolved
};

// What the score against a ground truth needs; empty paths when not asked.
struct ScoreRequest {
  std::string truthPath, maskPath;
  double truthScale = 1.0;
  float badThreshold = 1.0f;
  cv::Mat truth, mask;  // read before the run, so a bad file costs no time
};

// The words the user typed where the options keep a value made from them;
// the header line and the run summary repeat them as typed.
struct TypedWords {
  std::string colorMode = "logchrom";  // the --color-mode word
  bool weightWins = false;             // --log-chrom-weight came after --color-mode
  float lambda = kDefaultLambda;       // --lambda, before the x30 (smoothnessWeightOf)
  int smoothMax = 5;                   // --smooth-max, an integer on the command line
};

struct ComputeRequest {
  std::string leftPath = kDefaultRefPath;
  std::string rightPath = kDefaultTargetPath;
  StereoRequest stereo;  // the run: the pair, its options and names; judged by checkStereoRequest
  TypedWords typed;
  bool quiet = false;
  RequestedOutputs outputs;
  ScoreRequest score;
  DatasetRequest dataset;
  CalibrationRequest calibration;
  SubmitRequest submit;

  int width() const { return stereo.left.cols; }
  int height() const { return stereo.left.rows; }
};

// What the parser fills that is not yet the request: texts it cannot judge
// alone and the options whose order matters.
struct ComputeWords {
  std::string outputPath;
  bool noMap = false;
  std::string lrText;
  std::string weightText;
  CLI::Option* leftOption = nullptr;
  CLI::Option* rightOption = nullptr;
  CLI::Option* rangeOption = nullptr;
  CLI::Option* lrOption = nullptr;
  CLI::Option* colorModeOption = nullptr;
  CLI::Option* weightOption = nullptr;
};

// A refusal of the command's words, as the command prints every one (its
// own line).
Error usageError(const std::string& message);

// Declares every option of the main command on `app`, bound to `request`
// and `words`.
void declareComputeOptions(CLI::App& app, ComputeRequest& request, ComputeWords& words);

// After parsing: the optional left-right threshold, the blend and colour
// mode in the order given, the smoothness units, the dataset, calibration
// and submission, the outputs. Fails with InvalidInput (a threshold that is
// not a number, a blend that is not one, a dataset or calibration that
// cannot be used, an output combination or path that cannot be written).
Status interpretComputeWords(const CLI::App& app, const ComputeWords& words, ComputeRequest& request);

// Reads the ground truth, the mask and the pair, then judges them with the
// run's own checks (checkStereoRequest: colour, sizes, options, memory).
// Fails with the first Error.
Status loadComputeInputs(ComputeRequest& request);

}  // namespace orbelt
