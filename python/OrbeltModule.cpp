// The compiled half of the `orbelt` Python package: the run, the cost volume,
// scoring and float maps, over NumPy arrays. python/orbelt/__init__.py wraps
// the run's dictionary into orbelt.Result and documents the calls.
//
// Options arrive as keyword arguments named after the command line's long
// options (`_` for `-`, `lambda_` for the keyword `lambda`); their defaults
// are the library's own, so the two front ends cannot drift apart.
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

#include "cli/BatchCommand.h"
#include "eval/DisparityEvaluation.h"
#include "pipeline/DisparityPipeline.h"
#include "io/ImageFile.h"
#include "io/PfmFile.h"
#include "python/ArrayConversion.h"
#include "python/ModuleErrors.h"
#include "python/ProgressRelay.h"
#include "python/StereoCall.h"

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

// The matcher's options, shared by compute() and cost_volume(). A given
// log_chrom_weight (0..1) sets the cost blend that color_mode otherwise picks.
void readMatcherOptions(OptionReader& reader, StereoParams& params, std::optional<float>& logChromWeight,
                        int& threads) {
  reader.read("half_win_size", params.halfWinSize);
  reader.read("sigma_s", params.sigmaS);
  reader.read("sigma_p", params.sigmaP);
  reader.read("base_disparity", params.baseDisparity);
  reader.read("disparity_range", params.disparityRange);
  std::string colorMode = params.colorMode == ColorMode::Rgb ? "rgb" : "logchrom";
  reader.read("color_mode", colorMode);
  if (colorMode != "logchrom" && colorMode != "rgb") {
    raiseValueError("color_mode is \"" + colorMode + "\"; it must be \"logchrom\" or \"rgb\"");
  }
  params.colorMode = colorMode == "rgb" ? ColorMode::Rgb : ColorMode::LogChrom;
  if (!reader.take("log_chrom_weight").is_none()) {
    double weight = 0;
    reader.read("log_chrom_weight", weight);
    if (!(weight >= 0.0 && weight <= 1.0)) {
      raiseValueError("log_chrom_weight " + std::string(py::str(py::float_(weight))) +
                      ": the weight must be from 0 to 1 (0: colour values only, 1: log-chromaticity only)");
    }
    logChromWeight = static_cast<float>(weight);
  }
  reader.read("threads", threads);
}

std::optional<std::uint32_t> readSeed(OptionReader& reader) {
  const py::object seed = reader.take("seed");
  if (seed.is_none()) return std::nullopt;
  if (!py::isinstance<py::int_>(seed) || py::isinstance<py::bool_>(seed)) {
    raiseTypeError("seed must be an integer or None");
  }
  const long long value = seed.cast<long long>();
  if (value < 0 || value > 0xFFFFFFFFLL) {
    raiseValueError("seed is " + std::to_string(value) + "; it must be 0 .. 4294967295");
  }
  return static_cast<std::uint32_t>(value);
}

// lr_check: False/None (off), True (threshold 1 px, as the command line's
// bare --lr-check), or a threshold in pixels; fill: True/False; median: a
// radius or None. Their values are judged by RefinementOptions::check().
RefinementOptions readRefinement(OptionReader& reader) {
  RefinementOptions refinement;
  const py::object value = reader.take("lr_check");
  if (py::isinstance<py::bool_>(value)) {
    refinement.lrCheck = value.cast<bool>();
  } else if (!value.is_none()) {
    if (!(py::isinstance<py::float_>(value) || py::isinstance<py::int_>(value))) {
      raiseTypeError("lr_check must be True, False or a threshold in pixels");
    }
    refinement.lrCheck = true;
    refinement.lrThreshold = value.cast<double>();
  }
  reader.read("fill", refinement.fill);
  const py::object median = reader.take("median");
  if (!median.is_none()) {
    int radius = 0;
    reader.read("median", radius);
    refinement.medianRadius = radius;
  }
  return refinement;
}

// The pair and the call's progress: the last options both runs read
// (`rgb`, `progress`), then the check that no other option was given, then
// the two images.
struct PairCall {
  cv::Mat left, right;
  py::object progress;
};

PairCall readPair(OptionReader& reader, py::handle left, py::handle right) {
  bool rgb = false;
  reader.read("rgb", rgb);
  PairCall call{{}, {}, reader.take("progress")};
  reader.refuseUnknown();
  if (!call.progress.is_none() && !PyCallable_Check(call.progress.ptr())) {
    raiseTypeError("progress must be callable or None");
  }
  call.left = colourImage(left, "left", rgb);
  call.right = colourImage(right, "right", rgb);
  return call;
}

