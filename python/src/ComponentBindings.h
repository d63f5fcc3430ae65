#pragma once

#include <pybind11/pybind11.h>

// vornix.PhoneVornix: the public component as Python sees it (properties, the six parameter
// groups, the stream and file calls, every event as a list of handlers), with the event
// argument classes and the enumerations.
namespace vornix_python {

void RegisterEnums(pybind11::module_& module);
void RegisterEventArgs(pybind11::module_& module);
void RegisterComponent(pybind11::module_& module);

// A buffer's bytes, held for as long as this lives: bytes, bytearray, memoryview, or any
// C-contiguous array (numpy's among them). Anything else is a ValueError.
class ByteView {
public:
    explicit ByteView(const pybind11::handle& object);
    ~ByteView();
    ByteView(const ByteView&) = delete;
    ByteView& operator=(const ByteView&) = delete;
    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(m_view.buf); }
    std::size_t size() const { return static_cast<std::size_t>(m_view.len); }

private:
    Py_buffer m_view{};
};

}  // namespace vornix_python
