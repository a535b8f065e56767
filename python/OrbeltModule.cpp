// The compiled half of the `orbelt` Python package: the run, the cost volume,
// scoring and float maps, over NumPy arrays. python/orbelt/__init__.py wraps
// the run's dictionary into orbelt.Result and documents the calls.
//
// Options arrive as keyword arguments named after the command line's long
// options (`_` for `-`, `lambda_` for the keyword `lambda`, python/PythonNames.h)
// and go straight into the run's StereoOptions; their defaults are the
// library's own, so the two front ends cannot drift apart.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>
#include <string>

#include "eval/DisparityEvaluation.h"
#include "io/ImageFile.h"
#include "io/PfmFile.h"
#include "pipeline/RunStereo.h"
#include "python/ArrayConversion.h"
#include "python/DatasetBindings.h"
#include "python/ModuleErrors.h"
#include "python/ProgressRelay.h"
#include "python/PythonNames.h"
#include "python/PythonValues.h"
#include "report/BatchManifest.h"
#include "report/RunReport.h"

namespace orbelt::python {

namespace {

// Reads the keyword arguments of a call, one option at a time, and refuses
// names the call does not take.
class OptionReader {
 public:
  OptionReader(py::kwargs options, const char* function) : options_(std::move(options)), function_(function) {}

  template <class T>
  void read(const char* name, T& target) {
    known_.insert(name);
    if (!options_.contains(name)) return;
    const py::handle value = options_[name];
    if constexpr (std::is_same_v<T, bool>) {
      if (!py::isinstance<py::bool_>(value)) wrongType(name, value, "True or False");
      target = value.cast<bool>();
    } else if constexpr (std::is_integral_v<T>) {
      if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value)) wrongType(name, value, "an integer");
      const long long number = value.cast<long long>();
      if (number < std::numeric_limits<T>::min() || number > std::numeric_limits<T>::max()) {
        raiseValueError(std::string(name) + " is " + std::to_string(number) + "; it does not fit in 32 bits");
      }
      target = static_cast<T>(number);
    } else if constexpr (std::is_floating_point_v<T>) {
      if (!(py::isinstance<py::float_>(value) || py::isinstance<py::int_>(value)) || py::isinstance<py::bool_>(value)) {
        wrongType(name, value, "a number");
      }
      target = static_cast<T>(value.cast<double>());
    } else {
      if (!py::isinstance<py::str>(value)) wrongType(name, value, "a string");
      target = value.cast<std::string>();
    }
  }

  // The raw value of an option with its own rules (None when not given).
  py::object take(const char* name) {
    known_.insert(name);
    return options_.contains(name) ? py::reinterpret_borrow<py::object>(options_[name]) : py::none();
  }

  // Every name given must have been read.
  void refuseUnknown() const {
    for (const auto& item : options_) {
      const std::string name = py::str(item.first);
      if (!known_.count(name)) {
        std::string list;
        for (const std::string& k : known_) list += (list.empty() ? "" : ", ") + k;
        raiseTypeError(std::string(function_) + "() got an unexpected option '" + name + "'; it takes " + list);
      }
    }
  }

 private:
  [[noreturn]] void wrongType(const char* name, py::handle value, const char* expected) const {
    raiseTypeError(std::string(name) + " must be " + expected + ", not " +
                   std::string(py::str(py::type::handle_of(value).attr("__name__"))));
  }

  py::kwargs options_;
  const char* function_;
  std::set<std::string> known_;
};

