#include "EventPrinter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "EventRecord.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

namespace {

struct TextEvent {
    const char* event;
    const char* label;
};
// By EventPrinter's TextKind.
constexpr TextEvent kTextEvents[] = {{"OnTTY", "TTY"}, {"OnFSK", "FSK"}};

// Seconds of a 64-bit position. Within 32 bits the library's own conversion, so the
// seconds are what they always were; beyond, the same division at the run's rate.
double Seconds(const PhoneVornix& component, std::int64_t position) {
    if (position <= std::numeric_limits<std::int32_t>::max()) return component.Sample2Second(static_cast<std::int32_t>(position));
    const double perSample = component.Sample2Second(1);
    if (perSample == 0.0) return 0.0;
    return static_cast<double>(position) / static_cast<double>(std::llround(1.0 / perSample));
}

}  // namespace

std::string EventPrinter::IsoTime(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto since = time.time_since_epoch();
    auto secondsPart = duration_cast<seconds>(since);
    auto millis = duration_cast<milliseconds>(since - secondsPart).count();
    if (millis < 0) {
        millis += 1000;
        secondsPart -= seconds(1);
    }
    const std::time_t t = static_cast<std::time_t>(secondsPart.count());
    std::tm local{};
    localtime_r(&t, &local);
    char date[32], zone[8];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    std::strftime(zone, sizeof zone, "%z", &local);  // +0200; ISO 8601 writes +02:00
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03d%.3s:%.2s", date, static_cast<int>(millis), zone, zone + 3);
    return text;
}

void EventPrinter::Attach(PhoneVornix& component) {
    m_ownStreams.push_back(std::make_unique<Stream>());
    Attach(component, *m_ownStreams.back());
}

void EventPrinter::Attach(PhoneVornix& c, Stream& stream) {
    m_lanes.push_back(std::make_unique<Lane>(Lane{&stream}));
    Lane* lane = m_lanes.back().get();
    auto key = [this, lane](const char* event, const char* label) {
        return [this, lane, event, label](PhoneVornix& sender, const KeyArgs& e) {
            Print(sender, *lane, EventRecord::Key(event, label, e));
        };
    };
    auto plain = [this, lane](PhoneVornix& sender, const auto& e) { Print(sender, *lane, EventRecord::From(e)); };
    c.OnDTMF += key("OnDTMF", "DTMF");
    c.OnMF += key("OnMF", "MF");
    c.OnPaging += key("OnPaging", "Paging");
    c.OnTTY += [this, lane](PhoneVornix& sender, const KeyArgs& e) { PrintText(sender, *lane, kTty, e); };
    c.OnFSK += [this, lane](PhoneVornix& sender, const KeyArgs& e) { PrintText(sender, *lane, kFsk, e); };
    c.OnSilenceStart += plain;
    c.OnSilenceEnd += plain;
    c.OnFrequencyDetected += plain;
    c.OnCallerID += plain;
    c.OnVMWI += plain;
    c.OnToneDetected += plain;
    c.OnSAME += plain;
    c.OnSAMEelement += plain;
    c.OnSIT += plain;
    c.OnSpectrumData += [this, lane](PhoneVornix& sender, const EventArgs&) {
        // Read while the event runs: the spectrum is the decoder's until the next block.
        EventRecord::Spectrum spectrum;
        spectrum.position = static_cast<std::int32_t>(sender.DecodePosition());
        double first = 0.0, second = 0.0;
        if (sender.GetCenterFreqs(first, second)) {
            spectrum.centreFrequencies.push_back(first);
            if (second != 0.0) spectrum.centreFrequencies.push_back(second);
        }
        if (m_spectrumBins) spectrum.binsDb = sender.SpectrumDB();
        Print(sender, *lane, EventRecord::SpectrumData(spectrum));
    };
}

void EventPrinter::PrintOutOfBandKey(PhoneVornix& component, Stream& stream, char key, std::int64_t position) {
    const auto lane = std::find_if(m_lanes.begin(), m_lanes.end(), [&stream](const auto& l) { return l->stream == &stream; });
    if (lane == m_lanes.end()) return;
    Stamp stamp;
    stamp.position = position;
    stamp.seconds = Seconds(component, position);
    if (stream.clock) stamp.time = stream.clock(position);
    std::lock_guard lock(m_mutex);
    Write(**lane, EventRecord::OutOfBandKey(key, position), stamp);
}

