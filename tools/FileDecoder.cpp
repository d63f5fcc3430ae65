#include "FileDecoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "CaptureDecoder.h"
#include "ChannelLevels.h"
#include "InputCheck.h"
#include "ProgressBar.h"
#include "RecordingReader.h"
#include "StdinSource.h"
#include "StreamFeeder.h"
#include "StreamReader.h"
#include "Verbosity.h"
#include "audio/StreamFormats.h"
#include "rtp/PacketCapture.h"
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

FileDecoder::FileDecoder(const DecodeOptions& options, bool json, bool debug, Output output,
                         const std::atomic<bool>* stop)
    : m_options(options), m_json(json), m_debug(debug), m_output(output), m_stop(stop), m_printer(*output.events, json) {
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
    // The stream format as the component holds it, whichever way it was given.
    m_rawFormat.assign(g_dwmax_format_size, 0);
    StringToWaveFmt(m_lanes[0]->component->WaveFormatID(), m_rawFormat.data(), m_rawFormat.size());

    m_printer.SetSpectrumBins(m_options.SpectrumBins());
    if (ProgressBar* bar = m_output.bar) m_printer.BeforeWrite([bar] { bar->Clear(); });
    for (const auto& lane : m_lanes) {
        Lane* l = lane.get();
        m_printer.Attach(*l->component, l->stream);
        l->component->OnProgress += [this, l](PhoneVornix& sender, const OnProgressArgs& e) {
            // A file's progress comes at least once a second of audio: often enough to
            // follow the decoder's position across a wrap, and to stop soon when asked.
            l->stream.positions.Advance(sender.DecodePosition());
            if (Stopping()) {
                m_interrupted = true;
                sender.SampleProcessed(-1);
            }
            if (m_output.bar)
                m_output.bar->Update(m_current + (l->stream.channel.empty() ? "" : " (" + l->stream.channel + ")"),
                                     e.nProgress(), e.nProgressMax());
        };
        if (m_debug)
            l->component->OnDebug += [this](PhoneVornix&, const OnDebugArgs& e) {
                Report("debug: " + e.InfoMsg().value_or(""));
            };
    }
}

FileDecoder::~FileDecoder() = default;

FileDecoder::Result FileDecoder::Decode(const std::string& file) {
    m_current = file;
    m_interrupted = false;
    m_printer.SetFile(file);
    for (const auto& lane : m_lanes) lane->stream.positions.Reset();
    m_captureSeconds.reset();
    bool ok = false;
    try {
        ok = file == "-" ? DecodeStdin() : DecodeFile(file);
    } catch (const std::exception& e) {
        Report(InputCheck::Line(file, file == "-" ? "the decoder failed" : InputCheck::Explain(file), e.what()));
    }
    // Text still waiting for its line end ends with its file.
    m_printer.Flush();
    if (m_output.bar) m_output.bar->Clear();
    Result result;
    result.audioSeconds = AudioSeconds();
    result.outcome = m_interrupted ? Outcome::kInterrupted : ok ? Outcome::kDecoded : Outcome::kFailed;
    return result;
}

double FileDecoder::AudioSeconds() const {
    if (m_captureSeconds) return *m_captureSeconds;
    const PhoneVornix& component = *m_lanes[0]->component;
    const double perSample = component.Sample2Second(1);
    if (perSample <= 0.0) return 0.0;
    return static_cast<double>(m_lanes[0]->stream.positions.Reference()) / static_cast<double>(std::llround(1.0 / perSample));
}

void FileDecoder::Report(const std::string& line) {
    if (m_output.bar) m_output.bar->Clear();
    *m_output.report << line << '\n';
}

void FileDecoder::Warn(const std::string& line) {
    if (!Verbosity::Quiet()) Report(line);
}

bool FileDecoder::DecodeFile(const std::string& file) {
    if (const std::optional<std::string> why = InputCheck::Refusal(file)) {
        Report(InputCheck::Line(file, *why));
        return false;
    }
    // A packet capture is told by its first bytes, whatever its name.
    if (PacketCapture::IsCaptureFile(file)) return DecodeCapture(file);
    // Big-endian and signed 8-bit samples are turned into what the decoder reads here.
    const std::optional<RawFormat> raw = m_options.Raw();
    if (raw && raw->NeedsConversion() && InputCheck::NamedRaw(file)) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            Report(InputCheck::Line(file, InputCheck::Explain(file)));
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
            Report(InputCheck::Line(file, "reading the file failed: " + reader.Error()));
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
    for (std::size_t i = 0; i < runs && !m_interrupted; ++i) {
        Lane& lane = *m_lanes[i];
        lane.stream.positions.Reset();
        try {
            lane.component->Source(file);
        } catch (const VornixException& e) {
            Report(InputCheck::Line(file, InputCheck::Explain(file), e.what()));
            return false;
        }
        if (!m_interrupted && NothingDecoded(lane, file)) return false;
    }
    if (m_interrupted) return false;
    // The header promised more audio than the file holds: what was there is decoded, but
    // the file is not whole.
    if (const std::optional<std::string> cut = InputCheck::Truncated(file)) {
        m_printer.Flush();
        Report(InputCheck::Line(file, *cut + "; the events up to its end are printed"));
        return false;
    }
    return true;
}

bool FileDecoder::DecodeCapture(const std::string& file) {
    CaptureDecoder capture(m_options, *m_output.events, m_json, m_debug, [this](const std::string& line) { Report(line); }, m_stop);
    const bool ok = capture.DecodeFile(file);
    m_captureSeconds = capture.AudioSeconds();
    if (Stopping()) m_interrupted = true;
    return ok;
}

