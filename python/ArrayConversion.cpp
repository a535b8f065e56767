#include "python/ArrayConversion.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include <opencv2/imgproc.hpp>

#include "pipeline/ColorCheck.h"
#include "python/ModuleErrors.h"

namespace orbelt::python {

namespace {

py::array asArray(py::handle object, const char* name) {
  if (!py::isinstance<py::array>(object)) {
    raiseTypeError(std::string(name) + " must be a NumPy array, not " +
                   std::string(py::str(py::type::handle_of(object).attr("__name__"))));
  }
  return py::reinterpret_borrow<py::array>(object);
}

std::string shapeText(const py::array& array) {
  std::ostringstream text;
  text << "(";
  for (py::ssize_t i = 0; i < array.ndim(); ++i) text << (i ? ", " : "") << array.shape(i);
  text << (array.ndim() == 1 ? ",)" : ")");
  return text.str();
}

std::string dtypeText(const py::array& array) { return std::string(py::str(array.dtype())); }

// A C-ordered copy of `array` converted to T (NumPy's own casting rules).
template <class T>
py::array_t<T, py::array::c_style> contiguousAs(const py::array& array) {
  return py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(array);
}

template <class T>
cv::Mat matOf(const py::array& array, int type) {
  const auto data = contiguousAs<T>(array);
  const int channels = CV_MAT_CN(type);
  const cv::Mat view(static_cast<int>(array.shape(0)), static_cast<int>(array.shape(1)), type,
                     const_cast<T*>(data.data()), static_cast<std::size_t>(array.shape(1)) * channels * sizeof(T));
  return view.clone();
}

void requireTwoDimensions(const py::array& array, const char* name) {
  if (array.ndim() != 2) {
    raiseValueError(std::string(name) + " must be a 2-D array (height, width); it has shape " + shapeText(array));
  }
}

bool isFloat(const py::array& array) { return array.dtype().kind() == 'f'; }

}  // namespace

cv::Mat colourImage(py::handle object, const char* name, bool rgb) {
  const py::array array = asArray(object, name);
  if (!py::isinstance<py::array_t<std::uint8_t>>(array)) {
    raiseValueError(std::string(name) + " must be a uint8 array (8 bits per channel); it is " + dtypeText(array));
  }
  if (array.ndim() != 3 || array.shape(2) != 3) {
    raiseValueError(std::string(kColorFormatMessage) + " (" + name + " has shape " + shapeText(array) +
                    "; a colour image is (height, width, 3))");
  }
  if (array.shape(0) == 0 || array.shape(1) == 0) {
    raiseValueError(std::string(name) + " is empty: it has shape " + shapeText(array));
  }
  cv::Mat image = matOf<std::uint8_t>(array, CV_8UC3);
  if (rgb) cv::cvtColor(image, image, cv::COLOR_RGB2BGR);
  return image;
}

cv::Mat floatMap(py::handle object, const char* name) {
  const py::array array = asArray(object, name);
  requireTwoDimensions(array, name);
  if (!isFloat(array)) {
    raiseValueError(std::string(name) + " must hold floats (disparities in pixels); it is " + dtypeText(array));
  }
  return matOf<float>(array, CV_32FC1);
}

cv::Mat truthMap(py::handle object, const char* name) {
  const py::array array = asArray(object, name);
  requireTwoDimensions(array, name);
  if (py::isinstance<py::array_t<std::uint8_t>>(array)) return matOf<std::uint8_t>(array, CV_8UC1);
  if (py::isinstance<py::array_t<std::uint16_t>>(array)) return matOf<std::uint16_t>(array, CV_16UC1);
  if (isFloat(array)) return matOf<float>(array, CV_32FC1);
  raiseValueError(std::string(name) + " must be float (disparities), uint8 or uint16 (disparity x scale); it is " +
                  dtypeText(array));
}

cv::Mat maskImage(py::handle object, const char* name) {
  const py::array array = asArray(object, name);
  requireTwoDimensions(array, name);
  if (py::isinstance<py::array_t<bool>>(array)) {
    cv::Mat mask = matOf<std::uint8_t>(array, CV_8UC1);
    return mask * 255;
  }
  if (py::isinstance<py::array_t<std::uint8_t>>(array)) return matOf<std::uint8_t>(array, CV_8UC1);
  raiseValueError(std::string(name) + " must be bool (True keeps a pixel) or uint8 (255 keeps); it is " +
                  dtypeText(array));
}

cv::Mat storableImage(py::handle object, const char* name) {
  const py::array array = asArray(object, name);
  const int channels = array.ndim() == 2 ? 1 : array.ndim() == 3 ? static_cast<int>(array.shape(2)) : 0;
  if (channels != 1 && channels != 3 && channels != 4) {
    raiseValueError(std::string(name) + " must be (height, width) or (height, width, 3 or 4); it has shape " +
                    shapeText(array));
  }
  if (py::isinstance<py::array_t<std::uint8_t>>(array)) return matOf<std::uint8_t>(array, CV_MAKETYPE(CV_8U, channels));
  if (py::isinstance<py::array_t<std::uint16_t>>(array)) {
    return matOf<std::uint16_t>(array, CV_MAKETYPE(CV_16U, channels));
  }
  raiseValueError(std::string(name) + " must be uint8 or uint16; it is " + dtypeText(array));
}

PointCloud pointCloud(py::handle pointsObject, py::handle coloursObject) {
  const py::array points = asArray(pointsObject, "points");
  const py::array colours = asArray(coloursObject, "colors");
  for (const auto& [array, name] : {std::pair{&points, "points"}, std::pair{&colours, "colors"}}) {
    if (array->ndim() != 2 || array->shape(1) != 3) {
      raiseValueError(std::string(name) + " must have shape (N, 3); it has shape " + shapeText(*array));
    }
  }
  if (points.shape(0) != colours.shape(0)) {
    raiseValueError("points and colors must have one row per point; they have " + std::to_string(points.shape(0)) +
                    " and " + std::to_string(colours.shape(0)));
  }
  if (!isFloat(points)) raiseValueError("points must hold floats; it is " + dtypeText(points));
  if (!py::isinstance<py::array_t<std::uint8_t>>(colours)) {
    raiseValueError("colors must be uint8 (red, green, blue); it is " + dtypeText(colours));
  }
  const auto xyz = contiguousAs<float>(points);
  const auto rgb = contiguousAs<std::uint8_t>(colours);
  PointCloud cloud;
  const auto count = static_cast<std::size_t>(points.shape(0));
  cloud.points.reserve(count);
  cloud.colors.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const float* p = xyz.data() + 3 * i;
    const std::uint8_t* c = rgb.data() + 3 * i;
    cloud.points.emplace_back(p[0], p[1], p[2]);
    cloud.colors.emplace_back(c[0], c[1], c[2]);
  }
  return cloud;
}

