#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "DecodeOptions.h"
#include "EventPrinter.h"
#include "RawFormat.h"

namespace Orvane::VornixNet {
class PhoneVornix;
}
class StreamFeeder;

// What vornix.decode and vornix.Decoder run: the command's own decoding set-up (its
// options, read from the same command line, its components, one per channel with
// channel="both", and its printer), with the events handed back as the JSON lines
// `vornix decode --json` prints, rather than printed. Python turns each line into a dict,
// so a module's event has exactly the command's members and values.
//
// Nothing here touches Python: the module calls it with the interpreter released.
class DecodeSession {
public:
    // A decode option of the command: its long name and whether it takes a value.
    struct OptionName {
        std::string name;
        bool takesValue;
    };
    // Every option decode takes that the module passes on (not --json, --debug, the
    // files or the help).
    static std::vector<OptionName> Options();

    // args: options as on the command's line ("--detect", "dtmf,cid", "--fft-size", "512").
    // A malformed or unknown option is a CLI::ParseError; a value the component refuses,
    // ArgumentException.
    explicit DecodeSession(const std::vector<std::string>& args);
    ~DecodeSession();
    DecodeSession(const DecodeSession&) = delete;
    DecodeSession& operator=(const DecodeSession&) = delete;

    // A whole file, as `vornix decode FILE` decodes it; name is the events' "file". Throws
    // VornixException (with the command's wording of what is wrong with the file) when it
    // cannot be decoded. A file cut short is decoded to its end, and Warning() says so.
    std::vector<std::string> DecodeFile(const std::string& path, const std::string& name);

    // A stream in the raw format of the options (rate, encoding, channels), in pieces of
    // any size: the bytes of a frame cut between two pieces wait for the rest. The first
    // piece starts the stream; End ends it, and the next piece starts another, from
    // position 0. Each returns the events that its piece completed.
    std::vector<std::string> Feed(const std::uint8_t* data, std::size_t size, const std::string& name);
    std::vector<std::string> End();
    // Bytes of one frame of the raw format.
    std::size_t FrameBytes() const { return m_frameBytes; }

    // What the command warns of about the last input (a copy cut short, a chosen channel
    // that is silent while the other is not), taken once.
    std::vector<std::string> TakeWarnings() { return std::exchange(m_warnings, {}); }

private:
    struct Lane;

    void StartStream(const std::string& name);
    // Whole frames to every lane, converted first when the encoding needs it.
    void FeedFrames(const std::uint8_t* frames, std::size_t size);
    void EndStream();
    std::vector<std::string> TakeLines();
    // The command's warning for a stereo input whose chosen channel is silent and the
    // other not; ReadLevels reads them from a file, as far as it must.
    void WarnIfSilent(const std::string& name, bool leftSilent, bool rightSilent);
    void ReadLevels(const std::string& path, const std::string& name);

    CLI::App m_app;  // the options' parsed state lives in it
    DecodeOptions m_options{true};
    std::vector<std::unique_ptr<Lane>> m_lanes;
    std::vector<std::uint8_t> m_rawFormat;  // the stream format's record
    std::optional<RawFormat> m_raw;
    std::size_t m_frameBytes = 1;
    std::ostringstream m_out;
    EventPrinter m_printer{m_out, true};

    // While a stream runs.
    std::unique_ptr<StreamFeeder> m_feeder;
    std::string m_streamName;
    std::vector<std::uint8_t> m_partial;  // the start of a frame cut between pieces
    std::vector<std::uint8_t> m_scratch;  // frames to convert, when the encoding needs it
    std::vector<std::string> m_warnings;
};
