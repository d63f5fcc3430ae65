#include "rtp/TelephoneEventTracker.h"

bool TelephoneEventTracker::IsNewEvent(std::uint32_t timestamp, const TelephoneEvent& event) const {
    if (!m_any) return true;
    if (timestamp == m_timestamp) return event.event != m_event;
    // An event too long for the 16-bit duration goes on in segments, each with a new
    // timestamp no later than where the previous segment's duration reached; a new press
    // of the same key starts after the previous one ended, and so beyond its duration.
    const auto step = static_cast<std::uint32_t>(timestamp - m_timestamp);
    const bool continues = event.event == m_event && !m_ended && step <= m_duration;
    return !continues;
}

std::optional<char> TelephoneEventTracker::Push(std::uint32_t timestamp, const TelephoneEvent& event) {
    ++m_counts.packets;
    // A retransmission of an earlier event, behind the current one on the RTP clock
    // (wrap-around taken into account).
    if (m_any && static_cast<std::int32_t>(timestamp - m_timestamp) < 0) {
        ++m_counts.stale;
        return std::nullopt;
    }
    const bool isNew = IsNewEvent(timestamp, event);
    if (!isNew) {
        if (timestamp != m_timestamp) {
            // The next segment of a long event: its duration counts from its own timestamp.
            m_timestamp = timestamp;
            m_duration = event.duration;
            m_ended = event.end;
        } else {
            m_ended = m_ended || event.end;
            if (event.duration > m_duration) m_duration = event.duration;
        }
        return std::nullopt;
    }
    m_any = true;
    m_timestamp = timestamp;
    m_event = event.event;
    m_ended = event.end;
    m_duration = event.duration;
    ++m_counts.events;
    const std::optional<char> key = TelephoneEvent::Key(event.event);
    if (key)
        ++m_counts.keys;
    else
        ++m_counts.otherEvents;
    return key;
}
