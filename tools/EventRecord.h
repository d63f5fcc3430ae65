#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "vornix/EventArgs.h"

// One event of the component in a form the command prints: the public event's name, the
// argument class's members under their own names, a short readable summary, and the
// sample position the event is stamped with (none for events without one). The event's
// position is the library's 32-bit one until the printer, which knows how far the stream
// has gone, replaces it with the 64-bit position it stands for (Unwrapped).
class EventRecord {
public:
    using Json = nlohmann::ordered_json;

    // Key events (OnDTMF, OnMF, OnPaging, OnTTY, OnFSK); label names the kind in summaries.
    static EventRecord Key(const char* event, const char* label, const Orvane::VornixNet::KeyArgs& e);
    // A key that came out of band (an RTP telephone event): an OnDTMF like one heard in
    // the audio, with "Source" "rfc4733" and a 64-bit position.
    static EventRecord OutOfBandKey(char key, std::int64_t position);
    // Characters of key events joined into one readable line (TTY text, FSK data), stamped
    // with its first character's position; readable output only, it has no JSON form.
    static EventRecord Joined(const char* event, const char* label, const std::string& text, std::int32_t position);
    static EventRecord From(const Orvane::VornixNet::OnSilenceStartArgs& e);
    static EventRecord From(const Orvane::VornixNet::OnSilenceEndArgs& e);
    static EventRecord From(const Orvane::VornixNet::OnFrequencyDetectedArgs& e);
    static EventRecord From(const Orvane::VornixNet::OnCallerIDArgs& e);
    static EventRecord From(const Orvane::VornixNet::OnVMWIArgs& e);
    static EventRecord From(const Orvane::VornixNet::OnToneDetectedArgs& e);
    static EventRecord From(const Orvane::VornixNet::OnSAMEArgs& e);
    static EventRecord From(const Orvane::VornixNet::OnSAMEelementArgs& e);
    static EventRecord From(const Orvane::VornixNet::OnSITArgs& e);
    // A new spectrum: the block position that completed it, its one or two strongest
    // peaks (none above the threshold: empty) and, when asked for, every bin in dB.
    struct Spectrum {
        std::int32_t position = 0;
        std::vector<double> centreFrequencies;
        std::vector<float> binsDb;  // empty: not asked for
    };
    static EventRecord SpectrumData(const Spectrum& spectrum);

    const std::string& Event() const { return m_event; }
    const Json& Members() const { return m_members; }
    const std::string& Summary() const { return m_summary; }
    // The event's own 32-bit position, as the library gave it.
    const std::optional<std::int32_t>& Position() const { return m_position; }
    // Puts the 64-bit position in place of the 32-bit one in the members (Position,
    // StartPos or EndPos).
    void Unwrapped(std::int64_t position);

    // {"file", "event", members..., "Seconds"}; Seconds only when the event has a position.
    Json ToJson(const std::string& file, std::optional<double> seconds) const;
    // "file  1.234 s  DTMF 5"; without a position the time is left out.
    std::string ToLine(const std::string& file, std::optional<double> seconds) const;

    // A UTF-16 code unit as UTF-8 text; a lone surrogate becomes U+FFFD.
    static std::string Utf8(char16_t c);
    // The name of a SAME element status (SAME_TEXT1 ...), empty outside the enumeration.
    static const char* SameStatusName(std::int32_t status);

private:
    EventRecord(std::string event, std::string summary, std::optional<std::int32_t> position,
                const char* positionMember = "Position")
        : m_event(std::move(event)), m_summary(std::move(summary)), m_position(position), m_positionMember(positionMember) {}

    std::string m_event;
    Json m_members = Json::object();
    std::string m_summary;
    std::optional<std::int32_t> m_position;
    const char* m_positionMember;
};