void EventPrinter::SetFile(std::string file) {
    std::lock_guard lock(m_mutex);
    FlushText();
    m_file = std::move(file);
}

EventPrinter::Stamp EventPrinter::StampOf(PhoneVornix& component, const Lane& lane,
                                          std::optional<std::int32_t> position) const {
    Stamp stamp;
    if (!position) return stamp;
    stamp.position = lane.stream->positions.Unwrap(*position);
    stamp.seconds = Seconds(component, *stamp.position);
    if (lane.stream->clock) stamp.time = lane.stream->clock(*stamp.position);
    return stamp;
}

void EventPrinter::Print(PhoneVornix& component, Lane& lane, EventRecord record) {
    const Stamp stamp = StampOf(component, lane, record.Position());
    if (stamp.position) record.Unwrapped(*stamp.position);
    std::lock_guard lock(m_mutex);
    Write(lane, record, stamp);
}

void EventPrinter::PrintText(PhoneVornix& component, Lane& lane, TextKind kind, const KeyArgs& e) {
    const TextEvent& names = kTextEvents[kind];
    if (m_json) {
        Print(component, lane, EventRecord::Key(names.event, names.label, e));
        return;
    }
    const Stamp stamp = StampOf(component, lane, e.Position());
    std::lock_guard lock(m_mutex);
    TextLineJoiner& joiner = lane.text[kind];
    const bool wasPending = joiner.Pending();
    const std::vector<TextLineJoiner::Line> lines = joiner.Add(e.RecvChar(), e.RawCode(), e.Position(), *stamp.seconds);
    // The first line that ends began with the line in progress, if there was one; any
    // other began with this character.
    for (std::size_t i = 0; i < lines.size(); ++i) WriteLine(lane, kind, lines[i], i == 0 && wasPending ? lane.lineStart[kind] : stamp);
    if (joiner.Pending() && (!wasPending || !lines.empty())) lane.lineStart[kind] = stamp;
    m_lastText = std::chrono::steady_clock::now();
}

void EventPrinter::Flush() {
    std::lock_guard lock(m_mutex);
    FlushText();
}

void EventPrinter::FlushIdle(std::chrono::steady_clock::duration idle) {
    std::lock_guard lock(m_mutex);
    if (std::chrono::steady_clock::now() - m_lastText >= idle) FlushText();
}

void EventPrinter::FlushText() {
    for (const auto& lane : m_lanes)
        for (TextKind kind : {kTty, kFsk})
            if (std::optional<TextLineJoiner::Line> line = lane->text[kind].Flush()) WriteLine(*lane, kind, *line, lane->lineStart[kind]);
}

void EventPrinter::WriteLine(const Lane& lane, TextKind kind, const TextLineJoiner::Line& line, Stamp stamp) {
    const TextEvent& names = kTextEvents[kind];
    stamp.seconds = line.seconds;
    Write(lane, EventRecord::Joined(names.event, names.label, line.text, line.position), stamp);
}

void EventPrinter::Write(const Lane& lane, const EventRecord& record, const Stamp& stamp) {
    if (m_beforeWrite) m_beforeWrite();
    if (m_sink) {
        m_sink(record, stamp.seconds);
        return;
    }
    const Stream& stream = *lane.stream;
    const std::string& channel = stream.channel;
    const bool heardKey = stream.keySource && record.Event() == "OnDTMF" && !record.Members().contains("Source");
    if (m_json) {
        EventRecord::Json j = record.ToJson(m_file, stamp.seconds);
        if (heardKey) j["Source"] = "audio";
        for (const auto& [name, value] : stream.labels) j[name] = value;
        if (!channel.empty()) j["Channel"] = channel;
        if (stamp.time) j["Time"] = IsoTime(*stamp.time);
        // Texts from a recording may hold bytes that are not UTF-8; they are replaced
        // rather than ending the program.
        *m_out << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        std::string source = m_file;
        for (const auto& label : stream.labels) source += "  " + label.second;
        if (!channel.empty()) source += "  " + channel;
        if (stamp.time) source += "  " + IsoTime(*stamp.time);
        *m_out << record.ToLine(source, stamp.seconds) << '\n';
    }
    // A reader at the other end of a pipe sees each event as it happens.
    m_out->flush();
}
