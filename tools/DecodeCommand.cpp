#include "DecodeCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include <CLI/CLI.hpp>

#include "ChannelLevels.h"
#include "ExitCode.h"
#include "InputCheck.h"
#include "ProgressBar.h"
#include "RecordingReader.h"
#include "StdinSource.h"
#include "StreamFeeder.h"
#include "StreamReader.h"
#include "Verbosity.h"
#include "audio/StreamFormats.h"
#include "platform/DebugOutput.h"
#include "platform/HResult.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

namespace {

// An input that opened but gave the decoder no audio at all.
constexpr const char* kNothingDecoded =
    "no audio could be decoded from it (every packet failed, or its samples have a width the decoder does not "
    "read; --debug shows the decoder's lines)";

const WAVEFORMATEX& FormatOf(const std::vector<std::uint8_t>& record) {
    return *reinterpret_cast<const WAVEFORMATEX*>(record.data());
}

}  // namespace

DecodeCommand::DecodeCommand(CLI::App& parent) {
    m_command = parent.add_subcommand("decode", "Decode sound files and print their events");
    m_command->add_option("FILE", m_files,
                          "Sound files (RIFF wave, MP3, FLAC, Ogg, M4A and any container libavformat recognises, "
                          ".raw/.pcm); - reads stdin (a wave or a container by its header, else raw PCM)")
        ->required();
    m_options.Register(*m_command);
    m_options.RegisterRawInput(*m_command);
    m_command->add_flag("--json", m_json, "Print one JSON object per event per line");
    m_command->add_flag("--debug", m_debug, "Print the decoder's debug lines on stderr");
}

DecodeCommand::~DecodeCommand() = default;

bool DecodeCommand::Selected() const {
    return m_command->parsed();
}

int DecodeCommand::Run() {
    m_lanes.clear();
    const int lanes = m_options.BothChannels() ? 2 : 1;
    try {
        for (int i = 0; i < lanes; ++i) {
            auto lane = std::make_unique<Lane>();
            lane->component = std::make_unique<PhoneVornix>();
            m_options.Apply(*lane->component);
            m_options.ApplyRawInput(*lane->component);
            if (i == 1) lane->component->DecodeChannel(RIGHT_CHANNEL);
            m_lanes.push_back(std::move(lane));
        }
    } catch (const VornixException& e) {
        std::cerr << "vornix decode: " << e.what() << '\n';
        return kExitUsage;
    }
    if (lanes == 2) {
        m_lanes[0]->stream.channel = "left";
        m_lanes[1]->stream.channel = "right";
    }
    // The stream format as the component holds it, whichever way it was given.
    m_rawFormat.assign(g_dwmax_format_size, 0);
    StringToWaveFmt(m_lanes[0]->component->WaveFormatID(), m_rawFormat.data(), m_rawFormat.size());

    ProgressBar bar(std::cerr, ProgressBar::IsTerminal(STDERR_FILENO));
    EventPrinter printer(std::cout, m_json);
    m_bar = &bar;
    m_printer = &printer;
    printer.SetSpectrumBins(m_options.SpectrumBins());
    printer.BeforeWrite([&bar] { bar.Clear(); });
    std::string current;
    for (const auto& lane : m_lanes) {
        Lane* l = lane.get();
        printer.Attach(*l->component, l->stream);
        l->component->OnProgress += [&bar, &current, l](PhoneVornix& sender, const OnProgressArgs& e) {
            // A file's progress comes at least once a second of audio: often enough to
            // follow the decoder's position across a wrap.
            l->stream.positions.Advance(sender.DecodePosition());
            bar.Update(current + (l->stream.channel.empty() ? "" : " (" + l->stream.channel + ")"), e.nProgress(),
                       e.nProgressMax());
        };
        if (m_debug)
            l->component->OnDebug += [&bar](PhoneVornix&, const OnDebugArgs& e) {
                bar.Clear();
                std::cerr << "debug: " << e.InfoMsg().value_or("") << '\n';
            };
    }
    if (m_debug)
        SetDebugOutputHook([&bar](const char* text) {
            bar.Clear();
            std::cerr << "debug: " << text << '\n';
        });

    int status = kExitSuccess;
    for (const std::string& file : m_files) {
        current = file;
        printer.SetFile(file);
        bool ok = false;
        try {
            ok = file == "-" ? DecodeStdin() : DecodeFile(file);
        } catch (const std::exception& e) {
            bar.Clear();
            std::cerr << InputCheck::Line(file, file == "-" ? "the decoder failed" : InputCheck::Explain(file), e.what())
                      << '\n';
        }
        if (!ok) status = kExitFailure;
        // Text still waiting for its line end ends with its file.
        printer.Flush();
        bar.Clear();
    }
    SetDebugOutputHook({});
    m_bar = nullptr;
    m_printer = nullptr;
    return status;
}

