#include "EventLanes.h"

#include <algorithm>
#include <cstdio>

#include "DetectorTable.h"
#include "EventRecord.h"

namespace {

struct EventLane {
    std::string_view event;
    std::string_view lane;
};
// Which detector reports which event. Caller ID's events go to "cid"; a decode that
// watches call-waiting caller ID alone gets them in "cidcw" (see the constructor).
constexpr EventLane kEventLanes[] = {
    {"OnDTMF", "dtmf"},
    {"OnCallerID", "cid"},
    {"OnVMWI", "vmwi"},
    {"OnToneDetected", "tones"},
    {"OnMF", "mf"},
    {"OnPaging", "paging"},
    {"OnSIT", "sit"},
    {"OnTTY", "tty"},
    {"OnSAME", "same"},
    {"OnSAMEelement", "same"},
    {"OnFSK", "fsk"},
    {"OnSilenceStart", "frequency"},
    {"OnSilenceEnd", "frequency"},
    {"OnFrequencyDetected", "frequency"},
    {"OnSpectrumData", "spectrum"},
};

constexpr std::string_view kSpectrumLane = "spectrum";

// The summary without the words that name its kind, which the lane already says.
std::string After(const std::string& summary, std::string_view prefix) {
    return summary.starts_with(prefix) ? summary.substr(prefix.size()) : summary;
}

std::string Text(const EventRecord::Json& members, const char* name) {
    const auto it = members.find(name);
    return it != members.end() && it->is_string() ? it->get<std::string>() : std::string();
}

double Number(const EventRecord::Json& members, const char* name) {
    const auto it = members.find(name);
    return it != members.end() && it->is_number() ? it->get<double>() : 0.0;
}

// To the hertz: a label, not a measurement (decode --json has the exact figure).
std::string Hz(double frequency) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", frequency);
    return text;
}

}  // namespace

EventLanes::EventLanes(const std::vector<std::string>& detectors) {
    for (const DetectorTable::Detector& d : DetectorTable::All())
        if (DetectorTable::Chosen(d.name, detectors)) LaneNamed(d.name);
}

std::string_view EventLanes::LaneOf(std::string_view event) {
    for (const EventLane& e : kEventLanes)
        if (e.event == event) return e.lane;
    return {};
}

EventLanes::Lane& EventLanes::LaneNamed(std::string_view name) {
    for (Lane& lane : m_lanes)
        if (lane.name == name) return lane;
    Lane& lane = m_lanes.emplace_back();
    lane.name = name;
    if (name == kSpectrumLane) lane.style = Style::kDensity;
    return lane;
}

void EventLanes::Add(const EventRecord& record, std::optional<double> seconds) {
    std::string_view name = LaneOf(record.Event());
    if (name.empty()) return;
    if (name == "cid") {
        bool cid = false, cidcw = false;
        for (const Lane& lane : m_lanes) {
            cid = cid || lane.name == "cid";
            cidcw = cidcw || lane.name == "cidcw";
        }
        if (!cid && cidcw) name = "cidcw";
    }
    Lane& lane = LaneNamed(name);
    if (!seconds) {
        ++lane.untimed;
        return;
    }
    const std::string& event = record.Event();
    const EventRecord::Json& members = record.Members();
    if (event == "OnSilenceStart") {
        // A second start without an end in between keeps the first.
        if (!m_silenceStart) m_silenceStart = *seconds;
        return;
    }
    if (event == "OnSilenceEnd") {
        // An end whose start came before the recording (or the stretch decoded) began
        // reaches back by its duration.
        const double start = m_silenceStart ? *m_silenceStart : *seconds - Number(members, "duration") / 1000.0;
        lane.marks.push_back({start, *seconds, "", true});
        m_silenceStart.reset();
        return;
    }
    if (event == "OnFrequencyDetected") {
        std::string label = Hz(Number(members, "Frequency"));
        if (Number(members, "secondFreq") != -1.0) label += " + " + Hz(Number(members, "secondFreq"));
        label += " Hz";
        lane.marks.push_back({*seconds, *seconds + Number(members, "duration") / 1000.0, label});
        return;
    }
    lane.marks.push_back({*seconds, *seconds, lane.style == Style::kDensity ? std::string() : Label(record)});
}

void EventLanes::Finish(double endSeconds) {
    if (!m_silenceStart) return;
    LaneNamed("frequency").marks.push_back({*m_silenceStart, std::max(endSeconds, *m_silenceStart), "", true});
    m_silenceStart.reset();
}

std::string EventLanes::Label(const EventRecord& record) {
    const std::string& event = record.Event();
    const std::string& summary = record.Summary();
    const EventRecord::Json& members = record.Members();
    if (event == "OnCallerID") {
        if (std::string number = Text(members, "CallerNumber"); !number.empty()) return number;
        if (std::string name = Text(members, "Name"); !name.empty()) return name;
        const std::string rest = After(summary, "Caller ID");
        return rest.empty() ? "caller ID" : After(rest, " ");
    }
    if (event == "OnSIT") {
        if (std::string name = Text(members, "SITName"); !name.empty()) return name;
        return After(summary, "SIT ");
    }
    if (event == "OnToneDetected") return After(summary, "Tone ");
    if (event == "OnSAME") return After(summary, "SAME header ");
    if (event == "OnSAMEelement") return After(After(summary, "SAME "), "SAME_");
    if (event == "OnVMWI") return "MWI " + After(summary, "Message waiting ");
    // Keys and joined text: "DTMF 5", "TTY HELLO" without the kind.
    const std::size_t space = summary.find(' ');
    return space == std::string::npos ? summary : summary.substr(space + 1);
}
