#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class EventRecord;

// The events of a decode sorted into one lane per detector for a picture (vornix plot):
// each event goes to the lane of the detector that reports it, found by its event name,
// as a point in time with a short label (the key, the caller's number, the SIT kind, a
// tone, a line of text, a SAME header) or as a span (a silence from its start to its end,
// a detected frequency for its duration). Spectrum reports come in the thousands: their
// lane counts them per moment instead of labelling each.
class EventLanes {
public:
    enum class Style {
        kPoints,   // marks with labels; spans where the events have durations
        kDensity,  // how many reports fell at each moment, unlabelled
    };
    struct Mark {
        double seconds;
        double endSeconds;  // the same as seconds for a point in time
        std::string label;
        bool quiet = false;  // a silence, drawn apart from the tones
    };
    struct Lane {
        std::string name;
        Style style = Style::kPoints;
        std::vector<Mark> marks;
        int untimed = 0;  // events without a position, which no mark can place
    };

    // One lane per chosen detector (names as --detect takes them, "all" for every one),
    // in the detector table's order.
    explicit EventLanes(const std::vector<std::string>& detectors);

    // The record of one event with its time. An event of a detector that has no lane yet
    // opens one after the others.
    void Add(const EventRecord& record, std::optional<double> seconds);
    // The recording ended at endSeconds: a silence still open ends there.
    void Finish(double endSeconds);

    const std::vector<Lane>& Lanes() const { return m_lanes; }

    // The detector whose lane an event goes to, by the event's name; empty for an event
    // no lane takes.
    static std::string_view LaneOf(std::string_view event);

private:
    Lane& LaneNamed(std::string_view name);
    static std::string Label(const EventRecord& record);

    std::vector<Lane> m_lanes;
    std::optional<double> m_silenceStart;
};
