#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "DecodeOptions.h"
#include "EventPrinter.h"
#include "audio/WaveFormat.h"

namespace Orvane::VornixNet {
class PhoneVornix;
}
class ProgressBar;

// What vornix decode does with one input, for one thread: its components (one, or one per
// channel with --channel both), the printer of their events and the position unwrappers
// live here, so every worker of a batch has its own and shares nothing with the others
// (events are raised on the thread that feeds the audio, inside the feeding call).
//
// Events go to one stream and the lines about the input (errors, warnings, --debug lines)
// to another: the terminal itself when one thread decodes, or a worker's buffers, which the
// command prints whole and in the order of the files.
class FileDecoder {
public:
    enum class Outcome { kDecoded, kFailed, kInterrupted };
    struct Result {
        Outcome outcome = Outcome::kFailed;
        double audioSeconds = 0.0;  // of the decoded channel (one of a pair)
    };
    struct Output {
        std::ostream* events;
        std::ostream* report;
        // The file's progress, only when this decoder has the terminal to itself.
        ProgressBar* bar = nullptr;
    };

    // Throws VornixException for settings the component refuses (a usage error).
    // stop: once set, the input being decoded is left at its next progress report (a
    // file) or piece (a stream), and the result says so.
    FileDecoder(const DecodeOptions& options, bool json, bool debug, Output output, const std::atomic<bool>* stop);
    ~FileDecoder();
    FileDecoder(const FileDecoder&) = delete;
    FileDecoder& operator=(const FileDecoder&) = delete;

    // One input: a file, or "-" for standard input. Never throws: a failure is said on
    // the report stream.
    Result Decode(const std::string& file);

private:
    // A component and what the printer adds to its events.
    struct Lane {
        std::unique_ptr<Orvane::VornixNet::PhoneVornix> component;
        EventPrinter::Stream stream;
    };

    bool DecodeFile(const std::string& file);
    // A pcap or pcapng file: each of its RTP streams decoded by a component of its own.
    bool DecodeCapture(const std::string& file);
    // A capture on standard input, whose first bytes the probe read.
    bool DecodeStdinCapture(std::span<const std::uint8_t> first);
    // Standard input: a wave or a container by its header, else raw PCM.
    bool DecodeStdin();
    // Audio read as it arrives (standard input, a raw file whose encoding the command
    // converts, a container decoded to PCM) fed to every lane: next() hands over the next
    // whole frames, empty at the end. format is the record of those frames; when it is
    // not the raw format, the components decode this one stream in it. convertRaw: the
    // frames are in the raw encoding, to be converted first. False (said on the report)
    // when the decoder refused them; a failure to read is the caller's to say.
    bool DecodeStream(const std::string& name, const WAVEFORMATEX& format,
                      const std::function<std::span<std::uint8_t>()>& next, bool convertRaw);
    // A run after which the decoder has had no sample at all: said, true.
    bool NothingDecoded(Lane& lane, const std::string& name);
    // The warning for a stereo input whose chosen channel is silent and the other not.
    void WarnIfSilent(const std::string& name, bool leftSilent, bool rightSilent);
    // Whether the chosen channel of a stereo file is silent and the other not, read from
    // the file; stops reading as soon as the chosen channel is heard.
    void CheckChannels(const std::string& file);
    // The channels of a file as the decoder opens it; 0 when that cannot be told.
    int ChannelsOf(const std::string& file) const;
    // One line about the input, the progress bar taken off first.
    void Report(const std::string& line);
    void Warn(const std::string& line);
    bool Stopping() const { return m_stop != nullptr && m_stop->load(std::memory_order_relaxed); }
    // Seconds of audio the first lane has been fed.
    double AudioSeconds() const;

    const DecodeOptions& m_options;
    bool m_json;
    bool m_debug;
    Output m_output;
    const std::atomic<bool>* m_stop;
    std::vector<std::unique_ptr<Lane>> m_lanes;
    std::vector<std::uint8_t> m_rawFormat;  // the stream format's record
    EventPrinter m_printer;
    std::string m_current;  // the input being decoded, for the progress bar
    bool m_interrupted = false;
    // The audio of a capture's streams, when the input was one.
    std::optional<double> m_captureSeconds;
};
