#include "rtp/TelephoneEvent.h"

std::optional<TelephoneEvent> TelephoneEvent::Parse(std::span<const std::uint8_t> payload) {
    if (payload.size() < kBlockSize) return std::nullopt;
    TelephoneEvent e;
    e.event = payload[0];
    e.end = (payload[1] & 0x80) != 0;
    // Bit 6 is reserved: ignored whatever a sender puts there.
    e.volume = payload[1] & 0x3F;
    e.duration = static_cast<std::uint32_t>(payload[2]) << 8 | payload[3];
    return e;
}

std::optional<char> TelephoneEvent::Key(int event) {
    if (event >= 0 && event <= 9) return static_cast<char>('0' + event);
    if (event == 10) return '*';
    if (event == 11) return '#';
    if (event >= 12 && event <= 15) return static_cast<char>('A' + (event - 12));
    return std::nullopt;
}
