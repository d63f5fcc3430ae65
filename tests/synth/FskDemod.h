#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Measure.h"

// A receiver for test FSK written from first principles, independent of the modulator:
// every bit slot is measured at both tones and the stronger one wins; bytes come out of
// the bit stream the way a UART finds them. The command's tests include it too.
namespace fskdemod {

struct Tones {
    double markHz = 1200.0;
    double spaceHz = 2200.0;
    double baud = 1200.0;
};

// count bits of the stream that starts at sample start. Slot k is
// [start + k·rate/baud, start + (k + 1)·rate/baud); a sample at either edge may belong to
// the neighbour, so only the samples strictly inside are measured.
inline std::vector<std::uint8_t> Bits(std::span<const float> x, int rate, const Tones& tones,
                                      std::size_t start, std::size_t count) {
    std::vector<std::uint8_t> bits;
    const double length = rate / tones.baud;
    for (std::size_t k = 0; k < count; ++k) {
        const double from = static_cast<double>(start) + static_cast<double>(k) * length;
        const auto first = static_cast<std::size_t>(std::floor(from)) + 1;
        const auto last = static_cast<std::size_t>(std::ceil(from + length)) - 1;  // exclusive
        if (last > x.size() || last <= first) break;
        const auto slot = x.subspan(first, last - first);
        const double mark = measure::AmplitudeAt(slot, tones.markHz, rate);
        const double space = measure::AmplitudeAt(slot, tones.spaceHz, rate);
        bits.push_back(mark > space ? 1 : 0);
    }
    return bits;
}

// Bytes of an asynchronous stream: marks between frames are idle, a 0 starts a frame of
// eight data bits (least significant first) and a stop bit. Stops at the first frame whose
// stop bit is not a mark, setting framingError.
inline std::vector<std::uint8_t> UartBytes(std::span<const std::uint8_t> bits, bool& framingError) {
    std::vector<std::uint8_t> bytes;
    framingError = false;
    std::size_t i = 0;
    while (i < bits.size()) {
        if (bits[i] == 1) {
            ++i;
            continue;
        }
        if (i + 10 > bits.size()) break;
        if (bits[i + 9] != 1) {
            framingError = true;
            break;
        }
        std::uint8_t byte = 0;
        for (int b = 0; b < 8; ++b) byte = static_cast<std::uint8_t>(byte | (bits[i + 1 + b] << b));
        bytes.push_back(byte);
        i += 10;
    }
    return bytes;
}

// Mark bits at the start of bits before the first space.
inline std::size_t LeadingMarks(std::span<const std::uint8_t> bits) {
    std::size_t n = 0;
    while (n < bits.size() && bits[n] == 1) ++n;
    return n;
}

}  // namespace fskdemod
