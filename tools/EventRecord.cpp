#include "EventRecord.h"

#include <cstdio>
#include <iterator>

#include "PrintableText.h"
#include "SameHeader.h"
#include "ToneDefinition.h"

using namespace Orvane::VornixNet;

namespace {

EventRecord::Json OptionalText(const std::optional<std::string>& text) {
    return text ? EventRecord::Json(*text) : EventRecord::Json(nullptr);
}

std::string Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::string EventRecord::Utf8(char16_t c) {
    std::uint32_t u = c;
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    std::string out;
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
    return out;
}

EventRecord EventRecord::Key(const char* event, const char* label, const KeyArgs& e) {
    const char16_t c = e.RecvChar();
    // A control character (a TTY shift, a binary FSK byte) is shown by its code.
    std::string shown = c > 0x20 && c != 0x7F ? Utf8(c) : "(code " + std::to_string(e.RawCode()) + ")";
    EventRecord r(event, std::string(label) + " " + shown, e.Position());
    r.m_members["RecvChar"] = Utf8(c);
    r.m_members["RawCode"] = e.RawCode();
    r.m_members["Position"] = e.Position();
    return r;
}

EventRecord EventRecord::OutOfBandKey(char key, std::int64_t position) {
    // Its own position is the low 32 bits, as the library would have given it.
    EventRecord r("OnDTMF", std::string("DTMF ") + key + " (rfc4733)", static_cast<std::int32_t>(position));
    r.m_members["RecvChar"] = std::string(1, key);
    r.m_members["RawCode"] = static_cast<unsigned char>(key);
    r.m_members["Position"] = position;
    r.m_members["Source"] = "rfc4733";
    return r;
}

EventRecord EventRecord::Joined(const char* event, const char* label, const std::string& text, std::int32_t position) {
    return EventRecord(event, std::string(label) + " " + text, position);
}

const char* EventRecord::SameStatusName(std::int32_t status) {
    static const char* const kNames[] = {"SAME_UNKNOWN",    "SAME_TEXT1",     "SAME_TEXT2",
                                         "SAME_TEXT3",      "SAME_WARN_ALARM", "SAME_VOICE_MSG",
                                         "SAME_NNNN_1",     "SAME_NNNN_2",    "SAME_NNNN_3"};
    return status >= 0 && status < static_cast<std::int32_t>(std::size(kNames)) ? kNames[status] : "";
}

EventRecord EventRecord::From(const OnSilenceStartArgs& e) {
    EventRecord r("OnSilenceStart", "Silence start", e.StartPos(), "StartPos");
    r.m_members["StartPos"] = e.StartPos();
    return r;
}

EventRecord EventRecord::From(const OnSilenceEndArgs& e) {
    EventRecord r("OnSilenceEnd", "Silence end, " + std::to_string(e.duration()) + " ms", e.EndPos(), "EndPos");
    r.m_members["EndPos"] = e.EndPos();
    r.m_members["duration"] = e.duration();
    return r;
}

EventRecord EventRecord::From(const OnFrequencyDetectedArgs& e) {
    std::string summary = "Frequency " + Printf("%g", e.Frequency()) + " Hz";
    if (e.secondFreq() != -1.0) summary += " + " + Printf("%g", e.secondFreq()) + " Hz";
    summary += ", " + std::to_string(e.duration()) + " ms";
    EventRecord r("OnFrequencyDetected", summary, e.StartPos(), "StartPos");
    r.m_members["Frequency"] = e.Frequency();
    r.m_members["secondFreq"] = e.secondFreq();
    r.m_members["duration"] = e.duration();
    r.m_members["StartPos"] = e.StartPos();
    return r;
}

EventRecord EventRecord::From(const OnCallerIDArgs& e) {
    std::string summary = "Caller ID";
    if (e.Status() == CID_STATUS_BAD_CHECKSUM) {
        summary += " (bad checksum)";
    } else {
        if (e.CallerNumber()) summary += " number=" + *e.CallerNumber();
        if (e.Name()) summary += " name=" + *e.Name();
        if (e.sDateTime()) summary += " date=" + *e.sDateTime();
        if (e.CalledNumber()) summary += " called=" + *e.CalledNumber();
    }
    EventRecord r("OnCallerID", summary, e.Position());
    r.m_members["Name"] = OptionalText(e.Name());
    r.m_members["CallerNumber"] = OptionalText(e.CallerNumber());
    r.m_members["CalledNumber"] = OptionalText(e.CalledNumber());
    r.m_members["sDateTime"] = OptionalText(e.sDateTime());
    r.m_members["RawData"] = e.RawData() ? Json(*e.RawData()) : Json(nullptr);
    r.m_members["Status"] = static_cast<std::int32_t>(e.Status());
    r.m_members["Position"] = e.Position();
    return r;
}

EventRecord EventRecord::From(const OnVMWIArgs& e) {
    const char* state = e.Status() == VMWI_ON ? "on" : e.Status() == VMWI_OFF ? "off" : "unknown";
    EventRecord r("OnVMWI", std::string("Message waiting ") + state, e.Position());
    r.m_members["Status"] = static_cast<std::int32_t>(e.Status());
    r.m_members["ParamsData"] = e.ParamsData();
    r.m_members["Position"] = e.Position();
    return r;
}

EventRecord EventRecord::From(const OnToneDetectedArgs& e) {
    // A built-in tone of --tone is named; the user's own tones are known by their ID.
    const ToneDefinition* builtIn = ToneDefinition::BuiltIn(e.AppSpecific());
    const std::string id = std::to_string(e.AppSpecific());
    EventRecord r("OnToneDetected", builtIn ? "Tone " + std::string(builtIn->name) + " (id " + id + ")" : "Tone " + id,
                  e.Position());
    r.m_members["AppSpecific"] = e.AppSpecific();
    r.m_members["Position"] = e.Position();
    return r;
}

// The header's fields when it parses, else its text: it came off the air, so its
// unprintable bytes are shown as codes.
EventRecord EventRecord::From(const OnSAMEArgs& e) {
    const std::optional<SameHeader> header = SameHeader::Parse(e.RawData());
    EventRecord r("OnSAME",
                  header ? "SAME header " + PrintableText::Escape(header->Summary())
                         : "SAME header (not parsed) " + PrintableText::Escape(e.RawData()),
                  e.Position());
    r.m_members["RawData"] = e.RawData();
    r.m_members["Position"] = e.Position();
    return r;
}

EventRecord EventRecord::From(const OnSAMEelementArgs& e) {
    const char* name = SameStatusName(e.Status());
    const std::string status = *name != '\0' ? name : "status " + std::to_string(e.Status());
    EventRecord r("OnSAMEelement", "SAME " + status + " " + PrintableText::Escape(e.Context()), e.Position());
    r.m_members["Status"] = static_cast<std::int32_t>(e.Status());
    r.m_members["Context"] = e.Context();
    r.m_members["Position"] = e.Position();
    return r;
}

EventRecord EventRecord::From(const OnSITArgs& e) {
    EventRecord r("OnSIT", "SIT " + e.SITName(), e.Position());
    r.m_members["SITType"] = static_cast<std::int32_t>(e.SITType());
    r.m_members["SITName"] = e.SITName();
    r.m_members["Position"] = e.Position();
    return r;
}

EventRecord EventRecord::SpectrumData(const Spectrum& spectrum) {
    std::string summary = "Spectrum";
    for (std::size_t i = 0; i < spectrum.centreFrequencies.size(); ++i)
        summary += (i == 0 ? ", peaks " : " + ") + Printf("%g", spectrum.centreFrequencies[i]) + " Hz";
    if (spectrum.centreFrequencies.empty()) summary += ", no peak above the threshold";
    EventRecord r("OnSpectrumData", summary, spectrum.position);
    r.m_members["Position"] = spectrum.position;
    r.m_members["CenterFreqs"] = spectrum.centreFrequencies;
    if (!spectrum.binsDb.empty()) r.m_members["SpectrumDB"] = spectrum.binsDb;
    return r;
}

void EventRecord::Unwrapped(std::int64_t position) {
    if (m_members.contains(m_positionMember)) m_members[m_positionMember] = position;
}

EventRecord::Json EventRecord::ToJson(const std::string& file, std::optional<double> seconds) const {
    Json j = Json::object();
    j["file"] = file;
    j["event"] = m_event;
    for (const auto& [name, value] : m_members.items()) j[name] = value;
    if (m_position && seconds) j["Seconds"] = *seconds;
    return j;
}

std::string EventRecord::ToLine(const std::string& file, std::optional<double> seconds) const {
    std::string line = file + "  ";
    if (m_position && seconds) line += Printf("%.3f", *seconds) + " s  ";
    return line + m_summary;
}
