#include "StreamReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

StreamReader::StreamReader(int fd, std::size_t frameBytes)
    : m_fd(fd), m_frameBytes(std::max<std::size_t>(frameBytes, 1)) {
    // At least a few frames per read, whatever the frame.
    m_buffer.resize(std::max(kBufferBytes, 4 * m_frameBytes));
}

void StreamReader::Unread(std::span<const std::uint8_t> bytes) {
    m_unread.insert(m_unread.begin(), bytes.begin(), bytes.end());
}

std::span<std::uint8_t> StreamReader::Read() {
    // The caller is done with the frames handed over last time.
    if (m_carry > 0 && m_carryAt > 0) std::memmove(m_buffer.data(), m_buffer.data() + m_carryAt, m_carry);
    m_carryAt = 0;
    while (!m_ended) {
        std::size_t filled = m_carry;
        if (!m_unread.empty()) {
            const std::size_t n = std::min(m_unread.size(), m_buffer.size() - filled);
            std::memcpy(m_buffer.data() + filled, m_unread.data(), n);
            m_unread.erase(m_unread.begin(), m_unread.begin() + static_cast<std::ptrdiff_t>(n));
            filled += n;
        } else {
            const ssize_t n = ::read(m_fd, m_buffer.data() + filled, m_buffer.size() - filled);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                m_error = std::strerror(errno);
                m_ended = true;
                break;
            }
            if (n == 0) {
                m_ended = true;
                break;
            }
            filled += static_cast<std::size_t>(n);
        }
        const std::size_t whole = filled / m_frameBytes * m_frameBytes;
        m_carry = filled - whole;
        if (whole == 0) continue;
        m_carryAt = whole;
        m_delivered += whole;
        return {m_buffer.data(), whole};
    }
    return {};
}
