#include "cli/DatasetOptions.h"

#include <filesystem>

#include <CLI/CLI.hpp>

#include "cli/CliNames.h"
#include "cli/OutputPlan.h"
#include "eval/Middlebury2014Submission.h"
#include "io/CalibrationFiles.h"

namespace orbelt {

namespace fs = std::filesystem;

namespace {

// The dataset folder: --dataset, or a folder given as the only image.
Status datasetPath(const ComputeWords& words, ComputeRequest& r) {
  DatasetRequest& asked = r.dataset;
  const bool leftGiven = words.leftOption->count() > 0, rightGiven = words.rightOption->count() > 0;
  if (!asked.path.empty() && (leftGiven || rightGiven)) {
    return usageError("--dataset \"" + asked.path + "\" brings both views; leave out the images (\"" +
                      (leftGiven ? r.leftPath : r.rightPath) + "\")");
  }
  std::error_code ec;
  if (asked.path.empty() && leftGiven && !rightGiven && fs::is_directory(r.leftPath, ec)) asked.path = r.leftPath;
  if (asked.path.empty() && !asked.frame.empty()) {
    return usageError(std::string(kCliFrameOption) + " picks a frame of a KITTI folder: give the folder too");
  }
  return {};
}

// An older set is scored as --ground-truth with its nonocc mask (else all)
// would score it, unless a truth was given.
void takeOlderTruth(const MiddleburySet& set, ScoreRequest& score) {
  if (!score.truthPath.empty()) return;
  score.truthPath = set.truth;
  score.truthScale = set.truthScale;
  if (score.maskPath.empty()) score.maskPath = !set.nonocc.empty() ? set.nonocc : set.all;
}

Status openDataset(const ComputeWords& words, ComputeRequest& r) {
  DatasetRequest& asked = r.dataset;
  Expected<StereoDataset> opened = openStereoDataset(asked.path, asked.frame, kCliFrameOption);
  if (!opened) return usageError(opened.error().message);
  const StereoDataset& dataset = *opened;
  r.leftPath = dataset.left;
  r.rightPath = dataset.right;
  if (words.rangeOption->count() == 0) r.stereo.options.matcher.disparityRange = dataset.labelCount;
  Expected<BenchmarkTruth> truth = readBenchmarkTruth(dataset);
  if (!truth) return usageError(truth.error().message);
  asked.truth = std::move(*truth);
  if (const auto* older = std::get_if<MiddleburySet>(&dataset.source)) takeOlderTruth(*older, r.score);
  if (dataset.calibration) {
    r.calibration.camera = dataset.calibration;
    r.calibration.source = dataset.calibrationFile;
    if (const auto* set = std::get_if<Middlebury2014Set>(&dataset.source)) {
      r.calibration.statedWidth = set->calibration.width;
      r.calibration.statedHeight = set->calibration.height;
    }
  }
  asked.dataset = std::move(*opened);
  return {};
}

// Typed values win over --calib's file, which wins over the dataset's.
Status resolveCalibration(CalibrationRequest& c) {
  const CalibrationFieldNames& names = kCliCalibrationNames;
  const bool anyTyped = c.focal || c.baseline || c.cx || c.cy || c.doffs;
  if (anyTyped && !c.file.empty()) {
    return usageError("--calib \"" + c.file + "\" and the calibration's values were both given; give one of them");
  }
  if (anyTyped) {
    std::string missing;
    for (const auto& [value, name] : {std::pair{&c.focal, names.focal}, std::pair{&c.baseline, names.baseline},
                                      std::pair{&c.cx, names.cx}, std::pair{&c.cy, names.cy}}) {
      if (!*value) missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    if (!missing.empty()) {
      return usageError("The calibration needs " + std::string(names.focal) + ", " + names.baseline + ", " + names.cx +
                        " and " + names.cy + " (" + names.doffs + " is 0 unless given); " + missing +
                        (missing.find(',') == std::string::npos ? " is" : " are") + " missing");
    }
    const CameraCalibration typed{*c.focal, *c.baseline, *c.cx, *c.cy, c.doffs.value_or(0.0)};
    if (Status checked = typed.check(names); !checked) return usageError(checked.error().message);
    c.camera = typed;
    c.source = "command line";
    c.statedWidth = c.statedHeight = 0;
    return {};
  }
  if (c.file.empty()) return {};
  Expected<CalibrationFile> read = readCalibrationFile(c.file);
  if (!read) return usageError(read.error().message);
  c.camera = read->camera;
  c.source = c.file;
  c.statedWidth = read->middlebury ? read->middlebury->width : 0;
  c.statedHeight = read->middlebury ? read->middlebury->height : 0;
  return {};
}

Status resolveSubmission(const DatasetRequest& dataset, SubmitRequest& submit) {
  if (submit.method.empty()) return {};
  if (!dataset.dataset || !std::holds_alternative<Middlebury2014Set>(dataset.dataset->source)) {
    return usageError("--submit writes the Middlebury 2014 submission layout: give a 2014 set with --dataset" +
                      std::string(dataset.dataset
                                      ? " (\"" + dataset.path + "\" is a " + layoutName(*dataset.dataset) + " dataset)"
                                      : ""));
  }
  if (Status name = checkSubmissionMethod(submit.method); !name) return usageError("--submit: " + name.error().message);
  submit.folder = (fs::path(submit.root) / dataset.dataset->name).string();
  return {};
}

}  // namespace

void declareDatasetOptions(CLI::App& app, ComputeRequest& r) {
  const CalibrationFieldNames& names = kCliCalibrationNames;
  app.add_option("--dataset", r.dataset.path,
                 "A benchmark folder to take the pair from: a Middlebury 2014/2021 set (ndisp labels), a 2001-2005 "
                 "set (its labels; scored against its truth), or KITTI frames (192 labels; pick one with --frame)")
      ->type_name("DIR");
  app.add_option(kCliFrameOption, r.dataset.frame,
                 "The KITTI frame of --dataset: 000123, 000123_10, or training/000123 when the folder holds splits")
      ->type_name("ID");
  app.add_option("--calib", r.calibration.file,
                 "Calibration for --depth and --ply: a Middlebury calib.txt or a KITTI calib_cam_to_cam.txt "
                 "(default: the dataset's)")
      ->type_name("FILE");
  app.add_option(names.focal, r.calibration.focal, "Calibration by value: focal length, pixels")->type_name("F");
  app.add_option(names.baseline, r.calibration.baseline,
                 "Calibration by value: baseline; depth and points come out in its unit")
      ->type_name("B");
  app.add_option(names.cx, r.calibration.cx, "Calibration by value: left view's principal point column, pixels")
      ->type_name("X");
  app.add_option(names.cy, r.calibration.cy, "Calibration by value: principal point row, pixels")->type_name("Y");
  app.add_option(names.doffs, r.calibration.doffs,
                 "Calibration by value: right minus left principal point column, pixels (default 0)")
      ->type_name("D");
  app.add_option("--submit", r.submit.method,
                 "With a Middlebury 2014 set: also write disp0NAME.pfm and timeNAME.txt (the run's seconds) into "
                 "SUBMIT_DIR/<set name>/")
      ->type_name("NAME");
  app.add_option("--submit-dir", r.submit.root, "Where --submit makes the set's folder")
      ->type_name("SUBMIT_DIR")
      ->capture_default_str();
}

Status resolveDatasetOptions(const ComputeWords& words, ComputeRequest& r) {
  if (Status path = datasetPath(words, r); !path) return path;
  if (!r.dataset.path.empty()) {
    if (Status opened = openDataset(words, r); !opened) return opened;
  }
  if (Status calibration = resolveCalibration(r.calibration); !calibration) return calibration;
  return resolveSubmission(r.dataset, r.submit);
}

Status checkDatasetSizes(const ComputeRequest& r) {
  const cv::Size image = r.stereo.left.size();
  const cv::Size truth = truthSize(r.dataset.truth);
  const auto sizeText = [](cv::Size s) { return std::to_string(s.width) + " x " + std::to_string(s.height); };
  if (!truth.empty() && truth != image) {
    return usageError("The truth of the dataset \"" + r.dataset.path + "\" is " + sizeText(truth) +
                      " but its left view is " + sizeText(image));
  }
  const CalibrationRequest& c = r.calibration;
  const bool geometry = !r.outputs.depth.empty() || !r.outputs.ply.empty();
  if (geometry && c.statedWidth > 0 && c.statedHeight > 0 && cv::Size(c.statedWidth, c.statedHeight) != image) {
    return usageError("The calibration \"" + c.source + "\" states an image of " +
                      sizeText({c.statedWidth, c.statedHeight}) + " but the left view is " + sizeText(image) +
                      ": its focal length and principal point would not fit, so --depth and --ply cannot use it");
  }
  return {};
}

}  // namespace orbelt
