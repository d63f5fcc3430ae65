#pragma once

#include <cstdint>

// A plain byte buffer that carries one chunk of audio between the file reader and the
// decoding run. It either owns memory it allocated itself or views memory of its
// caller; only owned memory is freed.
class CBuffer {
public:
    // Allocates size bytes (owned); length and capacity are size. When the allocation
    // fails, "Out of memory!" goes to the debug output and the buffer is left empty with
    // no data and zero length and capacity.
    explicit CBuffer(std::uint32_t size);
    // Views size bytes of the caller's memory, which must outlive the buffer.
    CBuffer(std::uint8_t* data, std::uint32_t size);
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;
    virtual ~CBuffer();

    std::uint8_t* Data() { return m_data; }
    const std::uint8_t* Data() const { return m_data; }
    std::uint32_t Length() const { return m_length; }
    std::uint32_t Capacity() const { return m_capacity; }
    bool OwnsData() const { return m_ownsData; }

    // Number of valid bytes; never more than the capacity.
    void SetLength(std::uint32_t length);

private:
    std::uint8_t* m_data = nullptr;
    std::uint32_t m_length = 0;
    std::uint32_t m_capacity = 0;
    bool m_ownsData = false;
};
