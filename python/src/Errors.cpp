#include "Errors.h"

#include <cstdint>
#include <string>

#include "vornix/Exceptions.h"

namespace py = pybind11;
using namespace Orvane::VornixNet;

namespace vornix_python {

namespace {

// Created once at import and kept for the life of the interpreter, as CPython's own
// exception classes are.
PyObject* g_vornixError = nullptr;
PyObject* g_argumentError = nullptr;
PyObject* g_indexError = nullptr;

PyObject* NewError(const char* name, const char* doc, PyObject* bases) {
    PyObject* type = PyErr_NewExceptionWithDoc(name, doc, bases, nullptr);
    if (type == nullptr) throw py::error_already_set();
    return type;
}

void Raise(PyObject* type, const VornixException& e) {
    // A text may carry a file name's bytes, which need not be UTF-8.
    const std::string text = e.what();
    const auto message =
        py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    py::object error = py::reinterpret_borrow<py::object>(type)(message);
    error.attr("code") = static_cast<std::uint32_t>(e.HResult());
    PyErr_SetObject(type, error.ptr());
}

}  // namespace

void RegisterErrors(py::module_& module) {
    g_vornixError = NewError("vornix.VornixError", "A failure of the decoding library: .code is its result code.",
                             PyExc_Exception);
    // Raised before any call has failed, so the attribute exists on the class too.
    PyObject_SetAttrString(g_vornixError, "code", Py_None);
    py::tuple argumentBases = py::make_tuple(py::handle(g_vornixError), py::handle(PyExc_ValueError));
    g_argumentError = NewError("vornix.ArgumentError", "An argument the library refused.", argumentBases.ptr());
    py::tuple indexBases = py::make_tuple(py::handle(g_vornixError), py::handle(PyExc_IndexError));
    g_indexError = NewError("vornix.IndexOutOfRangeError", "An array shorter than the library needs.", indexBases.ptr());
    module.attr("VornixError") = py::handle(g_vornixError);
    module.attr("ArgumentError") = py::handle(g_argumentError);
    module.attr("IndexOutOfRangeError") = py::handle(g_indexError);

    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) std::rethrow_exception(pending);
        } catch (const ArgumentException& e) {
            Raise(g_argumentError, e);
        } catch (const IndexOutOfRangeException& e) {
            Raise(g_indexError, e);
        } catch (const VornixException& e) {
            Raise(g_vornixError, e);
        }
    });
}

}  // namespace vornix_python
