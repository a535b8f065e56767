#include "io/CalibrationFiles.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

#include "platform/NumberText.h"

namespace orbelt {

namespace {

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The file's keys and their text, split at the first `separator` of each
// line. Blank lines are passed over; a key given twice keeps its last value.
struct KeyedFile {
  std::string path;
  std::map<std::string, std::string> values;

  Error bad(const std::string& what) const {
    return invalidInput("Cannot read the calibration \"" + path + "\": " + what);
  }
};

Expected<KeyedFile> readKeyedFile(const std::string& path, char separator) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return ioFailure("Cannot read the calibration \"" + path + "\": file missing or unreadable (" +
                     std::strerror(errno) + ")");
  }
  KeyedFile file{path, {}};
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (trim(line).empty()) continue;
    const auto at = line.find(separator);
    if (at == std::string::npos || trim(line.substr(0, at)).empty()) {
      return file.bad("line " + std::to_string(number) + " is not \"key" + separator + " value\"");
    }
    file.values[trim(line.substr(0, at))] = trim(line.substr(at + 1));
  }
  return file;
}

// Every number of a key's text, separated by blanks (and the brackets and
// semicolons of a matrix when `matrix` is set).
Expected<std::vector<double>> numbers(const KeyedFile& file, const std::string& key, bool matrix) {
  const auto found = file.values.find(key);
  if (found == file.values.end()) return file.bad("the key \"" + key + "\" is missing");
  std::string text = found->second;
  if (matrix) {
    for (char& c : text) {
      if (c == '[' || c == ']' || c == ';') c = ' ';
    }
  }
  std::istringstream words(text);
  std::vector<double> values;
  for (std::string word; words >> word;) {
    double value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value)) {
      return file.bad("the key \"" + key + "\" holds \"" + found->second + "\", not " +
                      (matrix ? "a matrix of numbers" : "a number"));
    }
    values.push_back(value);
  }
  if (values.empty()) return file.bad("the key \"" + key + "\" has no value");
  return values;
}

Expected<double> number(const KeyedFile& file, const std::string& key) {
  Expected<std::vector<double>> values = numbers(file, key, false);
  if (!values) return std::move(values).error();
  if (values->size() != 1)
    return file.bad("the key \"" + key + "\" holds \"" + file.values.at(key) + "\", not one number");
  return values->front();
}

// A whole number of at least `lowest`; 0 when the key is optional and absent.
Expected<int> wholeNumber(const KeyedFile& file, const std::string& key, int lowest, bool required) {
  if (!required && !file.values.count(key)) return 0;
  Expected<double> value = number(file, key);
  if (!value) return std::move(value).error();
  if (*value != std::floor(*value) || *value < lowest || *value > 1e9) {
    return file.bad(key + " must be a whole number of at least " + std::to_string(lowest) + ", not " +
                    doubleText(*value));
  }
  return static_cast<int>(*value);
}

Expected<std::vector<double>> matrix(const KeyedFile& file, const std::string& key, std::size_t count,
                                     const char* shape) {
  Expected<std::vector<double>> values = numbers(file, key, true);
  if (values && values->size() != count) {
    return file.bad("the key \"" + key + "\" must be a " + shape + " matrix (" + std::to_string(count) +
                    " numbers), but holds " + std::to_string(values->size()));
  }
  return values;
}

Status checked(const KeyedFile& file, const CameraCalibration& camera) {
  if (Status status = camera.check(); !status) {
    std::string what = status.error().message;  // "The calibration's ...", inside a sentence here
    what[0] = 't';
    return file.bad(what);
  }
  return {};
}

Status readOptionalBounds(const KeyedFile& file, MiddleburyCalibration& calibration) {
  for (auto [key, bound] : {std::pair{"vmin", &calibration.vmin}, std::pair{"vmax", &calibration.vmax}}) {
    if (!file.values.count(key)) continue;
    Expected<double> value = number(file, key);
    if (!value) return std::move(value).error();
    *bound = *value;
  }
  return {};
}

}  // namespace

