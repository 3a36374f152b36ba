// The module's exception classes: kvdib.Error and one subclass per exception class of the
// library, each raised with the library's exact message.
#pragma once

#include <pybind11/pybind11.h>

namespace kv::python {

// Creates the classes in Module and installs the translator from C++ exceptions.
void RegisterErrors(pybind11::module_& Module);

}  // namespace kv::python