py::array_t<float> toArray(const cv::Mat& map) {
  py::array_t<float> out({map.rows, map.cols});
  for (int y = 0; y < map.rows; ++y) {
    std::memcpy(out.mutable_data(y, 0), map.ptr<float>(y), sizeof(float) * static_cast<std::size_t>(map.cols));
  }
  return out;
}

py::array_t<std::int32_t> toArray(const std::vector<int>& values, int height, int width) {
  py::array_t<std::int32_t> out({height, width});
  std::copy(values.begin(), values.end(), out.mutable_data());
  return out;
}

py::array_t<bool> toBoolArray(const std::vector<std::uint8_t>& values, int height, int width) {
  py::array_t<bool> out({height, width});
  std::transform(values.begin(), values.end(), out.mutable_data(), [](std::uint8_t v) { return v != 0; });
  return out;
}

py::array_t<float> toArray(const std::vector<float>& values, int height, int width, int depth) {
  py::array_t<float> out({height, width, depth});
  std::copy(values.begin(), values.end(), out.mutable_data());
  return out;
}

namespace {

template <class T>
py::array_t<T> rowsOfThree(const std::vector<cv::Vec<T, 3>>& rows) {
  py::array_t<T> out({static_cast<py::ssize_t>(rows.size()), py::ssize_t{3}});
  T* data = out.mutable_data();
  for (const cv::Vec<T, 3>& row : rows) {
    *data++ = row[0];
    *data++ = row[1];
    *data++ = row[2];
  }
  return out;
}

}  // namespace

py::array_t<float> toArray(const std::vector<cv::Vec3f>& points) { return rowsOfThree(points); }

py::array_t<std::uint8_t> toArray(const std::vector<cv::Vec3b>& colours) { return rowsOfThree(colours); }

}  // namespace orbelt::python
