#pragma once

#include <cstdint>
#include <optional>
#include <span>

// One out-of-band event block of a telephone-event payload: which event, whether this
// packet ends it, its volume (dBm0 below 0, as sent) and how long it has lasted so far in
// RTP clock ticks. A payload may carry several blocks (redundant copies of earlier
// events); the first is the current one.
struct TelephoneEvent {
    static constexpr std::size_t kBlockSize = 4;

    int event = 0;
    bool end = false;
    int volume = 0;
    std::uint32_t duration = 0;

    // Nothing when the payload is shorter than one block.
    static std::optional<TelephoneEvent> Parse(std::span<const std::uint8_t> payload);

    // The key an event stands for: events 0-9 are the digits, 10 '*', 11 '#', 12-15 'A'-'D'.
    // Nothing for the other events (flash, fax and modem tones...), which are not keys.
    static std::optional<char> Key(int event);
};
