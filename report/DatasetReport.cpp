#include "report/DatasetReport.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace orbelt {

namespace {

nlohmann::json optionalNumber(const std::optional<double>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json();
}

nlohmann::json regionJson(const char* name, const Middlebury2014RegionScore& s) {
  nlohmann::json region = {{"region", name}, {"evaluated", s.evaluated}, {"unknown", s.unknown}};
  for (std::size_t i = 0; i < kMiddlebury2014Thresholds.size(); ++i) {
    char key[32];
    std::snprintf(key, sizeof key, "bad_%g", kMiddlebury2014Thresholds[i]);
    region[key] = s.bad[i];
  }
  region["mean_abs_error"] = s.avgErr;
  region["rms"] = s.rms;
  for (std::size_t i = 0; i < kMiddlebury2014Quantiles.size(); ++i) {
    // JSON has no infinity; a quantile that falls among the unknown pixels
    // says so in words.
    const double q = s.quantiles[i];
    char key[32];
    std::snprintf(key, sizeof key, "A%g", kMiddlebury2014Quantiles[i]);
    region[key] = std::isfinite(q) ? nlohmann::json(q) : nlohmann::json("inf");
  }
  return region;
}

nlohmann::json regionJson(const char* name, const KittiRegionScore& s, double density) {
  nlohmann::json region = {{"region", name}, {"evaluated", s.evaluated}, {"unknown", s.unknown}, {"D1", s.d1}};
  for (std::size_t i = 0; i < kKittiThresholds.size(); ++i) {
    char key[32];
    std::snprintf(key, sizeof key, "bad_%g", kKittiThresholds[i]);
    region[key] = s.bad[i];
  }
  region["mean_abs_error"] = s.avgErr;
  region["density"] = density;
  return region;
}

}  // namespace

nlohmann::json calibrationJson(const CameraCalibration& c) {
  return {{"focal", c.focal}, {"baseline", c.baseline}, {"cx", c.cx}, {"cy", c.cy}, {"doffs", c.doffs}};
}

nlohmann::json datasetJson(const StereoDataset& dataset) {
  nlohmann::json out = {{"layout", layoutName(dataset)},
                        {"name", dataset.name},
                        {"left", dataset.left},
                        {"right", dataset.right},
                        {"label_count", dataset.labelCount},
                        {"calibration_file", dataset.calibrationFile}};
  if (const auto* set = std::get_if<Middlebury2014Set>(&dataset.source)) {
    const MiddleburyCalibration& calib = set->calibration;
    out["folder"] = set->folder;
    out["ndisp"] = calib.labelCount;
    out["width"] = calib.width > 0 ? nlohmann::json(calib.width) : nlohmann::json();
    out["height"] = calib.height > 0 ? nlohmann::json(calib.height) : nlohmann::json();
    out["vmin"] = optionalNumber(calib.vmin);
    out["vmax"] = optionalNumber(calib.vmax);
  } else if (const auto* older = std::get_if<MiddleburySet>(&dataset.source)) {
    out["folder"] = older->folder;
  } else if (const auto* frame = std::get_if<KittiFrame>(&dataset.source)) {
    out["split"] = frame->split;
    out["frame"] = frame->id;
  }
  return out;
}

nlohmann::json benchmarkJson(const BenchmarkScore& score) {
  if (const auto* s = std::get_if<Middlebury2014Score>(&score)) {
    nlohmann::json regions = nlohmann::json::array();
    if (s->hasNonocc) regions.push_back(regionJson("nonocc", s->nonocc));
    regions.push_back(regionJson("all", s->all));
    return {{"measures", "middlebury2014"}, {"regions", regions}};
  }
  if (const auto* s = std::get_if<KittiScore>(&score)) {
    nlohmann::json regions = nlohmann::json::array();
    if (s->hasNoc) regions.push_back(regionJson("noc", s->noc, s->density));
    if (s->hasOcc) regions.push_back(regionJson("occ", s->occ, s->density));
    return {{"measures", "kitti"}, {"density", s->density}, {"regions", regions}};
  }
  return nullptr;
}

}  // namespace orbelt
