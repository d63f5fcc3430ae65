#pragma once

#include <cstdint>

// The decoder counts sample positions in 32 bits: they wrap after 2^32 samples (and read
// as negative from 2^31 on, 12.4 hours at 48 kHz). The command knows how far the stream
// has gone, in 64 bits, and turns each 32-bit position back into the 64-bit one it stands
// for: the value with the same low 32 bits that lies nearest to where the stream is. An
// event is never more than 2^31 samples from the stream's position when it is raised, so
// the nearest value is the right one.
class PositionUnwrapper {
public:
    // A new stream starts at sample 0.
    void Reset();
    // The decoder's own (wrapping) position, told at least every 2^31 samples: after
    // each piece of audio fed, and at each progress report of a file.
    void Advance(std::uint32_t decoderPosition);
    // Where the stream is, in 64 bits.
    std::int64_t Reference() const { return m_reference; }
    // The 64-bit position a 32-bit event position stands for; never below 0.
    std::int64_t Unwrap(std::int32_t position) const;

private:
    std::int64_t m_reference = 0;
    std::uint32_t m_last = 0;
};
