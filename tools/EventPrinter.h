#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "PositionUnwrapper.h"
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
//
// Positions and seconds are printed as 64-bit values: the decoder's 32-bit positions are
// unwrapped against where the component's stream is (Stream::positions).
class EventPrinter {
public:
    // Where a printer hands its records instead of printing them: each record (TTY text
    // and FSK data joined into lines) with its time in seconds, when it has a position.
    using Sink = std::function<void(const EventRecord& record, std::optional<double> seconds)>;
    using WallClock = std::function<std::optional<std::chrono::system_clock::time_point>(std::int64_t position)>;

    // What the printer adds to the events of one component. Its owner keeps it, and
    // advances its positions as the stream goes on.
    struct Stream {
        // The channel the component decodes, when both channels of a stereo input are
        // decoded ("left", "right"; "mono" for the one channel of a mono input); empty:
        // the events carry no "Channel".
        std::string channel;
        PositionUnwrapper positions;
        // Live audio, or audio captured with its time: the wall-clock time of a
        // position, printed as "Time".
        WallClock clock;
        // Members every event of this stream carries after its own (a captured call's
        // "Stream" and "CallID"), in this order; readable lines show them after the file.
        std::vector<std::pair<std::string, std::string>> labels;
        // Whether key events say where the key was found: "Source" "audio" for keys heard
        // in the audio, beside keys that came out of band (PrintOutOfBandKey).
        bool keySource = false;
    };

    EventPrinter(std::ostream& out, bool json) : m_out(&out), m_json(json) {}
    // Collects the events (vornix plot) rather than printing them.
    explicit EventPrinter(Sink sink) : m_json(false), m_sink(std::move(sink)) {}

    // Subscribes to every detection event (not OnDebug and OnProgress, which are not
    // detections). The printer, and the stream, must outlive the component's runs.
    void Attach(Orvane::VornixNet::PhoneVornix& component, Stream& stream);
    // With a stream of the printer's own: one channel, positions unwrapped from the last
    // event's on.
    void Attach(Orvane::VornixNet::PhoneVornix& component);

    // A key that came beside the audio rather than in it (an RTP telephone event), at a
    // 64-bit position of the component's stream: an OnDTMF with "Source" "rfc4733". The
    // component must have been attached with this stream.
    void PrintOutOfBandKey(Orvane::VornixNet::PhoneVornix& component, Stream& stream, char key, std::int64_t position);

    // The name printed as "file" from now on; the text of the file before is printed first.
    void SetFile(std::string file);
    // Whether spectrum events carry every bin (--spectrum-bins).
    void SetSpectrumBins(bool on) { m_spectrumBins = on; }
    // Called before each line, to take a progress bar off the terminal first.
    void BeforeWrite(std::function<void()> hook) { m_beforeWrite = std::move(hook); }

    // Prints the text in progress: at the end of a file or of listening.
    void Flush();
    // Prints the text in progress when no character has come for this long, so a live
    // conversation that stops without a line end still shows.
    void FlushIdle(std::chrono::steady_clock::duration idle);

    // ISO 8601 local time with milliseconds and the offset from UTC:
    // 2024-05-01T14:03:27.512+02:00.
    static std::string IsoTime(std::chrono::system_clock::time_point time);

private:
    enum TextKind { kTty, kFsk };
    // The stamp of one event: where it is and when.
    struct Stamp {
        std::optional<std::int64_t> position;
        std::optional<double> seconds;
        std::optional<std::chrono::system_clock::time_point> time;
    };
    // One attached component: its stream and its text in progress, with the stamp of the
    // line's first character. The stamp is taken when the character comes, on the thread
    // that feeds, since a line may be ended later from another (FlushIdle).
    struct Lane {
        Stream* stream;
        TextLineJoiner text[2] = {TextLineJoiner(TextLineJoiner::Kind::Text), TextLineJoiner(TextLineJoiner::Kind::Data)};
        Stamp lineStart[2];
    };

    Stamp StampOf(Orvane::VornixNet::PhoneVornix& component, const Lane& lane, std::optional<std::int32_t> position) const;
    void Print(Orvane::VornixNet::PhoneVornix& component, Lane& lane, EventRecord record);
    void PrintText(Orvane::VornixNet::PhoneVornix& component, Lane& lane, TextKind kind,
                   const Orvane::VornixNet::KeyArgs& e);
    // The callers hold m_mutex.
    void Write(const Lane& lane, const EventRecord& record, const Stamp& stamp);
    void WriteLine(const Lane& lane, TextKind kind, const TextLineJoiner::Line& line, Stamp stamp);
    void FlushText();

    std::ostream* m_out = nullptr;
    bool m_json;
    bool m_spectrumBins = false;
    Sink m_sink;
    std::mutex m_mutex;
    std::string m_file;
    std::function<void()> m_beforeWrite;
    std::vector<std::unique_ptr<Lane>> m_lanes;
    std::vector<std::unique_ptr<Stream>> m_ownStreams;
    std::chrono::steady_clock::time_point m_lastText;
};
