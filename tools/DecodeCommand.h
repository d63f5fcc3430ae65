#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "DecodeOptions.h"
#include "EventPrinter.h"
#include "audio/WaveFormat.h"

namespace CLI {
class App;
}
namespace Orvane::VornixNet {
class PhoneVornix;
}
class ProgressBar;

// vornix decode FILE...: decodes each file in turn (or raw PCM from stdin for "-") and
// prints its events. A file that fails is reported on stderr and the others are still
// decoded. With --channel both, each channel of a stereo input has a component of its
// own: a file's left channel is decoded, then its right; a stream feeds both at once.
class DecodeCommand {
public:
    explicit DecodeCommand(CLI::App& parent);
    ~DecodeCommand();
    bool Selected() const;
    int Run();

private:
    // A component and what the printer adds to its events.
    struct Lane {
        std::unique_ptr<Orvane::VornixNet::PhoneVornix> component;
        EventPrinter::Stream stream;
    };

    // One file through the decoder; false when it failed (said on stderr).
    bool DecodeFile(const std::string& file);
    // Standard input: headerless audio in the raw format, read as it arrives.
    bool DecodeStdin();
    // Audio read as it arrives (standard input, a raw file whose encoding the command
    // converts, a container decoded to PCM) fed to every lane: next() hands over the next
    // whole frames, empty at the end. format is the record of those frames; when it is
    // not the raw format, the components decode this one stream in it. convertRaw: the
    // frames are in the raw encoding, to be converted first. False (said on stderr) when
    // the decoder refused them; a failure to read is the caller's to say.
    bool DecodeStream(const std::string& name, const WAVEFORMATEX& format,
                      const std::function<std::span<std::uint8_t>()>& next, bool convertRaw);
    // A run after which the decoder has had no sample at all: said on stderr, true.
    bool NothingDecoded(Lane& lane, const std::string& name);
    // The warning for a stereo input whose chosen channel is silent and the other not.
    void WarnIfSilent(const std::string& name, bool leftSilent, bool rightSilent) const;
    // Whether the chosen channel of a stereo file is silent and the other not, read from
    // the file; stops reading as soon as the chosen channel is heard.
    void CheckChannels(const std::string& file);
    // The channels of a file as the decoder opens it; 0 when that cannot be told.
    int ChannelsOf(const std::string& file) const;

    CLI::App* m_command;
    DecodeOptions m_options{true};
    std::vector<std::string> m_files;
    bool m_json = false;
    bool m_debug = false;

    // While running.
    std::vector<std::unique_ptr<Lane>> m_lanes;
    std::vector<std::uint8_t> m_rawFormat;  // the stream format's record
    ProgressBar* m_bar = nullptr;
    EventPrinter* m_printer = nullptr;
};
