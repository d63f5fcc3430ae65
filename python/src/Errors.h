#pragma once

#include <pybind11/pybind11.h>

// The module's exceptions. vornix.VornixError carries the library's result code (.code, as
// the unsigned 32-bit value, so 0x80070057 reads as written) and its text. An argument the
// component refuses is a vornix.ArgumentError, both a VornixError and a ValueError, so a
// caller can catch it either way; IndexOutOfRangeException is likewise an IndexError too.
namespace vornix_python {

void RegisterErrors(pybind11::module_& module);

}  // namespace vornix_python
