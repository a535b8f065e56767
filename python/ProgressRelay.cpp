#include "python/ProgressRelay.h"

#include <optional>

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

namespace {

pybind11::object optionalSeconds(const std::optional<double>& seconds) {
  return seconds ? pybind11::object(pybind11::float_(*seconds)) : pybind11::object(pybind11::none());
}

// The report as the callable's fourth argument. The optimizer's fields are
// None in a cost volume's report, and the energy and the pass's seconds
// until the pass has finished.
pybind11::dict detailsOf(const ProgressReport& r) {
  namespace py = pybind11;
  const bool optimizer = r.stage == ProgressStage::Optimizer;
  const auto optimizerInt = [optimizer](int value) {
    return optimizer ? py::object(py::int_(value)) : py::object(py::none());
  };
  py::dict details;
  details["elapsed"] = r.elapsedSeconds;
  details["seconds_left"] = optionalSeconds(r.secondsLeft);
  details["pass"] = optimizerInt(r.pass);
  details["move"] = optimizerInt(r.move);
  details["moves"] = optimizerInt(r.movesPerPass);
  details["pass_seconds_left"] = optionalSeconds(r.passSecondsLeft);
  details["energy"] = r.passFinished ? py::object(py::float_(r.energy)) : py::object(py::none());
  details["pass_seconds"] = r.passFinished ? py::object(py::float_(r.passSeconds)) : py::object(py::none());
  return details;
}

}  // namespace

void ProgressRelay::report(const char* stage, int done, int total, const ProgressReport* details) {
  if (!active()) return;
  pybind11::gil_scoped_acquire lock;
  if (type_) return;  // the callable failed once: no more calls
  try {
    if (details != nullptr) {
      callable_(stage, done, total, detailsOf(*details));
    } else {
      callable_(stage, done, total);
    }
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
