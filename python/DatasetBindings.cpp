#include "python/DatasetBindings.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <limits>
#include <optional>
#include <tuple>

#include "eval/BenchmarkScore.h"
#include "eval/DisparityEvaluation.h"
#include "eval/StereoDataset.h"
#include "io/CalibrationFiles.h"
#include "io/DisparityMapFiles.h"
#include "io/PlyFile.h"
#include "postprocess/DepthMap.h"
#include "python/ArrayConversion.h"
#include "python/ModuleErrors.h"
#include "python/PythonNames.h"
#include "python/PythonValues.h"
#include "report/DatasetReport.h"
#include "report/RunReport.h"

namespace orbelt::python {

namespace {

using CalibrationValues = std::tuple<double, double, double, double, double>;

CameraCalibration calibrationOf(const CalibrationValues& values) {
  const auto [focal, baseline, cx, cy, doffs] = values;
  return {focal, baseline, cx, cy, doffs};
}

nlohmann::json statedOrNull(int value) { return value > 0 ? nlohmann::json(value) : nlohmann::json(); }

// A calibration file's values: the camera, and a calib.txt's other facts
// (None for a KITTI file).
py::dict readCalib(py::handle path) {
  const Expected<CalibrationFile> read = readCalibrationFile(pathText(path));
  if (!read) raise(read.error());
  nlohmann::json values = calibrationJson(read->camera);
  const std::optional<MiddleburyCalibration>& m = read->middlebury;
  values["ndisp"] = m ? nlohmann::json(m->labelCount) : nlohmann::json();
  values["width"] = m ? statedOrNull(m->width) : nlohmann::json();
  values["height"] = m ? statedOrNull(m->height) : nlohmann::json();
  values["vmin"] = m && m->vmin ? nlohmann::json(*m->vmin) : nlohmann::json();
  values["vmax"] = m && m->vmax ? nlohmann::json(*m->vmax) : nlohmann::json();
  return fromJson(values);
}

// The calibration's rules, each refusal naming its keyword.
void checkCalibration(const CalibrationValues& values) {
  if (Status checked = calibrationOf(values).check(kPythonCalibrationNames); !checked) raise(checked.error());
}

// Unknown is NaN in NumPy's world; the library marks it +inf.
void infToNan(cv::Mat& map) {
  map.forEach<float>([](float& v, const int*) {
    if (!std::isfinite(v)) v = std::numeric_limits<float>::quiet_NaN();
  });
}

py::array_t<float> depth(py::handle disparity, const CalibrationValues& values) {
  Expected<cv::Mat> depth = depthFromDisparity(floatMap(disparity, "disparity"), calibrationOf(values));
  if (!depth) raise(depth.error());
  infToNan(*depth);
  return toArray(*depth);
}

py::tuple pointCloudOf(py::handle disparity, py::handle left, const CalibrationValues& values) {
  const Expected<PointCloud> cloud = pointCloudFromDisparity(floatMap(disparity, "disparity"),
                                                             colourImage(left, "left", false), calibrationOf(values));
  if (!cloud) raise(cloud.error());
  return py::make_tuple(toArray(cloud->points), toArray(cloud->colors));
}

void writePlyFile(py::handle path, py::handle points, py::handle colours) {
  const std::string file = pathText(path);
  const PointCloud cloud = pointCloud(points, colours);
  std::optional<Status> written;
  {
    py::gil_scoped_release unlocked;
    written.emplace(writePly(file, cloud));
  }
  if (!*written) raise(written->error());
}

StereoDataset openDataset(py::handle path, const std::string& frame) {
  Expected<StereoDataset> dataset = openStereoDataset(pathText(path), frame, kPythonFrameKeyword);
  if (!dataset) raise(dataset.error());
  return std::move(*dataset);
}

py::dict readDataset(py::handle path, const std::string& frame) {
  const StereoDataset dataset = openDataset(path, frame);
  nlohmann::json info = datasetJson(dataset);
  info["calibration"] = dataset.calibration ? calibrationJson(*dataset.calibration) : nlohmann::json();
  return fromJson(info);
}

// An older set's score per mask it has (nonocc, all, disc), in the shape of
// a benchmark's: {"measures": "middlebury", "regions": [...]}.
nlohmann::json scoreOlderSet(const cv::Mat& disparity, const MiddleburySet& set) {
  const Expected<cv::Mat> truth = readGroundTruth(set.truth);
  if (!truth) raise(truth.error());
  nlohmann::json regions = nlohmann::json::array();
  for (const auto& [name, maskPath] : {std::pair{"nonocc", set.nonocc}, {"all", set.all}, {"disc", set.disc}}) {
    if (maskPath.empty()) continue;
    const Expected<cv::Mat> mask = readMask(maskPath);
    if (!mask) raise(mask.error());
    const Expected<DisparityScore> score = evaluateDisparity(disparity, *truth, *mask, {set.truthScale, 0, 1.0});
    if (!score) raise(score.error());
    nlohmann::json region = scoreJson(*score);
    region["region"] = name;
    regions.push_back(region);
  }
  return {{"measures", "middlebury"}, {"regions", regions}};
}

py::dict scoreDataset(py::handle disparity, py::handle path, const std::string& frame) {
  const StereoDataset dataset = openDataset(path, frame);
  const cv::Mat map = floatMap(disparity, "disparity");
  if (const auto* older = std::get_if<MiddleburySet>(&dataset.source)) return fromJson(scoreOlderSet(map, *older));
  const Expected<BenchmarkTruth> truth = readBenchmarkTruth(dataset);
  if (!truth) raise(truth.error());
  if (std::holds_alternative<std::monostate>(*truth)) {
    raise(invalidInput("The " + layoutName(dataset) + " dataset \"" + pathText(path) +
                       "\" has no truth to score against"));
  }
  std::optional<Expected<BenchmarkScore>> scored;
  {
    py::gil_scoped_release unlocked;
    scored.emplace(scoreBenchmark(map, *truth));
  }
  if (!*scored) raise(scored->error());
  return fromJson(benchmarkJson(**scored));
}

}  // namespace

void defineDatasetFunctions(py::module_& module) {
  module.def("read_calib", &readCalib, py::arg("path"),
             "A calib.txt or KITTI calibration file's values as a dict (see orbelt.read_calib).");
  module.def("check_calibration", &checkCalibration, py::arg("values"),
             "Refuses (focal, baseline, cx, cy, doffs) that give no geometry, naming the value.");
  module.def("depth", &depth, py::arg("disparity"), py::arg("calibration"),
             "Metric depth of a map, NaN where none (see orbelt.Result.depth).");
  module.def("point_cloud", &pointCloudOf, py::arg("disparity"), py::arg("left"), py::arg("calibration"),
             "(points, colors) of a map (see orbelt.Result.point_cloud).");
  module.def("write_ply", &writePlyFile, py::arg("path"), py::arg("points"), py::arg("colors"),
             "Writes a binary little-endian PLY atomically (see orbelt.write_ply).");
  module.def("read_dataset", &readDataset, py::arg("path"), py::arg("frame") = std::string(),
             "What a dataset folder's pair is, as a dict (see orbelt.read_dataset).");
  module.def("score_dataset", &scoreDataset, py::arg("disparity"), py::arg("path"), py::arg("frame") = std::string(),
             "A map's score by the dataset's benchmark (see orbelt.Dataset.evaluate).");
}

}  // namespace orbelt::python
