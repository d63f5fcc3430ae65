#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "Measure.h"

// A receiver for test FSK, independent of the modulator: each bit slot goes to the tone
// stronger in it, and bytes come out of the bit stream as a UART finds them. The
// command's tests use it too.
namespace fskdemod {

struct Tones {
    double markHz = 1200.0;
    double spaceHz = 2200.0;
    double baud = 1200.0;
};

// Bits of the stream starting at sample start; slot k begins at start + k·rate/baud. The
// samples at a slot's edges may belong to a neighbour, so only those inside are measured.
inline std::vector<std::uint8_t> Bits(std::span<const float> x, int rate, const Tones& tones,
                                      std::size_t start, std::size_t count) {
    std::vector<std::uint8_t> bits;
    const double length = rate / tones.baud;
    for (std::size_t k = 0; k < count; ++k) {
        const double from = static_cast<double>(start) + static_cast<double>(k) * length;
        const auto first = static_cast<std::size_t>(std::floor(from)) + 1;
        const auto last = static_cast<std::size_t>(std::ceil(from + length)) - 1;
        if (last > x.size()) break;
        const auto slot = x.subspan(first, last - first);
        bits.push_back(measure::AmplitudeAt(slot, tones.markHz, rate) >
                               measure::AmplitudeAt(slot, tones.spaceHz, rate)
                           ? 1
                           : 0);
    }
    return bits;
}

// Marks are idle; a space starts a frame of eight data bits, least significant first, and
// a stop bit. Stops with framingError at a stop bit that is not a mark.
inline std::vector<std::uint8_t> UartBytes(std::span<const std::uint8_t> bits, bool& framingError) {
    std::vector<std::uint8_t> bytes;
    framingError = false;
    for (std::size_t i = 0; i + 10 <= bits.size();) {
        if (bits[i] == 1) {
            ++i;
            continue;
        }
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

inline std::size_t LeadingMarks(std::span<const std::uint8_t> bits) {
    std::size_t n = 0;
    while (n < bits.size() && bits[n] == 1) ++n;
    return n;
}

}  // namespace fskdemod