// The matcher's options, shared by compute() and cost_volume(), straight
// into the run's options. A given log_chrom_weight sets the cost blend that
// color_mode otherwise picks; the ranges are the options' own rules.
void readMatcherOptions(OptionReader& reader, StereoOptions& options) {
  const StereoFieldNames& names = kPythonFieldNames;
  MatcherOptions& matcher = options.matcher;
  reader.read(names.matcher.halfWinSize, matcher.halfWinSize);
  reader.read(names.matcher.colorSigma, matcher.colorSigma);
  reader.read(names.matcher.spatialSigma, matcher.spatialSigma);
  reader.read(names.matcher.baseDisparity, matcher.baseDisparity);
  reader.read(names.matcher.disparityRange, matcher.disparityRange);
  std::string colorMode = "logchrom";
  reader.read("color_mode", colorMode);
  const Expected<float> modeWeight = logChromWeightOfMode(colorMode, "color_mode");
  if (!modeWeight) raise(modeWeight.error());
  matcher.logChromWeight = *modeWeight;
  if (!reader.take(names.matcher.logChromWeight).is_none()) {
    double weight = 0;
    reader.read(names.matcher.logChromWeight, weight);
    matcher.logChromWeight = static_cast<float>(weight);
  }
  int threads = 0;
  reader.read(names.matcher.threadCount, threads);
  options.useThreads(threads);
}

// The smoothness term and the label orders. Lambda is taken per unit of
// correlation, as the command line takes it.
void readOptimizerOptions(OptionReader& reader, OptimizerOptions& optimizer) {
  const StereoFieldNames& names = kPythonFieldNames;
  reader.read("smooth_exponent", optimizer.smoothExponent);
  int smoothMax = static_cast<int>(optimizer.smoothMax);
  reader.read(names.optimizer.smoothMax, smoothMax);
  optimizer.smoothMax = static_cast<float>(smoothMax);
  float lambda = kDefaultLambda;
  reader.read(names.optimizer.lambda, lambda);
  optimizer.lambda = smoothnessWeightOf(lambda);
  const py::object seed = reader.take("seed");
  if (seed.is_none()) return;
  if (!py::isinstance<py::int_>(seed) || py::isinstance<py::bool_>(seed)) {
    raiseTypeError("seed must be an integer or None");
  }
  const long long value = seed.cast<long long>();
  if (value < 0 || value > 0xFFFFFFFFLL) {
    raiseValueError("seed is " + std::to_string(value) + "; it must be 0 .. 4294967295");
  }
  optimizer.seed = static_cast<std::uint32_t>(value);
}

// lr_check: False/None (off), True (threshold 1 px, as the command line's
// bare --lr-check), or a threshold in pixels; fill: True/False; median: a
// radius or None. Their values are judged by the run's check.
void readRefinement(OptionReader& reader, StereoOptions& options) {
  const StereoFieldNames& names = kPythonFieldNames;
  const py::object value = reader.take(names.leftRightThreshold);
  if (py::isinstance<py::bool_>(value)) {
    if (value.cast<bool>()) options.leftRightThreshold = 1.0;
  } else if (!value.is_none()) {
    if (!(py::isinstance<py::float_>(value) || py::isinstance<py::int_>(value))) {
      raiseTypeError("lr_check must be True, False or a threshold in pixels");
    }
    options.leftRightThreshold = value.cast<double>();
  }
  reader.read(names.fill, options.fill);
  const py::object median = reader.take(names.medianRadius);
  if (!median.is_none()) {
    int radius = 0;
    reader.read(names.medianRadius, radius);
    options.medianRadius = radius;
  }
}

// The call's progress: the callable, and whether it takes the details as a
// fourth argument.
struct ProgressCallable {
  py::object callable;
  bool details = false;
};

// The pair and the call's progress: the last options both runs read
// (`rgb`, `progress`, `progress_details`), then the check that no other
// option was given, then the two images, into the request.
ProgressCallable readPair(OptionReader& reader, py::handle left, py::handle right, StereoRequest& request) {
  bool rgb = false;
  reader.read("rgb", rgb);
  ProgressCallable progress{reader.take("progress")};
  reader.read("progress_details", progress.details);
  reader.refuseUnknown();
  if (!progress.callable.is_none() && !PyCallable_Check(progress.callable.ptr())) {
    raiseTypeError("progress must be callable or None");
  }
  request.left = colourImage(left, "left", rgb);
  request.right = colourImage(right, "right", rgb);
  request.fieldNames = kPythonFieldNames;
  return progress;
}

const char* stageName(StereoView view, ProgressStage stage) {
  if (stage == ProgressStage::CostVolume) return view == StereoView::Left ? "cost_volume" : "right_cost_volume";
  return view == StereoView::Left ? "optimize" : "right_optimize";
}

