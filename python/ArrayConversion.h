#pragma once
// NumPy arrays in and out of the library's cv::Mat images, with the checks
// that name the argument and what is wrong with it (ValueError, or TypeError
// for an object that is no array at all).
//
// Inputs are copied, so a caller's array may be any layout (strided views,
// Fortran order) and may change while a run works without the lock.
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <pybind11/numpy.h>

#include "postprocess/PointCloud.h"

namespace orbelt::python {

namespace py = pybind11;

// An H x W x 3 uint8 image, blue-green-red (or red-green-blue with `rgb`,
// swapped here), as CV_8UC3. Anything else is refused: another dtype, or
// another shape with the command line's colour message.
cv::Mat colourImage(py::handle object, const char* name, bool rgb);

// A 2-D array of any real dtype as CV_32FC1 (`name` for messages).
cv::Mat floatMap(py::handle object, const char* name);

// A ground truth: 2-D uint8 or uint16 kept as stored, any float dtype as CV_32FC1.
cv::Mat truthMap(py::handle object, const char* name);

// A 2-D mask: bool (True keeps a pixel) or uint8 (255 keeps), as CV_8UC1 0/255.
cv::Mat maskImage(py::handle object, const char* name);

// An image to save: 2-D, or H x W x 1, 3 or 4 channels, uint8 or uint16.
cv::Mat storableImage(py::handle object, const char* name);

// A point cloud's two arrays: N x 3 points of any real dtype and N x 3
// uint8 colours (red, green, blue), the same N. Refused otherwise.
PointCloud pointCloud(py::handle points, py::handle colours);

// New NumPy arrays holding a copy of the data.
py::array_t<float> toArray(const cv::Mat& floatMap);  // CV_32FC1 -> (H, W) float32
py::array_t<std::int32_t> toArray(const std::vector<int>& values, int height, int width);
py::array_t<bool> toBoolArray(const std::vector<std::uint8_t>& values, int height, int width);
py::array_t<float> toArray(const std::vector<float>& values, int height, int width, int depth);
py::array_t<float> toArray(const std::vector<cv::Vec3f>& points);          // (N, 3) float32
py::array_t<std::uint8_t> toArray(const std::vector<cv::Vec3b>& colours);  // (N, 3) uint8

}  // namespace orbelt::python