py::dict compute(py::handle left, py::handle right, py::kwargs options) {
  OptionReader reader(std::move(options), "compute");
  StereoCall call;
  readMatcherOptions(reader, call.params, call.logChromWeight, call.threads);
  reader.read("smooth_exponent", call.params.smoothExponent);
  reader.read("smooth_max", call.params.smoothMax);
  reader.read("lambda_", call.params.lambda);
  call.seed = readSeed(reader);
  reader.read("subpixel", call.subpixel);
  call.refinement = readRefinement(reader);
  reader.read("return_cost", call.keepCosts);
  const PairCall pair = readPair(reader, left, right);
  const cv::Mat& leftImage = pair.left;
  const cv::Mat& rightImage = pair.right;
  ProgressRelay relay(pair.progress);
  if (relay.active()) {
    call.progress = [&relay](const char* stage, int done, int total) { relay.report(stage, done, total); };
  }
  std::optional<Expected<StereoCallResult>> outcome;
  {
    py::gil_scoped_release unlocked;
    outcome.emplace(runStereoCall(leftImage, rightImage, call));
  }
  relay.raiseIfFailed();
  if (!*outcome) raise(outcome->error());
  const StereoCallResult& run = **outcome;
  const int height = leftImage.rows, width = leftImage.cols;

  py::dict seconds;
  seconds["cost_volume"] = run.costSeconds;
  seconds["flatten"] = run.flattenSeconds;
  seconds["optimize"] = run.optimizeSeconds;
  seconds["passes"] = run.passSeconds;
  if (call.refinement.lrCheck) seconds["lr_check"] = run.lrSeconds;
  if (call.subpixel) seconds["subpixel"] = run.subpixelSeconds;
  if (call.refinement.fill) seconds["fill"] = run.fillSeconds;
  if (call.refinement.medianRadius) seconds["median"] = run.medianSeconds;
  py::dict result;
  result["disparity"] = toArray(run.disparity);
  result["labels"] = toArray(run.labels, height, width);
  result["energies"] = run.passEnergies;
  result["seconds"] = seconds;
  result["confidence"] = call.refinement.lrCheck ? py::object(toBoolArray(run.consistent, height, width)) : py::none();
  result["cost"] =
      call.keepCosts ? py::object(toArray(run.costs, height, width, call.params.disparityRange)) : py::none();
  return result;
}

py::array_t<float> costVolume(py::handle left, py::handle right, py::kwargs options) {
  OptionReader reader(std::move(options), "cost_volume");
  StereoParams params;
  std::optional<float> logChromWeight;
  int threads = 0;
  readMatcherOptions(reader, params, logChromWeight, threads);
  const PairCall pair = readPair(reader, left, right);
  const cv::Mat& leftImage = pair.left;
  const cv::Mat& rightImage = pair.right;
  ProgressRelay relay(pair.progress);
  std::function<void(int, int)> onRow;
  if (relay.active()) onRow = [&relay](int done, int total) { relay.report("cost_volume", done, total); };
  std::optional<Expected<std::vector<float>>> outcome;
  {
    py::gil_scoped_release unlocked;
    outcome.emplace(computeCostsOnly(leftImage, rightImage, params, logChromWeight, threads, onRow));
  }
  relay.raiseIfFailed();
  if (!*outcome) raise(outcome->error());
  return toArray(**outcome, leftImage.rows, leftImage.cols, params.disparityRange);
}

py::dict evaluate(py::handle disparity, py::handle truth, py::handle mask, double scale) {
  const cv::Mat result = floatMap(disparity, "disparity");
  const cv::Mat truthImage = truthMap(truth, "truth");
  const cv::Mat maskMat = mask.is_none() ? cv::Mat() : maskImage(mask, "mask");
  if (!(scale > 0) || !std::isfinite(scale)) raiseValueError("scale must be a positive number of values per pixel");
  const Expected<DisparityScore> scored = evaluateDisparity(result, truthImage, maskMat, {scale, 0, 1.0});
  if (!scored) raise(scored.error());
  const DisparityScore& score = *scored;
  py::dict out;
  out["evaluated"] = score.evaluated;
  out["unknown"] = score.invalid;
  out["bad_0.5"] = score.badOver05;
  out["bad_1"] = score.badOver1;
  out["bad_2"] = score.badOver2;
  out["bad_4"] = score.badOver4;
  out["mean_abs_error"] = score.meanError;
  return out;
}

std::string pathText(py::handle path) { return py::module_::import("os").attr("fspath")(path).cast<std::string>(); }

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

// The batch manifest, read by the command line's own rules: one dict per pair
// with its name, the arguments of its orbelt-cli run and the mask scored.
py::list batchManifest(const std::string& path, const std::string& outFolder) {
  std::vector<BatchPair> pairs;
  if (std::string bad = readBatchManifest(path, outFolder, pairs); !bad.empty()) raise(invalidInput(bad));
  py::list out;
  for (const BatchPair& pair : pairs) {
    py::dict entry;
    entry["name"] = pair.name;
    entry["args"] = pair.args;
    entry["mask"] = pair.mask;
    out.append(entry);
  }
  return out;
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
  module.def("batch_summary", &batchSummaryText, py::arg("pairs"), py::arg("outcomes"), py::arg("json"),
             py::arg("manifest"), py::arg("shard"),
             "The summary table orbelt-cli batch writes, from (status, run summary) per pair.");
  module.attr("defaults") = [] {
    const StereoParams p;
    py::dict d;
    d["half_win_size"] = p.halfWinSize;
    d["sigma_s"] = p.sigmaS;
    d["sigma_p"] = p.sigmaP;
    d["base_disparity"] = p.baseDisparity;
    d["disparity_range"] = p.disparityRange;
    d["smooth_exponent"] = p.smoothExponent;
    d["smooth_max"] = p.smoothMax;
    d["lambda_"] = p.lambda;
    d["color_mode"] = p.colorMode == ColorMode::Rgb ? "rgb" : "logchrom";
    d["log_chrom_weight"] = py::none();
    d["seed"] = py::none();
    d["threads"] = 0;
    d["subpixel"] = false;
    d["lr_check"] = false;
    d["fill"] = false;
    d["median"] = py::none();
    return d;
  }();
}
