#pragma once
// Python values the module's functions take and give beside arrays: a path
// as Python names one, and the shared report code's JSON as the Python
// object it stands for.
#include <string>

#include <nlohmann/json.hpp>
#include <pybind11/pybind11.h>

namespace orbelt::python {

namespace py = pybind11;

// A str, bytes or os.PathLike as a file-system path (os.fspath's rules).
inline std::string pathText(py::handle path) {
  return py::module_::import("os").attr("fspath")(path).cast<std::string>();
}

// dict, list, str, number, bool or None, through the json module.
inline py::object fromJson(const nlohmann::json& value) {
  return py::module_::import("json").attr("loads")(value.dump());
}

}  // namespace orbelt::python