// The run's progress as the callable hears it: (stage, done, total) with
// stage "cost_volume", "optimize", "right_cost_volume" or "right_optimize",
// after every row and every pass. With details, also after every move, and
// each call with the details (ProgressRelay).
StereoProgress progressFor(ProgressRelay& relay, bool details) {
  StereoProgress progress;
  if (!relay.active()) return progress;
  if (details) {
    return estimatedProgress(
        [&relay](const ProgressReport& r) { relay.report(stageName(r.view, r.stage), r.done, r.total, &r); });
  }
  progress.onRow = [&relay](StereoView view, int done, int height) {
    relay.report(stageName(view, ProgressStage::CostVolume), done, height);
  };
  progress.onPass = [&relay](StereoView view, int pass, double, double) {
    relay.report(stageName(view, ProgressStage::Optimizer), pass, kOptimizerPasses);
  };
  return progress;
}

// Runs the request with the interpreter lock released, reporting to the
// callable; raises the callable's exception, or the run's Error.
StereoResult runUnlocked(StereoRequest& request, const ProgressCallable& progress) {
  ProgressRelay relay(progress.callable);
  request.progress = progressFor(relay, progress.details);
  std::optional<Expected<StereoResult>> outcome;
  {
    py::gil_scoped_release unlocked;
    outcome.emplace(runStereo(request));
  }
  relay.raiseIfFailed();
  if (!*outcome) raise(outcome->error());
  return std::move(**outcome);
}

// The seconds of each stage that ran.
py::dict secondsOf(const StereoResult& run, const StereoOptions& options) {
  py::dict seconds = fromJson(stageSeconds(run.left));
  if (options.leftRightThreshold) seconds["lr_check"] = run.leftRightSeconds;
  if (options.subpixel) seconds["subpixel"] = run.subpixelSeconds;
  if (options.fill) seconds["fill"] = run.fillSeconds;
  if (options.medianRadius) seconds["median"] = run.medianSeconds;
  return seconds;
}

py::dict compute(py::handle left, py::handle right, py::kwargs kwargs) {
  OptionReader reader(std::move(kwargs), "compute");
  StereoRequest request;
  StereoOptions& options = request.options;
  readMatcherOptions(reader, options);
  readOptimizerOptions(reader, options.optimizer);
  reader.read("subpixel", options.subpixel);
  readRefinement(reader, options);
  reader.read("return_cost", options.keepCosts);
  const ProgressCallable progress = readPair(reader, left, right, request);
  StereoResult run = runUnlocked(request, progress);
  const int height = run.height, width = run.width;
  // Unknown is NaN in NumPy's world; the map files keep +inf.
  run.disparity.forEach<float>([](float& d, const int*) {
    if (!std::isfinite(d)) d = std::numeric_limits<float>::quiet_NaN();
  });
  py::dict result;
  result["disparity"] = toArray(run.disparity);
  result["labels"] = toArray(run.left.labels, height, width);
  result["energies"] = run.left.passEnergies;
  result["flow_recycling"] = run.left.flowRecycling;
  result["kept_flow_labels"] = run.left.keptFlowLabels;
  result["seconds"] = secondsOf(run, options);
  result["confidence"] =
      options.leftRightThreshold ? py::object(toBoolArray(run.consistent, height, width)) : py::none();
  result["cost"] = options.keepCosts
                       ? py::object(toArray(run.left.costs, height, width, options.matcher.disparityRange))
                       : py::none();
  return result;
}

// The matcher's costs through the same route as a run, stopped after them.
py::array_t<float> costVolume(py::handle left, py::handle right, py::kwargs kwargs) {
  OptionReader reader(std::move(kwargs), "cost_volume");
  StereoRequest request;
  readMatcherOptions(reader, request.options);
  request.options.costsOnly = true;
  const ProgressCallable progress = readPair(reader, left, right, request);
  const StereoResult run = runUnlocked(request, progress);
  return toArray(run.left.costs, run.height, run.width, request.options.matcher.disparityRange);
}

