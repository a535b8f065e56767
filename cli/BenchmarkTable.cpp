#include "cli/BenchmarkTable.h"

#include <cstdio>
#include <vector>

namespace orbelt {

namespace {

struct Column {
  const char* key;
  const char* title;
  bool percent;  // a share of the region's pixels; otherwise an error in pixels
};

const std::vector<Column> kMiddlebury2014Columns = {{"bad_0.5", "bad>0.5", true},
                                                    {"bad_1", "bad>1", true},
                                                    {"bad_2", "bad>2", true},
                                                    {"bad_4", "bad>4", true},
                                                    {"mean_abs_error", "avgErr", false},
                                                    {"rms", "rms", false},
                                                    {"A50", "A50", false},
                                                    {"A90", "A90", false},
                                                    {"A95", "A95", false},
                                                    {"A99", "A99", false}};

const std::vector<Column> kKittiColumns = {{"D1", "D1", true},       {"bad_2", "bad>2", true},
                                           {"bad_3", "bad>3", true}, {"bad_4", "bad>4", true},
                                           {"bad_5", "bad>5", true}, {"mean_abs_error", "avgErr", false}};

std::string cell(const nlohmann::json& value, bool percent) {
  char text[32];
  if (value.is_number()) {
    std::snprintf(text, sizeof text, percent ? "%7.2f%%" : "%8.3f", value.get<double>());
  } else {
    std::snprintf(text, sizeof text, "%8s", value.is_string() ? value.get<std::string>().c_str() : "-");
  }
  return std::string(" ") + text;
}

}  // namespace

std::string benchmarkTable(const nlohmann::json& benchmark) {
  if (!benchmark.is_object()) return {};
  const bool kitti = benchmark.value("measures", "") == "kitti";
  const std::vector<Column>& columns = kitti ? kKittiColumns : kMiddlebury2014Columns;
  char text[64];
  std::snprintf(text, sizeof text, "%-7s %9s %8s", "region", "pixels", "unknown");
  std::string table = text;
  for (const Column& column : columns) {
    std::snprintf(text, sizeof text, " %8s", column.title);
    table += text;
  }
  table += "\n";
  for (const nlohmann::json& region : benchmark["regions"]) {
    std::snprintf(text, sizeof text, "%-7s %9lld %8lld", region["region"].get<std::string>().c_str(),
                  region["evaluated"].get<long long>(), region["unknown"].get<long long>());
    table += text;
    for (const Column& column : columns) table += cell(region.value(column.key, nlohmann::json()), column.percent);
    table += "\n";
  }
  if (kitti) {
    std::snprintf(text, sizeof text, "density %.2f%%", benchmark["density"].get<double>());
    table += std::string(text) + " (known pixels of the map before the background fill)\n";
  }
  table += kitti ? "errors in px; an unknown pixel is filled from the background first\n"
                 : "errors in px; an unknown pixel is bad at every threshold and last in the quantiles\n";
  return table;
}

}  // namespace orbelt
