#include "EventPrinter.h"

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

}  // namespace

void EventPrinter::Attach(PhoneVornix& c) {
    auto key = [this](const char* event, const char* label) {
        return [this, event, label](PhoneVornix& sender, const KeyArgs& e) {
            Print(sender, EventRecord::Key(event, label, e));
        };
    };
    auto plain = [this](PhoneVornix& sender, const auto& e) { Print(sender, EventRecord::From(e)); };
    c.OnDTMF += key("OnDTMF", "DTMF");
    c.OnMF += key("OnMF", "MF");
    c.OnPaging += key("OnPaging", "Paging");
    c.OnTTY += [this](PhoneVornix& sender, const KeyArgs& e) { PrintText(sender, kTty, e); };
    c.OnFSK += [this](PhoneVornix& sender, const KeyArgs& e) { PrintText(sender, kFsk, e); };
    c.OnSilenceStart += plain;
    c.OnSilenceEnd += plain;
    c.OnFrequencyDetected += plain;
    c.OnCallerID += plain;
    c.OnVMWI += plain;
    c.OnToneDetected += plain;
    c.OnSAME += plain;
    c.OnSAMEelement += plain;
    c.OnSIT += plain;
    c.OnSpectrumData += [this](PhoneVornix& sender, const EventArgs&) {
        // Read while the event runs: the spectrum is the decoder's until the next block.
        EventRecord::Spectrum spectrum;
        spectrum.position = static_cast<std::int32_t>(sender.DecodePosition());
        double first = 0.0, second = 0.0;
        if (sender.GetCenterFreqs(first, second)) {
            spectrum.centreFrequencies.push_back(first);
            if (second != 0.0) spectrum.centreFrequencies.push_back(second);
        }
        if (m_spectrumBins) spectrum.binsDb = sender.SpectrumDB();
        Print(sender, EventRecord::SpectrumData(spectrum));
    };
}

void EventPrinter::SetFile(std::string file) {
    std::lock_guard lock(m_mutex);
    FlushText();
    m_file = std::move(file);
}

void EventPrinter::Print(PhoneVornix& component, const EventRecord& record) {
    std::optional<double> seconds;
    if (record.Position()) seconds = component.Sample2Second(*record.Position());
    std::lock_guard lock(m_mutex);
    Write(record, seconds);
}

void EventPrinter::PrintText(PhoneVornix& component, TextKind kind, const KeyArgs& e) {
    const TextEvent& names = kTextEvents[kind];
    if (m_json) {
        Print(component, EventRecord::Key(names.event, names.label, e));
        return;
    }
    const double seconds = component.Sample2Second(e.Position());
    std::lock_guard lock(m_mutex);
    for (const TextLineJoiner::Line& line : m_text[kind].Add(e.RecvChar(), e.RawCode(), e.Position(), seconds))
        WriteLine(kind, line);
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
    for (TextKind kind : {kTty, kFsk})
        if (std::optional<TextLineJoiner::Line> line = m_text[kind].Flush()) WriteLine(kind, *line);
}

void EventPrinter::WriteLine(TextKind kind, const TextLineJoiner::Line& line) {
    const TextEvent& names = kTextEvents[kind];
    Write(EventRecord::Joined(names.event, names.label, line.text, line.position), line.seconds);
}

void EventPrinter::Write(const EventRecord& record, std::optional<double> seconds) {
    if (m_beforeWrite) m_beforeWrite();
    if (m_sink) {
        m_sink(record, seconds);
        return;
    }
    if (m_json) {
        // Texts from a recording may hold bytes that are not UTF-8; they are replaced
        // rather than ending the program.
        *m_out << record.ToJson(m_file, seconds).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        *m_out << record.ToLine(m_file, seconds) << '\n';
    }
    // A reader at the other end of a pipe sees each event as it happens.
    m_out->flush();
}