bool FileDecoder::DecodeStdinCapture(std::span<const std::uint8_t> first) {
    // A capture is read twice (its calls, then its media): standard input is kept in a
    // file of its own first, which goes when it is decoded.
    char path[] = "/tmp/vornix-capture-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        Report(InputCheck::Line("-", "a packet capture on standard input could not be kept in /tmp to be read"));
        return false;
    }
    ::unlink(path);
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    bool written = ::write(fd, first.data(), first.size()) == static_cast<ssize_t>(first.size());
    std::vector<std::uint8_t> buffer(1 << 16);
    for (ssize_t got; written && (got = ::read(STDIN_FILENO, buffer.data(), buffer.size())) != 0;) {
        if (got < 0) {
            if (errno == EINTR) continue;
            written = false;
            break;
        }
        written = ::write(fd, buffer.data(), static_cast<std::size_t>(got)) == got;
        if (Stopping()) {
            m_interrupted = true;
            break;
        }
    }
    if (!written || m_interrupted) {
        if (!m_interrupted) Report(InputCheck::Line("-", "a packet capture on standard input could not be kept in /tmp to be read"));
        ::close(fd);
        return false;
    }
    CaptureDecoder capture(m_options, *m_output.events, m_json, m_debug, [this](const std::string& line) { Report(line); }, m_stop);
    const bool ok = capture.DecodeFile(name, "-");
    ::close(fd);
    m_captureSeconds = capture.AudioSeconds();
    if (Stopping()) m_interrupted = true;
    return ok;
}

bool FileDecoder::DecodeStdin() {
    const WAVEFORMATEX& raw = FormatOf(m_rawFormat);
    // Whole frames of sample formats, so a conversion and the channel levels never see
    // half a sample; compressed blocks go as they come.
    auto frameBytes = [](const WAVEFORMATEX& f) -> std::size_t {
        const bool framed = f.wFormatTag == WAVE_FORMAT_PCM || f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
                            f.wFormatTag == WAVE_FORMAT_ALAW || f.wFormatTag == WAVE_FORMAT_MULAW;
        return framed && f.nBlockAlign > 0 ? f.nBlockAlign : 1;
    };
    auto readFailed = [this](const std::string& error) {
        Report(InputCheck::Line("-", "reading standard input failed: " + error));
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
        Report(InputCheck::Line("-", source.Error().empty() ? "not a format Vornix reads" : "cannot be read", e.what()));
        return false;
    }
    if (m_debug) Report("debug: standard input: " + source.Description());
    if (kind == StdinSource::Kind::Container) {
        const std::vector<std::uint8_t> record = source.Format();
        if (!DecodeStream("-", FormatOf(record), [&source] { return source.Read(); }, false)) return false;
        return source.Error().empty() || readFailed(source.Error());
    }
    if (kind == StdinSource::Kind::Raw && PacketCapture::LooksLikeCapture(source.Audio())) return DecodeStdinCapture(source.Audio());
    // A wave's header gives the format; raw PCM is in the raw format.
    std::vector<std::uint8_t> record = kind == StdinSource::Kind::Wave ? source.Format() : m_rawFormat;
    record.resize(std::max<std::size_t>(record.size(), sizeof(WAVEFORMATEX)), 0);
    const WAVEFORMATEX& format = kind == StdinSource::Kind::Wave ? FormatOf(record) : raw;
    StreamReader reader(STDIN_FILENO, frameBytes(format));
    reader.Unread(source.Audio());
    if (!DecodeStream("-", format, [&reader] { return reader.Read(); }, false)) return false;
    return reader.Error().empty() || readFailed(reader.Error());
}

bool FileDecoder::NothingDecoded(Lane& lane, const std::string& name) {
    lane.stream.positions.Advance(lane.component->DecodePosition());
    if (lane.stream.positions.Reference() > 0) return false;
    Report(InputCheck::Line(name, name == "-" ? "standard input holds no audio the decoder could read" : kNothingDecoded));
    return true;
}

bool FileDecoder::DecodeStream(const std::string& name, const WAVEFORMATEX& format,
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
            if (Stopping()) {
                m_interrupted = true;
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
    if (m_interrupted) return false;
    if (!refused && NothingDecoded(*m_lanes[0], name)) return false;
    if (refused) {
        Report(InputCheck::Line(name, "the decoder refused the input", "The decoder refused the input."));
        return false;
    }
    if (!both && format.nChannels == 2)
        if (const ChannelLevels* levels = feeder.Levels()) WarnIfSilent(name, levels->Silent(0), levels->Silent(1));
    return true;
}

int FileDecoder::ChannelsOf(const std::string& file) const {
    const RecordingReader reader(file, FormatOf(m_rawFormat), false);
    return reader.IsOK() ? reader.Channels() : 0;
}

void FileDecoder::CheckChannels(const std::string& file) {
    const auto levels = RecordingReader::StereoLevels(file, FormatOf(m_rawFormat), m_options.RightChannel() ? 1 : 0);
    if (levels) WarnIfSilent(file, levels->Silent(0), levels->Silent(1));
}

void FileDecoder::WarnIfSilent(const std::string& name, bool leftSilent, bool rightSilent) {
    const bool right = m_options.RightChannel();
    if (!(right ? rightSilent && !leftSilent : leftSilent && !rightSilent)) return;
    const std::string chosen = right ? "right" : "left", other = right ? "left" : "right";
    Warn(InputCheck::Line(name, "warning: the " + chosen + " channel is silent and the " + other +
                                    " channel is not; --channel " + other + " decodes that one, --channel both decodes both"));
}
