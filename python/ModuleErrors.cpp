#include "python/ModuleErrors.h"

#include <pybind11/pybind11.h>

namespace orbelt::python {

namespace {

[[noreturn]] void raiseAs(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw pybind11::error_already_set();
}

PyObject* exceptionTypeOf(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::InvalidInput:
    case ErrorKind::ColorFormat: return PyExc_ValueError;
    case ErrorKind::RunTooLarge:
    case ErrorKind::OutOfMemory: return PyExc_MemoryError;
    case ErrorKind::IoFailure: return PyExc_OSError;
    case ErrorKind::EngineFailure: break;
  }
  return PyExc_RuntimeError;
}

}  // namespace

void raise(const Error& error) { raiseAs(exceptionTypeOf(error.kind), error.summary()); }

void raiseValueError(const std::string& message) { raiseAs(PyExc_ValueError, message); }

void raiseTypeError(const std::string& message) { raiseAs(PyExc_TypeError, message); }

}  // namespace orbelt::python
