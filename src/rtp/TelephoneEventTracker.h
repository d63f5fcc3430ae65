#pragma once

#include <cstdint>
#include <optional>

#include "rtp/TelephoneEvent.h"

// Tells the first packet of each telephone event from the rest of it. A sender repeats an
// event's packets while it lasts (same RTP timestamp, growing duration), sends its end
// packet three times, and may retransmit any of them; the event is reported once, at the
// first of its packets that arrives. Packets must come in sequence order.
class TelephoneEventTracker {
public:
    struct Counts {
        std::uint64_t packets = 0;     // event packets seen
        std::uint64_t events = 0;      // distinct events started
        std::uint64_t keys = 0;        // of those, the ones that are keys
        std::uint64_t otherEvents = 0; // of those, the ones that are not (flash, tones)
        std::uint64_t stale = 0;       // packets of an event older than the current one
    };

    // The key, when this packet starts a new event that is a key.
    std::optional<char> Push(std::uint32_t timestamp, const TelephoneEvent& event);

    const Counts& Stats() const { return m_counts; }

private:
    bool IsNewEvent(std::uint32_t timestamp, const TelephoneEvent& event) const;

    bool m_any = false;
    std::uint32_t m_timestamp = 0;
    int m_event = -1;
    bool m_ended = false;
    std::uint32_t m_duration = 0;
    Counts m_counts;
};
