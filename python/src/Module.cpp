// vornix._vornix: the compiled half of the vornix package. The component as it is
// (PhoneVornix, its groups, events and enumerations) and the command's decoding set-up
// (DecodeSession) that vornix.decode and vornix.Decoder stand on; vornix/__init__.py
// makes the Pythonic layer of them.
#include <mutex>
#include <stdexcept>

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "ComponentBindings.h"
#include "DecodeSession.h"
#include "Errors.h"

namespace py = pybind11;
using namespace vornix_python;

namespace {

// A session with the interpreter released while it decodes. One call at a time: a second
// thread feeding the same decoder is told so rather than left to race it.
class PySession {
public:
    explicit PySession(const std::vector<std::string>& args) {
        try {
            m_session = std::make_unique<DecodeSession>(args);
        } catch (const CLI::ParseError& e) {
            throw py::value_error(e.what());
        }
    }

    py::list DecodeFile(const std::string& path, const std::string& name) {
        return Run([&] { return m_session->DecodeFile(path, name); });
    }
    py::list Feed(const py::object& chunk, const std::string& name) {
        const ByteView bytes(chunk);
        return Run([&] { return m_session->Feed(bytes.data(), bytes.size(), name); });
    }
    py::list End() {
        return Run([&] { return m_session->End(); });
    }
    std::size_t FrameBytes() const { return m_session->FrameBytes(); }

private:
    template <typename F>
    py::list Run(F&& call) {
        std::unique_lock lock(m_busy, std::try_to_lock);
        if (!lock.owns_lock()) throw std::runtime_error("this decoder is in use by another thread");
        std::vector<std::string> lines;
        {
            py::gil_scoped_release release;
            lines = call();
        }
        // What the command says on stderr and still decodes, a Python warning says.
        for (const std::string& warning : m_session->TakeWarnings()) {
            // A file name's bytes need not be UTF-8.
            const auto text = py::reinterpret_steal<py::object>(
                PyUnicode_DecodeUTF8(warning.data(), static_cast<Py_ssize_t>(warning.size()), "replace"));
            py::module_::import("warnings").attr("warn")(text, py::handle(PyExc_UserWarning), 2);
        }
        py::list result;
        for (const std::string& line : lines) result.append(py::str(line));
        return result;
    }

    std::unique_ptr<DecodeSession> m_session;
    std::mutex m_busy;
};

}  // namespace

PYBIND11_MODULE(_vornix, m) {
    m.doc() = "Telephone-line signal decoding: the compiled part of the vornix package.";
    RegisterErrors(m);
    RegisterEnums(m);
    RegisterEventArgs(m);
    RegisterComponent(m);

    py::class_<PySession>(m, "_Session")
        .def(py::init<const std::vector<std::string>&>(), py::arg("args"))
        .def("decode_file", &PySession::DecodeFile, py::arg("path"), py::arg("name"))
        .def("feed", &PySession::Feed, py::arg("chunk"), py::arg("name"))
        .def("end", &PySession::End)
        .def_property_readonly("frame_bytes", &PySession::FrameBytes);
    m.def("_decode_options", [] {
        py::list names;
        for (const DecodeSession::OptionName& option : DecodeSession::Options())
            names.append(py::make_tuple(option.name, option.takesValue));
        return names;
    });
}
