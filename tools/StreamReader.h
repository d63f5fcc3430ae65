#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Reads a stream (standard input, a pipe, a file) as its bytes arrive: each Read waits
// for at least one byte and hands over whatever has come, never waiting to fill its
// buffer, so audio written slowly into a pipe reaches the decoder within a block of its
// being written. Only whole frames are handed over; the bytes of a frame cut between two
// reads wait for the rest.
class StreamReader {
public:
    static constexpr std::size_t kBufferBytes = 64 * 1024;

    // frameBytes: the size of one frame of the stream's format; 1 hands over every byte.
    explicit StreamReader(int fd, std::size_t frameBytes = 1);

    // Bytes put back to be handed over before anything read (what a format probe looked at).
    void Unread(std::span<const std::uint8_t> bytes);
    // The next whole frames, writable in place (a conversion may rewrite them); empty at
    // the end of the stream or after a failure. An incomplete last frame is dropped.
    std::span<std::uint8_t> Read();
    // Why the last Read failed; empty at a clean end.
    const std::string& Error() const { return m_error; }
    // Bytes handed over so far.
    std::uint64_t Delivered() const { return m_delivered; }

private:
    int m_fd;
    std::size_t m_frameBytes;
    std::vector<std::uint8_t> m_buffer;
    // A part frame: m_carry bytes at m_carryAt, moved to the front at the next Read.
    std::size_t m_carry = 0;
    std::size_t m_carryAt = 0;
    std::vector<std::uint8_t> m_unread;
    std::string m_error;
    std::uint64_t m_delivered = 0;
    bool m_ended = false;
};
