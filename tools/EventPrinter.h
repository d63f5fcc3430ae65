#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "TextLineJoiner.h"

class EventRecord;
namespace Orvane::VornixNet {
class PhoneVornix;
class KeyArgs;
}  // namespace Orvane::VornixNet

// Prints every detection event of a component: a JSON object per event and line, or
// readable lines. Readable TTY text and FSK data are joined into lines of text (see
// TextLineJoiner) rather than printed one character a line. A line of text is printed when
// it ends, stamped with its first character's time; events that come while it is in
// progress (another detector's, or bytes the FSK data decoder frames out of a TTY call) are
// printed at once and leave it whole. Events may arrive on a capture thread while the main
// thread sets the next file's name, so printing is serialised.
class EventPrinter {
public:
    // Where a printer hands its records instead of printing them: each record (TTY text
    // and FSK data joined into lines) with its time in seconds, when it has a position.
    using Sink = std::function<void(const EventRecord& record, std::optional<double> seconds)>;

    EventPrinter(std::ostream& out, bool json) : m_out(&out), m_json(json) {}
    // Collects the events (vornix plot) rather than printing them.
    explicit EventPrinter(Sink sink) : m_json(false), m_sink(std::move(sink)) {}

    // Subscribes to every detection event (not OnDebug and OnProgress, which are not
    // detections). The printer must outlive the component's runs.
    void Attach(Orvane::VornixNet::PhoneVornix& component);

    // The name printed as "file" from now on; the text of the file before is printed first.
    void SetFile(std::string file);
    // Whether spectrum events carry every bin (--spectrum-bins).
    void SetSpectrumBins(bool on) { m_spectrumBins = on; }
    // Called before each line, to take a progress bar off the terminal first.
    void BeforeWrite(std::function<void()> hook) { m_beforeWrite = std::move(hook); }

    void Print(Orvane::VornixNet::PhoneVornix& component, const EventRecord& record);
    // Prints the text in progress: at the end of a file or of listening.
    void Flush();
    // Prints the text in progress when no character has come for this long, so a live
    // conversation that stops without a line end still shows.
    void FlushIdle(std::chrono::steady_clock::duration idle);

private:
    enum TextKind { kTty, kFsk };

    void PrintText(Orvane::VornixNet::PhoneVornix& component, TextKind kind, const Orvane::VornixNet::KeyArgs& e);
    // The callers hold m_mutex.
    void Write(const EventRecord& record, std::optional<double> seconds);
    void WriteLine(TextKind kind, const TextLineJoiner::Line& line);
    void FlushText();

    std::ostream* m_out = nullptr;
    bool m_json;
    bool m_spectrumBins = false;
    Sink m_sink;
    std::mutex m_mutex;
    std::string m_file;
    std::function<void()> m_beforeWrite;
    TextLineJoiner m_text[2] = {TextLineJoiner(TextLineJoiner::Kind::Text), TextLineJoiner(TextLineJoiner::Kind::Data)};
    std::chrono::steady_clock::time_point m_lastText;
};