Expected<MiddleburyCalibration> readMiddleburyCalibration(const std::string& path) {
  Expected<KeyedFile> file = readKeyedFile(path, '=');
  if (!file) return std::move(file).error();
  Expected<std::vector<double>> cam0 = matrix(*file, "cam0", 9, "3 x 3");
  if (!cam0) return std::move(cam0).error();
  Expected<double> baseline = number(*file, "baseline");
  if (!baseline) return std::move(baseline).error();
  Expected<double> doffs = number(*file, "doffs");
  if (!doffs) return std::move(doffs).error();
  Expected<int> labels = wholeNumber(*file, "ndisp", 1, true);
  if (!labels) return std::move(labels).error();
  MiddleburyCalibration calibration;
  calibration.camera = {(*cam0)[0], *baseline, (*cam0)[2], (*cam0)[5], *doffs};
  calibration.labelCount = *labels;
  for (auto [key, size] : {std::pair{"width", &calibration.width}, std::pair{"height", &calibration.height}}) {
    Expected<int> value = wholeNumber(*file, key, 1, false);
    if (!value) return std::move(value).error();
    *size = *value;
  }
  if (Status bounds = readOptionalBounds(*file, calibration); !bounds) return std::move(bounds).error();
  if (Status status = checked(*file, calibration.camera); !status) return std::move(status).error();
  return calibration;
}

Expected<CameraCalibration> readKittiCalibration(const std::string& path) {
  Expected<KeyedFile> file = readKeyedFile(path, ':');
  if (!file) return std::move(file).error();
  const bool rectified = file->values.count("P_rect_02") && file->values.count("P_rect_03");
  if (!rectified && !(file->values.count("P2") && file->values.count("P3"))) {
    return file->bad("it has neither the keys \"P_rect_02\" and \"P_rect_03\" nor \"P2\" and \"P3\"");
  }
  Expected<std::vector<double>> left = matrix(*file, rectified ? "P_rect_02" : "P2", 12, "3 x 4");
  if (!left) return std::move(left).error();
  Expected<std::vector<double>> right = matrix(*file, rectified ? "P_rect_03" : "P3", 12, "3 x 4");
  if (!right) return std::move(right).error();
  const std::vector<double>& l = *left;
  const std::vector<double>& r = *right;
  // Row-major 3 x 4: [0] f, [2] cx, [3] f * tx, [5] f, [6] cy.
  if (std::abs(l[0] - r[0]) > 1e-6 * std::abs(l[0]) || std::abs(l[6] - r[6]) > 1e-6 * std::max(1.0, std::abs(l[6]))) {
    return file->bad("the left and right projections differ in focal length or principal row: not a rectified pair");
  }
  if (!(l[0] > 0)) return file->bad("the focal length must be a positive number, not " + doubleText(l[0]));
  const CameraCalibration camera{l[0], (l[3] - r[3]) / l[0], l[2], l[6], r[2] - l[2]};
  if (Status status = checked(*file, camera); !status) return std::move(status).error();
  return camera;
}

Expected<CalibrationFile> readCalibrationFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return ioFailure("Cannot read the calibration \"" + path + "\": file missing or unreadable (" +
                     std::strerror(errno) + ")");
  }
  std::string line;
  while (std::getline(in, line) && trim(line).empty()) {
  }
  const auto equals = line.find('=');
  const auto colon = line.find(':');
  if (equals != std::string::npos && equals < colon) {
    Expected<MiddleburyCalibration> middlebury = readMiddleburyCalibration(path);
    if (!middlebury) return std::move(middlebury).error();
    return CalibrationFile{middlebury->camera, *middlebury};
  }
  if (colon != std::string::npos) {
    Expected<CameraCalibration> kitti = readKittiCalibration(path);
    if (!kitti) return std::move(kitti).error();
    return CalibrationFile{*kitti, std::nullopt};
  }
  return invalidInput("Cannot read the calibration \"" + path +
                      "\": it is neither a Middlebury calib.txt (key=value lines) nor a KITTI calibration (key: "
                      "numbers lines)");
}

}  // namespace orbelt
