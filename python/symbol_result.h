// norvale.Result: one decoded symbol as Python sees it, over the C++ API's Decoded value, and
// norvale.StructuredAppend, the named tuple of its place in a structured-append sequence.
#pragma once

#include <pybind11/pybind11.h>

namespace norvale::python {

namespace py = pybind11;

// Adds Result and StructuredAppend to the module; Decoded values cast to Result from then on.
void BindSymbolResult(py::module_& module);

} // namespace norvale::python
