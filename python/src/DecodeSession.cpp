#include "DecodeSession.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "ChannelLevels.h"
#include "InputCheck.h"
#include "RecordingReader.h"
#include "StreamFeeder.h"
#include "StreamReader.h"
#include "audio/StreamFormats.h"
#include "platform/HResult.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

namespace {

const WAVEFORMATEX& FormatOf(const std::vector<std::uint8_t>& record) {
    return *reinterpret_cast<const WAVEFORMATEX*>(record.data());
}

// The command's help is no decoding setting.
bool PassedOn(const CLI::Option& option) {
    const std::vector<std::string>& names = option.get_lnames();
    return !names.empty() && names.front() != "help" && names.front() != "help-all";
}

// "name: plain: library text", the command's line without its program name.
std::string Line(const std::string& name, const std::string& plain, const std::string& libraryText = {}) {
    const std::string line = InputCheck::Line(name, plain, libraryText);
    constexpr std::string_view kProgram = "vornix: ";
    return line.substr(line.rfind(kProgram, 0) == 0 ? kProgram.size() : 0);
}

}  // namespace

struct DecodeSession::Lane {
    std::unique_ptr<PhoneVornix> component;
    EventPrinter::Stream stream;
};

std::vector<DecodeSession::OptionName> DecodeSession::Options() {
    CLI::App app;
    DecodeOptions options(true);
    options.Register(app);
    options.RegisterRawInput(app);
    std::vector<OptionName> names;
    for (const CLI::Option* option : app.get_options()) {
        if (!PassedOn(*option)) continue;
        // A flag expects no value.
        names.push_back({option->get_lnames().front(), option->get_expected_min() != 0});
    }
    return names;
}

