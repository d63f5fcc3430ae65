#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FskFraming.h"
#include "RawFormat.h"
#include "rtp/PayloadFormat.h"
#include "ToneDefinition.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI
namespace Orvane::VornixNet {
class PhoneVornix;
}

// The settings that decode and listen share: which detectors run, the channel of stereo
// audio, the silence threshold and the DTMF, caller-ID, tone, TTY and FSK data tuning, each
// option named after the property it sets. Options not given leave the component's
// defaults. Custom tones (--tone) switch the tone monitor on by themselves.
//
// Caller ID and the FSK data decoder read their tones and bit rate from the one FSK
// parameter group, so --fsk-mark, --fsk-space and --fsk-baud are --mark-freq, --space-freq
// and --baud-rate under the names of the FSK options: each pair sets one property and
// giving both of a pair is a usage error. --fsk-framing is the shorthand of --fsk-data-bits,
// --fsk-parity and --fsk-stop-bits; giving it with any of them is a usage error too.
class DecodeOptions {
public:
    // bothChannels: --channel takes "both" too (the command then runs a component per
    // channel; see BothChannels).
    explicit DecodeOptions(bool bothChannels = false) : m_bothChannels(bothChannels) {}

    void Register(CLI::App& command);
    // The format of headerless input (standard input, .raw and .pcm files): by number,
    // as a format record, or as rate, encoding and channels; one of the three ways.
    void RegisterRawInput(CLI::App& command);
    // Sets what was given; the component's own checks throw ArgumentException for values
    // it refuses (a usage error for the command).
    void Apply(Orvane::VornixNet::PhoneVornix& component) const;
    // What RTP payload types stand for where no SDP says (--rtp-payload).
    const std::vector<PayloadFormat>& RtpPayloads() const { return m_rtpPayloads; }
    // Spectrum events carry every bin in dB.
    bool SpectrumBins() const { return m_spectrumBins; }
    // --channel both: Apply sets the left channel, the command adds one for the right.
    bool BothChannels() const { return m_channel == "both"; }
    // --channel right.
    bool RightChannel() const { return m_channel == "right"; }
    // Sets the stream format of headerless input (RegisterRawInput's options). Throws
    // ArgumentException for a format record the component does not take.
    void ApplyRawInput(Orvane::VornixNet::PhoneVornix& component) const;
    // The raw format given by rate, encoding and channels (any of them; the others keep
    // their defaults); none when given otherwise.
    std::optional<RawFormat> Raw() const;
    // Whether any raw-input option was given: standard input is then headerless PCM in
    // that format, whatever its first bytes look like.
    bool RawFormatGiven() const;

private:
    static bool Given(const CLI::Option* option);

    bool m_bothChannels;
    int m_formatIndex = 2;
    std::string m_formatId;
    std::uint32_t m_rawRate = 8000;
    std::string m_rawEncoding = "s16le";
    std::uint16_t m_rawChannels = 1;
    CLI::Option* m_formatIndexOption = nullptr;
    CLI::Option* m_formatIdOption = nullptr;
    CLI::Option* m_rawRateOption = nullptr;
    CLI::Option* m_rawEncodingOption = nullptr;
    CLI::Option* m_rawChannelsOption = nullptr;

    std::vector<std::string> m_detectors{"dtmf"};
    std::string m_channel = "left";
    float m_silenceThreshold = 0.0f;
    std::int32_t m_minDuration = 0;
    std::int32_t m_minInterval = 0;
    float m_sensitive = 0.0f;
    float m_energyThreshold = 0.0f;
    float m_normalTwist = 0.0f;
    float m_reverseTwist = 0.0f;
    float m_harmonicRow = 0.0f;
    float m_harmonicCol = 0.0f;
    std::string m_relativePeakTest;
    // The command listens the way a user expects a receiver to: robust unless told.
    std::string m_dtmfProfile = "robust";
    float m_markFreq = 0.0f;
    float m_spaceFreq = 0.0f;
    std::int32_t m_baudRate = 0;
    std::string m_pagingType;
    // The command gives every sample rate the tone blocks that 8 kHz gets unless told.
    std::string m_toneBlocks = "scaled";
    float m_minAmpdB = 0.0f;
    std::int32_t m_minGapDuration = 0;
    std::string m_ttyRate;
    std::string m_ttyMode;
    float m_ttyMark = 0.0f;
    float m_ttySpace = 0.0f;
    float m_fskMark = 0.0f;
    float m_fskSpace = 0.0f;
    std::int32_t m_fskBaud = 0;
    std::int32_t m_fskDataBits = 0;
    std::string m_fskStopBits;
    std::string m_fskParity;
    std::string m_fskStartTone;
    std::string m_fskStopTone;
    std::optional<FskFraming> m_fskFraming;
    // Parsed while the command line is read, so a malformed or repeated tone is a usage
    // error before anything is decoded.
    std::vector<ToneDefinition> m_tones;
    std::vector<PayloadFormat> m_rtpPayloads;
    std::int32_t m_fftSize = 0;
    std::string m_fftWindow;
    float m_amplitudeThreshold = 0.0f;
    std::int32_t m_maxTonesDuration = 0;
    std::int32_t m_minSilenceDuration = 0;
    bool m_spectrumBins = false;

    CLI::Option* m_channelOption = nullptr;
    CLI::Option* m_silenceOption = nullptr;
    CLI::Option* m_minDurationOption = nullptr;
    CLI::Option* m_minIntervalOption = nullptr;
    CLI::Option* m_sensitiveOption = nullptr;
    CLI::Option* m_energyOption = nullptr;
    CLI::Option* m_normalTwistOption = nullptr;
    CLI::Option* m_reverseTwistOption = nullptr;
    CLI::Option* m_harmonicRowOption = nullptr;
    CLI::Option* m_harmonicColOption = nullptr;
    CLI::Option* m_relativePeakOption = nullptr;
    CLI::Option* m_markFreqOption = nullptr;
    CLI::Option* m_spaceFreqOption = nullptr;
    CLI::Option* m_baudRateOption = nullptr;
    CLI::Option* m_pagingTypeOption = nullptr;
    CLI::Option* m_minAmpOption = nullptr;
    CLI::Option* m_minGapOption = nullptr;
    CLI::Option* m_ttyRateOption = nullptr;
    CLI::Option* m_ttyModeOption = nullptr;
    CLI::Option* m_ttyMarkOption = nullptr;
    CLI::Option* m_ttySpaceOption = nullptr;
    CLI::Option* m_fskMarkOption = nullptr;
    CLI::Option* m_fskSpaceOption = nullptr;
    CLI::Option* m_fskBaudOption = nullptr;
    CLI::Option* m_fskDataBitsOption = nullptr;
    CLI::Option* m_fskStopBitsOption = nullptr;
    CLI::Option* m_fskParityOption = nullptr;
    CLI::Option* m_fskStartToneOption = nullptr;
    CLI::Option* m_fskStopToneOption = nullptr;
    CLI::Option* m_fftSizeOption = nullptr;
    CLI::Option* m_fftWindowOption = nullptr;
    CLI::Option* m_amplitudeThresholdOption = nullptr;
    CLI::Option* m_maxTonesDurationOption = nullptr;
    CLI::Option* m_minSilenceDurationOption = nullptr;
};