py::dict evaluate(py::handle disparity, py::handle truth, py::handle mask, double scale) {
  const cv::Mat result = floatMap(disparity, "disparity");
  const cv::Mat truthImage = truthMap(truth, "truth");
  const cv::Mat maskMat = mask.is_none() ? cv::Mat() : maskImage(mask, "mask");
  if (!(scale > 0) || !std::isfinite(scale)) raiseValueError("scale must be a positive number of values per pixel");
  const Expected<DisparityScore> scored = evaluateDisparity(result, truthImage, maskMat, {scale, 0, 1.0});
  if (!scored) raise(scored.error());
  return fromJson(scoreJson(*scored));
}

py::array_t<float> readPfmFile(py::handle path) {
  const std::string file = pathText(path);
  std::optional<Expected<cv::Mat>> read;
  {
    py::gil_scoped_release unlocked;
    read.emplace(readPfm(file));
  }
  if (!*read) raise(ioFailure(read->error().message));
  cv::Mat map = std::move(**read);
  map.forEach<float>([](float& d, const int*) {
    if (!std::isfinite(d)) d = std::numeric_limits<float>::quiet_NaN();
  });
  return toArray(map);
}

void writePfmFile(py::handle path, py::handle array) {
  const std::string file = pathText(path);
  cv::Mat map = floatMap(array, "map");
  map.forEach<float>([](float& d, const int*) {
    if (std::isnan(d)) d = std::numeric_limits<float>::infinity();
  });
  std::optional<Status> written;
  {
    py::gil_scoped_release unlocked;
    written.emplace(writePfm(file, map));
  }
  if (!*written) raise(ioFailure(written->error().message));
}

// An image file as stored (8 or 16 bits, any channel count), blue-green-red.
py::array readImage(py::handle path) {
  const std::string file = pathText(path);
  std::optional<Expected<cv::Mat>> read;
  {
    py::gil_scoped_release unlocked;
    read.emplace(loadInputImage(file, "input"));
  }
  if (!*read) raise(ioFailure(read->error().message));
  const cv::Mat image = std::move(**read);
  const py::dtype type = image.depth() == CV_8U    ? py::dtype::of<std::uint8_t>()
                         : image.depth() == CV_16U ? py::dtype::of<std::uint16_t>()
                         : image.depth() == CV_32F ? py::dtype::of<float>()
                                                   : py::dtype();
  if (type.is_none()) raise(invalidInput("The image \"" + file + "\" has a pixel type the module does not read"));
  std::vector<py::ssize_t> shape = {image.rows, image.cols};
  if (image.channels() > 1) shape.push_back(image.channels());
  py::array out(type, shape);
  const std::size_t rowBytes = image.cols * image.elemSize();
  for (int y = 0; y < image.rows; ++y) {
    std::memcpy(static_cast<char*>(out.mutable_data()) + y * rowBytes, image.ptr(y), rowBytes);
  }
  return out;
}

// Writes an 8- or 16-bit image (2-D grey or H x W x 3/4, blue-green-red)
// through a temporary file and a rename; the extension picks the format.
void writeImage(py::handle path, py::handle object) {
  const std::string file = pathText(path);
  const cv::Mat image = storableImage(object, "image");
  std::optional<Status> written;
  {
    py::gil_scoped_release unlocked;
    written.emplace(saveImageAtomically(file, image));
  }
  if (!*written) raise(ioFailure(written->error().message));
}

// A batch's pairs, read by the command line's own rules: one dict per pair
// with its name, the arguments of its orbelt-cli run and the mask scored.
py::list pairList(const Expected<std::vector<BatchPair>>& pairs) {
  if (!pairs) raise(invalidInput(pairs.error().message));
  py::list out;
  for (const BatchPair& pair : *pairs) {
    py::dict entry;
    entry["name"] = pair.name;
    entry["args"] = pair.args;
    entry["mask"] = pair.mask;
    out.append(entry);
  }
  return out;
}

// The pairs of a batch manifest.
py::list batchManifest(const std::string& path, const std::string& outFolder) {
  return pairList(readBatchManifest(path, outFolder));
}

// The pairs of a dataset folder, as orbelt-cli batch --dataset makes them.
py::list batchDataset(const std::string& root, const std::string& outFolder, const std::vector<std::string>& options,
                      const std::string& submit) {
  return pairList(readDatasetBatch(root, outFolder, options, submit));
}

