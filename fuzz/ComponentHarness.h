#pragma once

// The bodies of the whole-road fuzz targets, shared with the test that replays their
// corpora: arbitrary bytes opened as a file of any kind the component reads, or streamed
// as audio in any stream format or PCM width, through the public component with every
// detector switched on. Each returns false when an input breaks a property that must
// hold for any input (the fuzz targets then abort); crashes and sanitizer reports are
// caught by the tools themselves.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "AudioHarness.h"
#include "audio/StreamFormats.h"
#include "audio/WaveFormat.h"
#include "vornix/PhoneVornix.h"

namespace fuzzharness {

namespace vn = Orvane::VornixNet;

// Every event a run raises, one line each, with every member the handler can read, so
// that a member that cannot be read (or differs between two runs) shows. Debug lines and
// progress are left out: they depend on how the audio was cut.
class EventLog {
public:
    void Attach(vn::PhoneVornix& d) {
        Key(d.OnDTMF, "DTMF");
        Key(d.OnMF, "MF");
        Key(d.OnPaging, "Paging");
        Key(d.OnTTY, "TTY");
        Key(d.OnFSK, "FSK");
        d.OnSilenceStart += [this](vn::PhoneVornix&, const vn::OnSilenceStartArgs& e) {
            Add("SilenceStart", e.StartPos());
        };
        d.OnSilenceEnd += [this](vn::PhoneVornix&, const vn::OnSilenceEndArgs& e) {
            Add("SilenceEnd " + std::to_string(e.duration()), e.EndPos());
        };
        d.OnFrequencyDetected += [this](vn::PhoneVornix&, const vn::OnFrequencyDetectedArgs& e) {
            Add("Frequency " + std::to_string(e.Frequency()) + " " + std::to_string(e.secondFreq()) + " " +
                    std::to_string(e.duration()),
                e.StartPos());
        };
        d.OnSpectrumData += [this](vn::PhoneVornix& sender, const vn::EventArgs&) {
            double first = 0, second = 0;
            const bool peak = sender.GetCenterFreqs(first, second);
            const auto bins = sender.SpectrumDB();
            Add("Spectrum " + std::to_string(peak) + " " + std::to_string(first) + " " + std::to_string(second) +
                    " " + std::to_string(bins.size()) + " " + std::to_string(sender.GetfrequencyDB(1000.0)),
                static_cast<std::int32_t>(sender.DecodePosition()));
        };
        d.OnCallerID += [this](vn::PhoneVornix&, const vn::OnCallerIDArgs& e) {
            const std::size_t raw = e.RawData() ? e.RawData()->size() : 0;
            Add("CallerID " + e.CallerNumber().value_or("-") + "|" + e.Name().value_or("-") + "|" +
                    e.sDateTime().value_or("-") + "|" + e.CalledNumber().value_or("-") + "|" +
                    std::to_string(e.Status()) + "|" + std::to_string(raw),
                e.Position());
        };
        d.OnVMWI += [this](vn::PhoneVornix&, const vn::OnVMWIArgs& e) {
            Add("VMWI " + std::to_string(e.Status()) + " " + std::to_string(e.ParamsData()), e.Position());
        };
        d.OnToneDetected += [this](vn::PhoneVornix&, const vn::OnToneDetectedArgs& e) {
            Add("Tone " + std::to_string(e.AppSpecific()), e.Position());
        };
        d.OnSAME += [this](vn::PhoneVornix&, const vn::OnSAMEArgs& e) {
            Add("SAME " + e.RawData(), e.Position());
        };
        d.OnSAMEelement += [this](vn::PhoneVornix&, const vn::OnSAMEelementArgs& e) {
            Add("SAMEelement " + std::to_string(e.Status()) + " " + e.Context(), e.Position());
        };
        d.OnSIT += [this](vn::PhoneVornix&, const vn::OnSITArgs& e) {
            Add("SIT " + std::to_string(e.SITType()) + " " + e.SITName(), e.Position());
        };
    }

    const std::vector<std::string>& Lines() const { return m_lines; }
    // No event may be stamped before the run began.
    bool PositionsSound() const { return m_positionsSound; }

private:
    void Key(vn::Event<vn::KeyArgs>& event, const char* name) {
        event += [this, name](vn::PhoneVornix&, const vn::KeyArgs& e) {
            Add(std::string(name) + " " + std::to_string(static_cast<int>(e.RecvChar())) + " " +
                    std::to_string(e.RawCode()),
                e.Position());
        };
    }
    void Add(std::string line, std::int32_t position) {
        if (position < 0) m_positionsSound = false;
        m_lines.push_back(std::move(line) + " @" + std::to_string(position));
    }

