#pragma once
// The compiled half of the module's datasets and geometry: calibration
// files and values, depth and point clouds of a map, PLY files, and the
// benchmark folders with their scores. python/orbelt/__init__.py wraps them
// into orbelt.Calibration, Result.depth / point_cloud and orbelt.Dataset.
#include <pybind11/pybind11.h>

namespace orbelt::python {

// Adds the functions to the module.
void defineDatasetFunctions(pybind11::module_& module);

}  // namespace orbelt::python
