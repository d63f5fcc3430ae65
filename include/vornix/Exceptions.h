#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace Orvane::VornixNet {

// A failed operation: the result code and the description the decoder left for it.
class VornixException : public std::runtime_error {
public:
    VornixException(std::int32_t hresult, const std::string& message)
        : std::runtime_error(message), m_hresult(hresult) {}
    std::int32_t HResult() const { return m_hresult; }

private:
    std::int32_t m_hresult;
};

class ArgumentException : public VornixException {  // invalid argument (0x80070057)
public:
    using VornixException::VornixException;
};

class NullReferenceException : public VornixException {  // null or unreadable pointer (0x80004003)
public:
    using VornixException::VornixException;
};

class NotImplementedException : public VornixException {  // not implemented (0x80004001)
public:
    using VornixException::VornixException;
};

class IndexOutOfRangeException : public VornixException {  // an array too short
public:
    using VornixException::VornixException;
};

}  // namespace Orvane::VornixNet