DecodeSession::DecodeSession(const std::vector<std::string>& args) {
    m_app.name("vornix decode");
    m_options.Register(m_app);
    m_options.RegisterRawInput(m_app);
    std::vector<const char*> argv{"vornix"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    m_app.parse(static_cast<int>(argv.size()), argv.data());

    // The command's set-up (DecodeCommand::Run): a component per decoded channel.
    const int lanes = m_options.BothChannels() ? 2 : 1;
    for (int i = 0; i < lanes; ++i) {
        auto lane = std::make_unique<Lane>();
        lane->component = std::make_unique<PhoneVornix>();
        m_options.Apply(*lane->component);
        m_options.ApplyRawInput(*lane->component);
        if (i == 1) lane->component->DecodeChannel(RIGHT_CHANNEL);
        m_lanes.push_back(std::move(lane));
    }
    if (lanes == 2) {
        m_lanes[0]->stream.channel = "left";
        m_lanes[1]->stream.channel = "right";
    }
    m_rawFormat.assign(g_dwmax_format_size, 0);
    StringToWaveFmt(m_lanes[0]->component->WaveFormatID(), m_rawFormat.data(), m_rawFormat.size());
    m_raw = m_options.Raw();
    const WAVEFORMATEX& format = FormatOf(m_rawFormat);
    const bool framed = format.wFormatTag == WAVE_FORMAT_PCM || format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
                        format.wFormatTag == WAVE_FORMAT_ALAW || format.wFormatTag == WAVE_FORMAT_MULAW;
    m_frameBytes = m_raw ? m_raw->FrameBytes() : framed && format.nBlockAlign > 0 ? format.nBlockAlign : 1;

    m_printer.SetSpectrumBins(m_options.SpectrumBins());
    for (const auto& lane : m_lanes) {
        Lane* l = lane.get();
        m_printer.Attach(*l->component, l->stream);
        // A file's progress comes at least once a second of audio: often enough to follow
        // the decoder's position across a wrap.
        l->component->OnProgress += [l](PhoneVornix& sender, const OnProgressArgs&) {
            l->stream.positions.Advance(sender.DecodePosition());
        };
    }
}

DecodeSession::~DecodeSession() = default;

std::vector<std::string> DecodeSession::TakeLines() {
    const std::string text = m_out.str();
    m_out.str({});
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

std::vector<std::string> DecodeSession::DecodeFile(const std::string& path, const std::string& name) {
    if (m_feeder) EndStream();
    m_warnings.clear();
    m_printer.SetFile(name);
    if (const std::optional<std::string> why = InputCheck::Refusal(path))
        throw ArgumentException(E_INVALIDARG, Line(path, *why));

    // Big-endian and signed 8-bit samples of a .raw file are converted here, as the
    // command does; they go through the stream path.
    if (m_raw && m_raw->NeedsConversion() && InputCheck::NamedRaw(path)) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw VornixException(E_FAIL, Line(path, InputCheck::Explain(path)));
        StreamReader reader(fd, m_raw->FrameBytes());
        try {
            StartStream(name);
            for (std::span<std::uint8_t> frames = reader.Read(); !frames.empty(); frames = reader.Read())
                FeedFrames(frames.data(), frames.size());
            EndStream();
        } catch (...) {
            ::close(fd);
            m_feeder.reset();
            throw;
        }
        ::close(fd);
        if (!reader.Error().empty()) throw VornixException(E_FAIL, Line(path, "reading the file failed: " + reader.Error()));
        return TakeLines();
    }

    const bool both = m_options.BothChannels();
    const RecordingReader probe(path, FormatOf(m_rawFormat), false);
    const int channels = probe.IsOK() ? probe.Channels() : 0;
    // A mono file has one channel to decode, whatever was asked.
    const std::size_t runs = both && channels != 1 ? 2 : 1;
    if (both) m_lanes[0]->stream.channel = channels == 1 ? "mono" : "left";
    if (!both && channels == 2) ReadLevels(path, name);
    for (std::size_t i = 0; i < runs; ++i) {
        Lane& lane = *m_lanes[i];
        lane.stream.positions.Reset();
        try {
            lane.component->Source(path);
        } catch (const VornixException& e) {
            m_out.str({});
            throw VornixException(e.HResult(), Line(path, InputCheck::Explain(path), e.what()));
        }
        lane.stream.positions.Advance(lane.component->DecodePosition());
        if (lane.stream.positions.Reference() == 0) {
            m_out.str({});
            throw VornixException(E_FAIL, Line(path, "no audio could be decoded from it (every packet failed, or its "
                                                     "samples have a width the decoder does not read)"));
        }
    }
    if (const std::optional<std::string> cut = InputCheck::Truncated(path))
        m_warnings.push_back(Line(path, *cut + "; the events up to its end are returned"));
    m_printer.Flush();
    return TakeLines();
}

void DecodeSession::StartStream(const std::string& name) {
    m_streamName = name;
    m_printer.SetFile(name);
    const WAVEFORMATEX& format = FormatOf(m_rawFormat);
    const bool both = m_options.BothChannels();
    const std::size_t lanes = both && format.nChannels != 1 ? 2 : 1;
    if (both) m_lanes[0]->stream.channel = format.nChannels == 1 ? "mono" : "left";
    std::vector<StreamFeeder::Lane> feeds;
    for (std::size_t i = 0; i < lanes; ++i) feeds.push_back({m_lanes[i]->component.get(), &m_lanes[i]->stream.positions});
    m_partial.clear();
    m_feeder = std::make_unique<StreamFeeder>(std::move(feeds), format);
    try {
        m_feeder->Start();
    } catch (...) {
        EndStream();
        throw;
    }
}

void DecodeSession::FeedFrames(const std::uint8_t* frames, std::size_t size) {
    if (size == 0) return;
    // The caller's bytes are read-only: a conversion rewrites a copy.
    if (m_raw && m_raw->NeedsConversion()) {
        m_scratch.assign(frames, frames + size);
        m_raw->Convert(m_scratch);
        frames = m_scratch.data();
    }
    if (!m_feeder->Feed({frames, size})) {
        EndStream();
        m_out.str({});
        throw VornixException(E_FAIL, Line(m_streamName, "the decoder refused the input", "The decoder refused the input."));
    }
}

void DecodeSession::EndStream() {
    if (!m_feeder) return;
    std::unique_ptr<StreamFeeder> feeder = std::move(m_feeder);
    m_partial.clear();
    feeder->End();
    m_printer.Flush();
    if (!m_options.BothChannels() && FormatOf(m_rawFormat).nChannels == 2)
        if (const ChannelLevels* levels = feeder->Levels()) WarnIfSilent(m_streamName, levels->Silent(0), levels->Silent(1));
}

void DecodeSession::ReadLevels(const std::string& path, const std::string& name) {
    const auto levels = RecordingReader::StereoLevels(path, FormatOf(m_rawFormat), m_options.RightChannel() ? 1 : 0);
    if (levels) WarnIfSilent(name, levels->Silent(0), levels->Silent(1));
}

void DecodeSession::WarnIfSilent(const std::string& name, bool leftSilent, bool rightSilent) {
    const bool right = m_options.RightChannel();
    if (!(right ? rightSilent && !leftSilent : leftSilent && !rightSilent)) return;
    const std::string chosen = right ? "right" : "left", other = right ? "left" : "right";
    m_warnings.push_back(Line(name, "the " + chosen + " channel is silent and the " + other + " channel is not; channel=\"" +
                                        other + "\" decodes that one, channel=\"both\" decodes both"));
}

std::vector<std::string> DecodeSession::Feed(const std::uint8_t* data, std::size_t size, const std::string& name) {
    if (!m_feeder) {
        m_warnings.clear();
        StartStream(name);
    }
    try {
        // The frame begun in the last piece first.
        if (!m_partial.empty()) {
            const std::size_t missing = std::min(m_frameBytes - m_partial.size(), size);
            m_partial.insert(m_partial.end(), data, data + missing);
            data += missing;
            size -= missing;
            if (m_partial.size() < m_frameBytes) return TakeLines();
            const std::vector<std::uint8_t> frame = std::exchange(m_partial, {});
            FeedFrames(frame.data(), frame.size());
        }
        const std::size_t whole = size - size % m_frameBytes;
        FeedFrames(data, whole);
        m_partial.assign(data + whole, data + size);
    } catch (...) {
        EndStream();
        throw;
    }
    return TakeLines();
}

std::vector<std::string> DecodeSession::End() {
    EndStream();
    return TakeLines();
}
