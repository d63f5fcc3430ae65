#include "EventPrinter.h"

#include "EventRecord.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

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
    c.OnTTY += key("OnTTY", "TTY");
    c.OnFSK += key("OnFSK", "FSK");
    c.OnSilenceStart += plain;
    c.OnSilenceEnd += plain;
    c.OnFrequencyDetected += plain;
    c.OnCallerID += plain;
    c.OnVMWI += plain;
    c.OnToneDetected += plain;
    c.OnSAME += plain;
    c.OnSAMEelement += plain;
    c.OnSIT += plain;
    c.OnSpectrumData += [this](PhoneVornix& sender, const EventArgs&) { Print(sender, EventRecord::SpectrumData()); };
}

void EventPrinter::SetFile(std::string file) {
    std::lock_guard lock(m_mutex);
    m_file = std::move(file);
}

void EventPrinter::Print(PhoneVornix& component, const EventRecord& record) {
    std::optional<double> seconds;
    if (record.Position()) seconds = component.Sample2Second(*record.Position());
    std::lock_guard lock(m_mutex);
    if (m_beforeWrite) m_beforeWrite();
    if (m_json) {
        // Texts from a recording may hold bytes that are not UTF-8; they are replaced
        // rather than ending the program.
        m_out << record.ToJson(m_file, seconds).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        m_out << record.ToLine(m_file, seconds) << '\n';
    }
    // A reader at the other end of a pipe sees each event as it happens.
    m_out.flush();
}