// The command line's summary table from (status, run summary text) per pair.
std::string batchSummaryText(const py::list& pairs, const py::list& outcomes, bool json,
                             const std::string& manifestPath, const std::string& shard) {
  std::vector<BatchPair> batchPairs;
  std::vector<BatchOutcome> batchOutcomes;
  for (const py::handle entry : pairs) {
    BatchPair pair;
    pair.name = entry["name"].cast<std::string>();
    pair.mask = entry["mask"].cast<std::string>();
    batchPairs.push_back(std::move(pair));
  }
  for (const py::handle entry : outcomes) {
    const auto [status, text] = entry.cast<std::pair<int, std::string>>();
    batchOutcomes.push_back({status, text});
  }
  return batchSummary(batchPairs, batchOutcomes, json, manifestPath, shard);
}

}  // namespace

}  // namespace orbelt::python

PYBIND11_MODULE(_orbelt, module) {
  using namespace orbelt;
  using namespace orbelt::python;
  module.doc() = "Compiled core of the orbelt package; use the functions of `orbelt` itself.";
  module.def("compute", &compute, py::arg("left"), py::arg("right"),
             "Runs the pipeline on a pair; returns a dict of the result's fields (see orbelt.compute).");
  module.def("cost_volume", &costVolume, py::arg("left"), py::arg("right"),
             "The matcher's costs of a pair, (height, width, labels) float32 (see orbelt.cost_volume).");
  module.def("evaluate", &evaluate, py::arg("disparity"), py::arg("truth"), py::arg("mask") = py::none(), py::kw_only(),
             py::arg("scale") = 1.0, "Scores a map against ground truth (see orbelt.evaluate).");
  module.def("read_pfm", &readPfmFile, py::arg("path"), "Reads a .pfm float map; NaN where it is not finite.");
  module.def("write_pfm", &writePfmFile, py::arg("path"), py::arg("map"),
             "Writes a 2-D float map as .pfm, atomically; NaN is stored as +inf.");
  module.def("read_image", &readImage, py::arg("path"),
             "Reads an image file as stored: (H, W) or (H, W, channels), blue-green-red.");
  module.def("write_image", &writeImage, py::arg("path"), py::arg("image"),
             "Writes a uint8/uint16 image (grey, or blue-green-red) atomically; the extension picks the format.");
  module.def("batch_manifest", &batchManifest, py::arg("path"), py::arg("out_folder"),
             "The pairs of a batch manifest as orbelt-cli batch reads them (for orbelt.batch).");
  module.def("batch_dataset", &batchDataset, py::arg("root"), py::arg("out_folder"), py::arg("options"),
             py::arg("submit"), "The pairs of a dataset folder as orbelt-cli batch --dataset makes them.");
  module.def("batch_summary", &batchSummaryText, py::arg("pairs"), py::arg("outcomes"), py::arg("json"),
             py::arg("manifest"), py::arg("shard"),
             "The summary table orbelt-cli batch writes, from (status, run summary) per pair.");
  defineDatasetFunctions(module);
  module.attr("defaults") = [] {
    const StereoOptions options;
    const MatcherOptions& matcher = options.matcher;
    py::dict d;
    d["half_win_size"] = matcher.halfWinSize;
    d["sigma_s"] = matcher.colorSigma;
    d["sigma_p"] = matcher.spatialSigma;
    d["base_disparity"] = matcher.baseDisparity;
    d["disparity_range"] = matcher.disparityRange;
    d["smooth_exponent"] = options.optimizer.smoothExponent;
    d["smooth_max"] = static_cast<int>(options.optimizer.smoothMax);
    d["lambda_"] = kDefaultLambda;
    d["color_mode"] = "logchrom";
    d["log_chrom_weight"] = py::none();
    d["seed"] = py::none();
    d["threads"] = matcher.threadCount;
    d["subpixel"] = options.subpixel;
    d["lr_check"] = false;
    d["fill"] = options.fill;
    d["median"] = py::none();
    return d;
  }();
}