bool DecodeCommand::DecodeFile(const std::string& file) {
    if (const std::optional<std::string> why = InputCheck::Refusal(file)) {
        m_bar->Clear();
        std::cerr << InputCheck::Line(file, *why) << '\n';
        return false;
    }
    // Big-endian and signed 8-bit samples are turned into what the decoder reads here.
    const std::optional<RawFormat> raw = m_options.Raw();
    if (raw && raw->NeedsConversion() && InputCheck::NamedRaw(file)) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::cerr << InputCheck::Line(file, InputCheck::Explain(file)) << '\n';
            return false;
        }
        StreamReader reader(fd, raw->FrameBytes());
        bool ok = false;
        try {
            ok = DecodeStream(file, FormatOf(m_rawFormat), [&reader] { return reader.Read(); }, true);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        if (ok && !reader.Error().empty()) {
            m_bar->Clear();
            std::cerr << InputCheck::Line(file, "reading the file failed: " + reader.Error()) << '\n';
            return false;
        }
        return ok;
    }

    const bool both = m_options.BothChannels();
    const int channels = ChannelsOf(file);
    if (!both && channels == 2) CheckChannels(file);
    // A mono file has one channel to decode, whatever was asked.
    const std::size_t runs = both && channels != 1 ? 2 : 1;
    if (both) m_lanes[0]->stream.channel = channels == 1 ? "mono" : "left";
    for (std::size_t i = 0; i < runs; ++i) {
        Lane& lane = *m_lanes[i];
        lane.stream.positions.Reset();
        try {
            lane.component->Source(file);
        } catch (const VornixException& e) {
            m_bar->Clear();
            std::cerr << InputCheck::Line(file, InputCheck::Explain(file), e.what()) << '\n';
            return false;
        }
        if (NothingDecoded(lane, file)) return false;
    }
    // The header promised more audio than the file holds: what was there is decoded, but
    // the file is not whole.
    if (const std::optional<std::string> cut = InputCheck::Truncated(file)) {
        m_printer->Flush();
        m_bar->Clear();
        std::cerr << InputCheck::Line(file, *cut + "; the events up to its end are printed") << '\n';
        return false;
    }
    return true;
}

bool DecodeCommand::DecodeStdin() {
    const WAVEFORMATEX& raw = FormatOf(m_rawFormat);
    // Whole frames of sample formats, so a conversion and the channel levels never see
    // half a sample; compressed blocks go as they come.
    auto frameBytes = [](const WAVEFORMATEX& f) -> std::size_t {
        const bool framed = f.wFormatTag == WAVE_FORMAT_PCM || f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
                            f.wFormatTag == WAVE_FORMAT_ALAW || f.wFormatTag == WAVE_FORMAT_MULAW;
        return framed && f.nBlockAlign > 0 ? f.nBlockAlign : 1;
    };
    auto readFailed = [this](const std::string& error) {
        m_bar->Clear();
        std::cerr << InputCheck::Line("-", "reading standard input failed: " + error) << '\n';
        return false;
    };
    // A raw format given says what the stream is; else its first bytes do.
    if (m_options.RawFormatGiven()) {
        const std::optional<RawFormat> rawFormat = m_options.Raw();
        StreamReader reader(STDIN_FILENO, rawFormat ? rawFormat->FrameBytes() : frameBytes(raw));
        if (!DecodeStream("-", raw, [&reader] { return reader.Read(); }, true)) return false;
        return reader.Error().empty() || readFailed(reader.Error());
    }
    StdinSource source(STDIN_FILENO);
    StdinSource::Kind kind;
    try {
        kind = source.Probe();
    } catch (const VornixException& e) {
        m_bar->Clear();
        std::cerr << InputCheck::Line("-", source.Error().empty() ? "not a format Vornix reads" : "cannot be read", e.what())
                  << '\n';
        return false;
    }
    if (m_debug) std::cerr << "debug: standard input: " << source.Description() << '\n';
    if (kind == StdinSource::Kind::Container) {
        const std::vector<std::uint8_t> record = source.Format();
        if (!DecodeStream("-", FormatOf(record), [&source] { return source.Read(); }, false)) return false;
        return source.Error().empty() || readFailed(source.Error());
    }
    // A wave's header gives the format; raw PCM is in the raw format.
    std::vector<std::uint8_t> record = kind == StdinSource::Kind::Wave ? source.Format() : m_rawFormat;
    record.resize(std::max<std::size_t>(record.size(), sizeof(WAVEFORMATEX)), 0);
    const WAVEFORMATEX& format = kind == StdinSource::Kind::Wave ? FormatOf(record) : raw;
    StreamReader reader(STDIN_FILENO, frameBytes(format));
    reader.Unread(source.Audio());
    if (!DecodeStream("-", format, [&reader] { return reader.Read(); }, false)) return false;
    return reader.Error().empty() || readFailed(reader.Error());
}