    std::vector<std::string> m_lines;
    bool m_positionsSound = true;
};

// Every detector on, with a custom tone and the settings a byte of the input picks:
// the robust DTMF profile, the rate-scaled tone blocks, a paging type, a spectrum size.
inline void SwitchEverythingOn(vn::PhoneVornix& d, std::uint8_t settings) {
    d.MonitorDTMF(true);
    d.MonitorCallerID(true);
    d.EnableSpectrumConversion(true);
    d.MonitorCustomTone(true);
    d.MonitorTTY(true);
    d.MonitorTonePaging(true);
    d.MonitorMF(true);
    d.MonitorSAME(true);
    d.MonitorVMWI(true);
    d.MonitorSIT(true);
    d.MonitorCIDCW(true);
    d.MonitorFSK(true);
    if (settings & 1) d.DTMFProfile(vn::DTMF_PROFILE_ROBUST);
    if (settings & 2) d.MonitorTonesParams().BlockLayout(vn::TONE_BLOCKS_RATE_SCALED);
    d.TonePagingParams().PagingType(static_cast<vn::PAGING_TYPE>((settings >> 2) % 7));
    d.CustomToneParams().FFT_Size(128 << ((settings >> 5) % 4));
    d.MonitorTones_Add(1, 100, 100, 440, 480, 0, 0, -40, 0);
}

// File input: one byte picks the name's kind (which decides how the file is taken: a
// wave, raw PCM in the stream format, MPEG audio, or a container found by its content),
// one the settings, the rest is the file.
inline bool RunComponentFile(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return true;
    static const char* const kNames[] = {"/w.wav", "/r.raw", "/p.pcm", "/m.mp3", "/c.flac", "/n"};
    const std::string path = HarnessFolder() + kNames[data[0] % std::size(kNames)];
    WriteBytes(path, data + 2, size - 2);
    vn::PhoneVornix d;
    SwitchEverythingOn(d, data[1]);
    if (data[0] & 0x80) d.DecodeChannel(vn::RIGHT_CHANNEL);
    EventLog log;
    log.Attach(d);
    try {
        d.Source(path);
    } catch (const vn::VornixException& e) {
        return std::strlen(e.what()) > 0;  // a refusal says why
    }
    return log.PositionsSound();
}

// A stream format record: one of the component's stream formats by number, or PCM of a
// width the numbered formats lack (24 and 32 bits, 32-bit float) at a chosen rate.
inline std::vector<std::uint8_t> StreamFormat(std::uint8_t pick, std::uint8_t shape) {
    std::vector<std::uint8_t> record;
    if (pick < 200) {
        SpConvertStreamFormatEnum(pick % kStreamFormatCount, &record);
        return record;
    }
    static const std::uint32_t kRates[] = {8000, 11025, 16000, 44100, 48000, 2000, 96000, 7999};
    WAVEFORMATEX f{};
    const int kind = pick % 3;
    f.wFormatTag = kind == 2 ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    f.wBitsPerSample = kind == 0 ? 24 : 32;
    f.nChannels = 1 + (shape & 1);
    f.nSamplesPerSec = kRates[(shape >> 1) % std::size(kRates)];
    f.nBlockAlign = static_cast<std::uint16_t>(f.nChannels * f.wBitsPerSample / 8);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    record.resize(sizeof f);
    std::memcpy(record.data(), &f, sizeof f);
    return record;
}

// Streams audio in pieces (sizes cycling through pieces; one piece when empty) and
// returns its events, or false through ok when the component refused the format.
inline std::vector<std::string> StreamEvents(const std::vector<std::uint8_t>& record, std::uint8_t settings,
                                             std::span<const std::uint8_t> audio,
                                             const std::vector<std::size_t>& pieces, bool& ok, bool& sound) {
    vn::PhoneVornix d;
    SwitchEverythingOn(d, settings);
    EventLog log;
    log.Attach(d);
    ok = false;
    try {
        d.WaveFormatID(WaveFmtToString(reinterpret_cast<const WAVEFORMATEX*>(record.data()), record.size()));
        d.WaveStreamStart();
    } catch (const vn::VornixException&) {
        return {};
    }
    ok = true;
    std::size_t at = 0;
    for (std::size_t piece = 0; at < audio.size(); ++piece) {
        const std::size_t n =
            pieces.empty() ? audio.size() : std::min(pieces[piece % pieces.size()], audio.size() - at);
        d.WaveStreamInput(audio.subspan(at, n));
        at += n;
    }
    d.WaveStreamEnd();
    sound = log.PositionsSound();
    return log.Lines();
}

// Stream input: one byte picks the format, one its shape, one the settings, one the
// piece sizes; the rest is the audio. The events may not depend on how the audio is cut.
inline bool RunComponentStream(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return true;
    const auto record = StreamFormat(data[0], data[1]);
    const std::uint8_t settings = data[2], cut = data[3];
    const std::span<const std::uint8_t> audio(data + 4, size - 4);
    bool ok = false, sound = false;
    const auto whole = StreamEvents(record, settings, audio, {}, ok, sound);
    if (!ok) return true;
    if (!sound) return false;
    bool again = false, alsoSound = false;
    const std::vector<std::size_t> pieces = {1u + cut % 7u, 1u + cut, 3u + cut * 5u, 4096u};
    const auto cutEvents = StreamEvents(record, settings, audio, pieces, again, alsoSound);
    return again && alsoSound && cutEvents == whole;
}

}  // namespace fuzzharness
