#include "audio/CBuffer.h"

#include <algorithm>
#include <new>

#include "platform/DebugOutput.h"

CBuffer::CBuffer(std::uint32_t size) {
    m_data = new (std::nothrow) std::uint8_t[size == 0 ? 1 : size];
    if (m_data == nullptr) {
        DebugOutput("Out of memory!");
        return;
    }
    m_length = size;
    m_capacity = size;
    m_ownsData = true;
}

CBuffer::CBuffer(std::uint8_t* data, std::uint32_t size)
    : m_data(data), m_length(data ? size : 0), m_capacity(data ? size : 0), m_ownsData(false) {}

CBuffer::~CBuffer() {
    if (m_ownsData) delete[] m_data;
}

void CBuffer::SetLength(std::uint32_t length) { m_length = std::min(length, m_capacity); }