bool DecodeCommand::NothingDecoded(Lane& lane, const std::string& name) {
    lane.stream.positions.Advance(lane.component->DecodePosition());
    if (lane.stream.positions.Reference() > 0) return false;
    m_bar->Clear();
    std::cerr << InputCheck::Line(name, name == "-" ? "standard input holds no audio the decoder could read" : kNothingDecoded)
              << '\n';
    return true;
}

bool DecodeCommand::DecodeStream(const std::string& name, const WAVEFORMATEX& format,
                                 const std::function<std::span<std::uint8_t>()>& next, bool convertRaw) {
    const bool both = m_options.BothChannels();
    const bool ownFormat = &format != &FormatOf(m_rawFormat);
    const std::string formatId = ownFormat ? WaveFmtToString(&format) : std::string();
    std::vector<StreamFeeder::Lane> feeds;
    const std::size_t lanes = both && format.nChannels != 1 ? 2 : 1;
    if (both) m_lanes[0]->stream.channel = format.nChannels == 1 ? "mono" : "left";
    for (std::size_t i = 0; i < lanes; ++i) {
        if (ownFormat) m_lanes[i]->component->WaveFormatID(formatId);
        feeds.push_back({m_lanes[i]->component.get(), &m_lanes[i]->stream.positions});
    }
    // The next input is in the raw format again.
    auto restore = [&] {
        if (ownFormat)
            for (const auto& lane : m_lanes) m_options.ApplyRawInput(*lane->component);
    };
    StreamFeeder feeder(std::move(feeds), format);
    const std::optional<RawFormat> raw = convertRaw ? m_options.Raw() : std::nullopt;
    bool refused = false;
    try {
        feeder.Start();
        for (std::span<std::uint8_t> frames = next(); !frames.empty(); frames = next()) {
            if (raw) raw->Convert(frames);
            if (!feeder.Feed(frames)) {
                refused = true;
                break;
            }
        }
    } catch (...) {
        // The runs are ended in every case, so the events of what was taken still arrive.
        try {
            feeder.End();
            restore();
        } catch (...) {
        }
        throw;
    }
    feeder.End();
    restore();
    if (!refused && NothingDecoded(*m_lanes[0], name)) return false;
    if (refused) {
        m_bar->Clear();
        std::cerr << InputCheck::Line(name, "the decoder refused the input", "The decoder refused the input.") << '\n';
        return false;
    }
    if (!both && format.nChannels == 2)
        if (const ChannelLevels* levels = feeder.Levels()) WarnIfSilent(name, levels->Silent(0), levels->Silent(1));
    return true;
}

int DecodeCommand::ChannelsOf(const std::string& file) const {
    const RecordingReader reader(file, FormatOf(m_rawFormat), false);
    return reader.IsOK() ? reader.Channels() : 0;
}

void DecodeCommand::CheckChannels(const std::string& file) {
    const int chosen = m_options.RightChannel() ? 1 : 0;
    RecordingReader left(file, FormatOf(m_rawFormat), false), right(file, FormatOf(m_rawFormat), true);
    if (!left.IsOK() || !right.IsOK()) return;
    ChannelLevels levels(static_cast<std::uint32_t>(left.SampleRate()));
    std::vector<float> samples;
    bool moreLeft = true, moreRight = true;
    while (moreLeft || moreRight) {
        if (moreLeft && (moreLeft = left.Read(samples))) levels.Add(0, samples);
        if (moreRight && (moreRight = right.Read(samples))) levels.Add(1, samples);
        // Heard: nothing to warn of, and no need to read on.
        if (!levels.Silent(chosen)) return;
    }
    WarnIfSilent(file, levels.Silent(0), levels.Silent(1));
}

void DecodeCommand::WarnIfSilent(const std::string& name, bool leftSilent, bool rightSilent) const {
    const bool right = m_options.RightChannel();
    if (!(right ? rightSilent && !leftSilent : leftSilent && !rightSilent)) return;
    const std::string chosen = right ? "right" : "left", other = right ? "left" : "right";
    // Verbosity takes the progress bar off first, and says nothing with --quiet.
    Verbosity::Warning(InputCheck::Line(name, "warning: the " + chosen + " channel is silent and the " + other +
                                                  " channel is not; --channel " + other +
                                                  " decodes that one, --channel both decodes both"));
}
