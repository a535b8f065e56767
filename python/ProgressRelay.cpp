#include "python/ProgressRelay.h"

namespace orbelt::python {

ProgressRelay::ProgressRelay(pybind11::handle callable) : callable_(callable) {}

ProgressRelay::~ProgressRelay() {
  if (type_ || value_ || traceback_) {
    pybind11::gil_scoped_acquire lock;
    Py_XDECREF(type_);
    Py_XDECREF(value_);
    Py_XDECREF(traceback_);
  }
}

void ProgressRelay::report(const char* stage, int done, int total) {
  if (!active()) return;
  pybind11::gil_scoped_acquire lock;
  if (type_) return;  // the callable failed once: no more calls
  try {
    callable_(stage, done, total);
  } catch (pybind11::error_already_set& failure) {
    failure.restore();
    PyErr_Fetch(&type_, &value_, &traceback_);
  }
}

void ProgressRelay::raiseIfFailed() {
  if (!type_) return;
  PyErr_Restore(type_, value_, traceback_);
  type_ = value_ = traceback_ = nullptr;
  throw pybind11::error_already_set();
}

}  // namespace orbelt::python
