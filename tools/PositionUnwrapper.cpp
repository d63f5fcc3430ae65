#include "PositionUnwrapper.h"

void PositionUnwrapper::Reset() {
    m_reference = 0;
    m_last = 0;
}

void PositionUnwrapper::Advance(std::uint32_t decoderPosition) {
    // Unsigned subtraction counts across a wrap: 5 after 2^32 - 3 is 8 samples on.
    m_reference += static_cast<std::uint32_t>(decoderPosition - m_last);
    m_last = decoderPosition;
}

std::int64_t PositionUnwrapper::Unwrap(std::int32_t position) const {
    // The signed difference of the low 32 bits is the distance to the nearest candidate.
    const auto low = static_cast<std::uint32_t>(position);
    const auto distance = static_cast<std::int32_t>(low - static_cast<std::uint32_t>(m_reference));
    const std::int64_t unwrapped = m_reference + distance;
    // A position a little before the stream's start (none is) must not print as negative.
    return unwrapped < 0 ? unwrapped + (std::int64_t{1} << 32) : unwrapped;
}
