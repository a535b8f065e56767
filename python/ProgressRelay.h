#pragma once
// Hands a run's progress to a Python callable while the run works with the
// interpreter lock released.
//
// The engines report from their own threads (never two at once); each report
// takes the lock, calls progress(stage, done, total) (or, for a callable
// that asked for them, progress(stage, done, total, details)) and gives it
// back.
// An exception raised by the callable does not stop the run (the engines
// have no way to be stopped part-way): the relay keeps the first exception,
// makes no further calls, and the binding raises it once the run has ended,
// in place of a result.
#include <pybind11/pybind11.h>

#include "pipeline/ProgressEstimate.h"

namespace orbelt::python {

class ProgressRelay {
 public:
  // `callable` may be None (no reports). It is borrowed: the caller keeps it
  // alive for the relay's lifetime.
  explicit ProgressRelay(pybind11::handle callable);
  ~ProgressRelay();
  ProgressRelay(const ProgressRelay&) = delete;
  ProgressRelay& operator=(const ProgressRelay&) = delete;

  bool active() const { return !callable_.is_none(); }

  // Called without the lock held, from any thread. With `details`, the
  // callable gets a fourth argument: a dict of the report's place in the
  // stage and its time estimates (ProgressEstimate.h).
  void report(const char* stage, int done, int total, const ProgressReport* details = nullptr);

  // With the lock held, after the run: raises the callable's exception if it
  // raised one.
  void raiseIfFailed();

 private:
  pybind11::handle callable_;
  // The first exception, as fetched from the interpreter (owned references).
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* traceback_ = nullptr;
};

}  // namespace orbelt::python
