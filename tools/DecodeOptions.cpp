#include "DecodeOptions.h"

#include <cctype>
#include <map>
#include <optional>

#include <CLI/CLI.hpp>

#include "Bounded.h"
#include "DetectorTable.h"
#include "platform/HResult.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

namespace {

// TYPE=ENCODING/RATE[/CHANNELS], as an SDP rtpmap line writes the part after its type.
std::optional<PayloadFormat> ParseRtpPayload(const std::string& text) {
    const std::size_t equals = text.find('=');
    const std::size_t slash = text.find('/', equals == std::string::npos ? 0 : equals);
    if (equals == std::string::npos || slash == std::string::npos || equals == 0 || slash == equals + 1) return std::nullopt;
    auto number = [](const std::string& digits, int most) -> std::optional<int> {
        if (digits.empty() || digits.size() > 7 || digits.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
        const int value = std::stoi(digits);
        return value <= most ? std::optional<int>(value) : std::nullopt;
    };
    const std::size_t second = text.find('/', slash + 1);
    const std::optional<int> type = number(text.substr(0, equals), 127);
    const std::optional<int> rate = number(text.substr(slash + 1, second == std::string::npos ? std::string::npos : second - slash - 1), 1'000'000);
    const std::optional<int> channels = second == std::string::npos ? std::optional<int>(1) : number(text.substr(second + 1), 64);
    if (!type || !rate || *rate == 0 || !channels || *channels == 0) return std::nullopt;
    PayloadFormat format;
    format.payloadType = *type;
    format.encoding = text.substr(equals + 1, slash - equals - 1);
    format.clockRate = *rate;
    format.channels = *channels;
    return format;
}

// The paging tone sets by the names --paging-type takes, in any case.
const std::map<std::string, PAGING_TYPE> kPagingTypes = {
    {"EIA", PT_EIA},     {"CCIR", PT_CCIR},   {"ZVEI1", PT_ZVEI1}, {"ZVEI2", PT_ZVEI2},
    {"ZVEI3", PT_ZVEI3}, {"PZVEI", PT_PZVEI}, {"EEA", PT_EEA},
};

// The TTY bit rates and character modes by the names --tty-rate and --tty-mode take. Modes
// 3 and 4 are Baudot read with the second and third figures tables; the public enumeration
// names only the first three modes.
const std::map<std::string, TTY_RATE> kTtyRates = {
    {"45.45", BR_45_45_Baud}, {"50", BR_50_Baud},   {"56.92", BR_56_92_Baud},
    {"74.2", BR_74_20_Baud},  {"100", BR_100_Baud}, {"110", BR_110_Baud},
};
const std::map<std::string, TTY_MODE> kTtyModes = {
    {"baudot", Baudot_Mode},
    {"ascii7", ASCII7_Mode},
    {"ascii8", ASCII8_Mode},
    {"baudot-3", static_cast<TTY_MODE>(3)},
    {"baudot-4", static_cast<TTY_MODE>(4)},
};
const std::map<std::string, STOPBITS_TYPE> kStopBits = {
    {"0", STOPBIT_NO}, {"1", STOPBIT_ONE}, {"1.5", STOPBITS_ONE5}, {"2", STOPBITS_TWO}};
const std::map<std::string, PARITY_TYPE> kParities = {
    {"none", PARITY_NO}, {"odd", PARITY_ODD_}, {"even", PARITY_EVEN_}, {"mark", PARITY_MARK_}, {"space", PARITY_SPACE_}};
const std::map<std::string, FFT_WINDOW_TYPE> kWindows = {
    {"rectangle", WINDOW_RECTANGLE}, {"hamming", WINDOW_HAMMING}, {"blackman", WINDOW_BLACKMAN},
    {"triangle", WINDOW_TRIANGLE},   {"hanning", WINDOW_HANNING}, {"none", NO_WINDOW}};
const std::map<std::string, FSK_LEVEL> kLevels = {{"mark", FSK_MARK}, {"space", FSK_SPACE}};

template <typename T>
std::vector<std::string> Names(const std::map<std::string, T>& table) {
    std::vector<std::string> names;
    for (const auto& [name, value] : table) names.push_back(name);
    return names;
}

std::vector<ToneDefinition> ParseTones(const std::vector<std::string>& texts) {
    std::vector<ToneDefinition> tones;
    for (const std::string& text : texts) {
        std::string error;
        std::optional<ToneDefinition> tone = ToneDefinition::Parse(text, error);
        if (!tone) throw CLI::ValidationError("--tone", error);
        for (const ToneDefinition& earlier : tones)
            if (earlier.id == tone->id)
                throw CLI::ValidationError("--tone", "'" + text + "': ID " + std::to_string(tone->id) + " is given twice");
        tones.push_back(*tone);
    }
    return tones;
}

}  // namespace

void DecodeOptions::Register(CLI::App& command) {
    const CLI::Validator knownDetector(
        [](std::string& name) {
            return DetectorTable::Known(name) ? std::string()
                                              : "unknown detector '" + name + "' (known: " + DetectorTable::Names() + ", all)";
        },
        "NAME");
    command.add_option("--detect", m_detectors, "Detectors to run, comma-separated (" + DetectorTable::Names() + "; all: every one)")
        ->delimiter(',')
        // One list per --detect, so the file names after it stay file names.
        ->allow_extra_args(false)
        ->check(knownDetector)
        ->default_str("dtmf")
        ->group("Detection");
    m_channelOption = command
                          .add_option("--channel", m_channel,
                                      m_bothChannels ? "Channel of stereo audio to decode: left, right, or both (each "
                                                       "with a decoder of its own; every event then names its \"Channel\")"
                                                     : "Channel of stereo audio to decode: left or right")
                          ->check(m_bothChannels ? CLI::IsMember({"left", "right", "both"}) : CLI::IsMember({"left", "right"}))
                          ->capture_default_str()
                          ->group("Detection");
    m_silenceOption = command.add_option("--silence-threshold", m_silenceThreshold,
                                         "Level in dB below which audio counts as silence (SilenceThreshold)")
                          ->check(Bounded(-200, 0))
                          ->group("Detection");

    // Each DTMF option sets the property of the DTMF parameter group it is named after.
    const char* dtmf = "DTMF tuning";
    m_minDurationOption = command.add_option("--min-duration", m_minDuration, "Shortest key tone in ms (minDuration)")->check(Bounded(0, 10000))->group(dtmf);
    m_minIntervalOption = command.add_option("--min-interval", m_minInterval, "Shortest pause between keys in ms (minIntervalDuration)")->check(Bounded(0, 10000))->group(dtmf);
    m_sensitiveOption = command.add_option("--sensitive", m_sensitive, "Weakest tone level in dB, at most 0 (Sensitive)")->check(Bounded(-200, 0))->group(dtmf);
    m_energyOption = command.add_option("--energy-threshold", m_energyThreshold, "Tone energy against the rest (EnergyThreshold)")->check(Bounded(0, 1e6))->group(dtmf);
    m_normalTwistOption = command.add_option("--normal-twist", m_normalTwist, "Allowed normal twist, power ratio (Normal_twist)")->check(Bounded(0, 1e6))->group(dtmf);
    m_reverseTwistOption = command.add_option("--reverse-twist", m_reverseTwist, "Allowed reverse twist, power ratio (Reverse_twist)")->check(Bounded(0, 1e6))->group(dtmf);
    m_harmonicRowOption = command.add_option("--harmonic-row", m_harmonicRow, "Second-harmonic limit of row tones (Harmonic2nd_row)")->check(Bounded(0, 1e6))->group(dtmf);
    m_harmonicColOption = command.add_option("--harmonic-col", m_harmonicCol, "Second-harmonic limit of column tones (Harmonic2nd_col)")->check(Bounded(0, 1e6))->group(dtmf);
    // The caller-ID decoder takes its tones and bit rate from the FSK parameter group.
    const char* callerId = "Caller-ID tuning";
    m_markFreqOption = command.add_option("--mark-freq", m_markFreq, "Mark tone in Hz (FSKParams.MarkFreq)")->check(Bounded(1, 20000))->group(callerId);
    m_spaceFreqOption = command.add_option("--space-freq", m_spaceFreq, "Space tone in Hz (FSKParams.SpaceFreq)")->check(Bounded(1, 20000))->group(callerId);
    m_baudRateOption = command.add_option("--baud-rate", m_baudRate, "Bit rate in baud (FSKParams.BaudRate)")->check(Bounded(1, 20000))->group(callerId);

    const char* paging = "Paging tuning";
    m_pagingTypeOption = command.add_option("--paging-type", m_pagingType, "Paging tone set (PagingType)")
                             ->check(CLI::IsMember({"EIA", "CCIR", "ZVEI1", "ZVEI2", "ZVEI3", "PZVEI", "EEA"}, CLI::ignore_case))
                             ->group(paging);
    m_minAmpOption = command.add_option("--min-amp-db", m_minAmpdB, "Weakest paging tone in dB, below 0 (MinAmpdB)")
                         ->check(Bounded(-200, 0))
                         ->check(CLI::Validator([](std::string& text) { return std::stod(text) < 0 ? std::string() : "'" + text + "' must be below 0"; }, ""))
                         ->group(paging);
    m_minGapOption = command.add_option("--min-gap-duration", m_minGapDuration, "Shortest gap between paging tones in ms (minGapDuration)")
                         ->check(Bounded(0, 10000))
                         ->group(paging);

    const char* tty = "TTY tuning";
    m_ttyRateOption = command.add_option("--tty-rate", m_ttyRate, "TTY bit rate in baud: 45.45, 50, 56.92, 74.2, 100 or 110 (TTYParams.Rate)")
                          ->check(CLI::IsMember(Names(kTtyRates)))
                          ->group(tty);
    m_ttyModeOption = command.add_option("--tty-mode", m_ttyMode,
                                         "TTY characters: baudot, ascii7, ascii8, or baudot-3 / baudot-4 (Baudot with the "
                                         "second or third figures table) (TTYParams.Mode)")
                          ->check(CLI::IsMember(Names(kTtyModes)))
                          ->group(tty);
    m_ttyMarkOption = command.add_option("--tty-mark", m_ttyMark, "TTY mark tone in Hz (TTYParams.MarkFreq)")->check(Bounded(1, 20000))->group(tty);
    m_ttySpaceOption = command.add_option("--tty-space", m_ttySpace, "TTY space tone in Hz (TTYParams.SpaceFreq)")->check(Bounded(1, 20000))->group(tty);

    // The FSK data decoder shares its tones and bit rate with caller ID (see the header).
    const char* fsk = "FSK data tuning";
    m_fskMarkOption = command.add_option("--fsk-mark", m_fskMark, "Mark tone in Hz, caller ID's too (FSKParams.MarkFreq)")
                          ->check(Bounded(1, 20000))
                          ->excludes(m_markFreqOption)
                          ->group(fsk);
    m_fskSpaceOption = command.add_option("--fsk-space", m_fskSpace, "Space tone in Hz, caller ID's too (FSKParams.SpaceFreq)")
                           ->check(Bounded(1, 20000))
                           ->excludes(m_spaceFreqOption)
                           ->group(fsk);
    m_fskBaudOption = command.add_option("--fsk-baud", m_fskBaud, "Bit rate in baud, caller ID's too (FSKParams.BaudRate)")
                          ->check(Bounded(1, 20000))
                          ->excludes(m_baudRateOption)
                          ->group(fsk);
    m_fskDataBitsOption = command.add_option("--fsk-data-bits", m_fskDataBits, "Data bits per character (FSKParams.DataBits)")
                              ->check(Bounded(5, 8))
                              ->group(fsk);
    m_fskStopBitsOption = command.add_option("--fsk-stop-bits", m_fskStopBits, "Stop bits: 0, 1, 1.5 or 2 (FSKParams.StopBits)")
                              ->check(CLI::IsMember(Names(kStopBits)))
                              ->group(fsk);
    m_fskParityOption = command.add_option("--fsk-parity", m_fskParity, "Parity: none, odd, even, mark or space (FSKParams.Parity)")
                            ->check(CLI::IsMember(Names(kParities)))
                            ->group(fsk);
    m_fskStartToneOption = command.add_option("--fsk-start-tone", m_fskStartTone, "Tone of the start bit: mark or space (FSKParams.StartBitTone)")
                               ->check(CLI::IsMember(Names(kLevels)))
                               ->group(fsk);
    m_fskStopToneOption = command.add_option("--fsk-stop-tone", m_fskStopTone, "Tone of the stop bit: mark or space (FSKParams.StopBitTone)")
                              ->check(CLI::IsMember(Names(kLevels)))
                              ->group(fsk);
    command
        .add_option_function<std::string>(
            "--fsk-framing",
            [this](const std::string& text) {
                m_fskFraming = FskFraming::Parse(text);
                if (!m_fskFraming)
                    throw CLI::ValidationError("--fsk-framing", "'" + text + "' is not a framing such as 8N1 (data bits 5-8, "
                                                                             "parity N, O, E, M or S, stop bits 0, 1, 1.5 or 2)");
            },
            "Data bits, parity and stop bits at once, such as 8N1 or 7E1.5; not with --fsk-data-bits, --fsk-parity or "
            "--fsk-stop-bits")
        ->excludes(m_fskDataBitsOption)
        ->excludes(m_fskParityOption)
        ->excludes(m_fskStopBitsOption)
        ->group(fsk);

    command
        .add_option_function<std::vector<std::string>>(
            "--tone", [this](const std::vector<std::string>& texts) { m_tones = ParseTones(texts); },
            "A custom tone to report (OnToneDetected), repeatable: " + ToneDefinition::BuiltInNames() +
                " or ID:ON_MS:OFF_MS:F1[,F2,F3,F4][:MIN_DB:MAX_DB] (a negative frequency must be absent; levels in dB, "
                "0 = no limit, -36:0 when left out); switches the tone monitor on")
        ->allow_extra_args(false)
        ->group("Tones");

    command
        .add_option_function<std::vector<std::string>>(
            "--rtp-payload",
            [this](const std::vector<std::string>& texts) {
                m_rtpPayloads.clear();
                for (const std::string& text : texts) {
                    const std::optional<PayloadFormat> format = ParseRtpPayload(text);
                    if (!format)
                        throw CLI::ValidationError("--rtp-payload", "'" + text + "' is not TYPE=ENCODING/RATE such as "
                                                                                 "101=telephone-event/8000 (TYPE 0-127)");
                    m_rtpPayloads.push_back(*format);
                }
            },
            "What an RTP payload type stands for where no SIP message in the capture says, repeatable: "
            "TYPE=ENCODING/RATE[/CHANNELS], such as 101=telephone-event/8000 or 96=opus/48000/2")
        ->allow_extra_args(false)
        ->group("RTP");

    command.add_option("--tone-blocks", m_toneBlocks,
                       "Analysis blocks of the custom tones, MF, paging and information tones: scaled (the command's "
                       "default: the 8 kHz block durations at every rate) or exact (the library's default: 64 to 192 "
                       "samples at every rate, so above 16 kHz blocks are shorter and coarser in frequency than at "
                       "8 kHz) (BlockLayout)")
        ->check(CLI::IsMember({"exact", "scaled"}))
        ->capture_default_str()
        ->group("Tones");

    command.add_option("--dtmf-profile", m_dtmfProfile,
                       "DTMF detection: robust (the command's default: frequency within 2.5 %, 40 ms keys, no keys "
                       "from speech) or exact (the library's default, the detector as designed) (DTMFProfile)")
        ->check(CLI::IsMember({"exact", "robust"}))
        ->capture_default_str()
        ->group(dtmf);
    const char* spectrum = "Spectrum, frequency and silence";
    m_fftSizeOption = command.add_option("--fft-size", m_fftSize,
                                         "Samples per spectrum, rounded down to a power of two from 128 to 16384 "
                                         "(default 1024) (CustomToneParams.FFT_Size)")
                          ->check(Bounded(1, 1 << 20))
                          ->group(spectrum);
    m_fftWindowOption = command.add_option("--fft-window", m_fftWindow,
                                           "Window before every transform (default none) (CustomToneParams.FFT_Window)")
                            ->check(CLI::IsMember(Names(kWindows)))
                            ->group(spectrum);
    m_amplitudeThresholdOption = command.add_option("--amplitude-threshold", m_amplitudeThreshold,
                                                    "Level in dB a spectral peak must exceed (default -30) "
                                                    "(CustomToneParams.AmplitudeThreshold)")
                                     ->check(Bounded(-600, 100))
                                     ->group(spectrum);
    m_maxTonesDurationOption = command.add_option("--max-tones-duration", m_maxTonesDuration,
                                                  "Longest sound analysed at once in ms, at most 16384 samples "
                                                  "(default 4000) (CustomToneParams.MaxTonesDuration)")
                                   ->check(Bounded(1, 3600000))
                                   ->group(spectrum);
    m_minSilenceDurationOption = command.add_option("--min-silence-duration", m_minSilenceDuration,
                                                    "Quiet time in ms that makes a silence (default 60) "
                                                    "(CustomToneParams.minSilenceDuration)")
                                     ->check(Bounded(0, 3600000))
                                     ->group(spectrum);
    command.add_flag("--spectrum-bins", m_spectrumBins, "Spectrum events carry every bin in dB (SpectrumDB)")->group(spectrum);

    m_relativePeakOption = command.add_option("--relative-peak-test", m_relativePeakTest, "Relative peak test (RelativePeakTest)")
                               ->check(CLI::IsMember({"on", "off"}))
                               ->group(dtmf);
}

void DecodeOptions::RegisterRawInput(CLI::App& command) {
    const char* raw = "Raw input";
    m_formatIndexOption = command.add_option("--format-index", m_formatIndex,
                                             "Format of raw PCM (stdin, .raw, .pcm) by number (WaveFormatIndex, 0-65; "
                                             "vornix formats lists them)")
                              ->check(Bounded(0, 65))
                              ->capture_default_str()
                              ->group(raw);
    m_formatIdOption = command.add_option("--format-id", m_formatId, "Format of raw PCM as the hexadecimal wave format record (WaveFormatID)")
                   ->excludes(m_formatIndexOption)
                   ->group(raw);
    CLI::Option* id = m_formatIdOption;
    m_rawRateOption = command.add_option("--rate", m_rawRate, "Sample rate of raw PCM in Hz")
                          ->check(Bounded(1000, 384000))
                          ->default_str("8000")
                          ->group(raw);
    m_rawEncodingOption = command.add_option("--encoding", m_rawEncoding, "Samples of raw PCM: s16le, s16be, u8, s8, f32le, alaw or ulaw")
                              ->check(CLI::IsMember(RawFormat::EncodingNames()))
                              ->default_str("s16le")
                              ->group(raw);
    m_rawChannelsOption = command.add_option("--channels", m_rawChannels, "Channels of raw PCM: 1 or 2")
                              ->check(CLI::IsMember({1, 2}))
                              ->default_str("1")
                              ->group(raw);
    for (CLI::Option* option : {m_rawRateOption, m_rawEncodingOption, m_rawChannelsOption}) {
        option->excludes(m_formatIndexOption);
        option->excludes(id);
    }
}

std::optional<RawFormat> DecodeOptions::Raw() const {
    if (!Given(m_rawRateOption) && !Given(m_rawEncodingOption) && !Given(m_rawChannelsOption)) return std::nullopt;
    return RawFormat(m_rawRate, *RawFormat::ParseEncoding(m_rawEncoding), m_rawChannels);
}

bool DecodeOptions::RawFormatGiven() const {
    return Given(m_formatIndexOption) || Given(m_formatIdOption) || Raw().has_value();
}

void DecodeOptions::ApplyRawInput(PhoneVornix& component) const {
    std::string id = m_formatId;
    if (const std::optional<RawFormat> raw = Raw()) id = raw->RecordText();
    if (id.empty()) {
        component.WaveFormatIndex(static_cast<WAVE_FORMAT_INDEX>(m_formatIndex));
        return;
    }
    component.WaveFormatID(id);
    // The component ignores a text too short or too long to be a format record; for the
    // command that is a mistake to report, not to decode past.
    std::string lower = id;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (component.WaveFormatID() != lower)
        throw ArgumentException(E_INVALIDARG, "--format-id: '" + m_formatId +
                                                  "' is not a wave format record (36 or more hexadecimal digits)");
}

bool DecodeOptions::Given(const CLI::Option* option) {
    return option != nullptr && option->count() > 0;
}

void DecodeOptions::Apply(PhoneVornix& component) const {
    DetectorTable::Apply(component, m_detectors);
    // Both channels: this component decodes the left one.
    if (Given(m_channelOption)) component.DecodeChannel(m_channel == "right" ? RIGHT_CHANNEL : LEFT_CHANNEL);
    if (Given(m_silenceOption)) component.SilenceThreshold(m_silenceThreshold);
    CDTMFParams& p = component.DTMFParams();
    if (Given(m_minDurationOption)) p.minDuration(m_minDuration);
    if (Given(m_minIntervalOption)) p.minIntervalDuration(m_minInterval);
    if (Given(m_sensitiveOption)) p.Sensitive(m_sensitive);
    if (Given(m_energyOption)) p.EnergyThreshold(m_energyThreshold);
    if (Given(m_normalTwistOption)) p.Normal_twist(m_normalTwist);
    if (Given(m_reverseTwistOption)) p.Reverse_twist(m_reverseTwist);
    if (Given(m_harmonicRowOption)) p.Harmonic2nd_row(m_harmonicRow);
    if (Given(m_harmonicColOption)) p.Harmonic2nd_col(m_harmonicCol);
    if (Given(m_relativePeakOption)) p.RelativePeakTest(m_relativePeakTest == "on");
    p.DTMFProfile(m_dtmfProfile == "exact" ? DTMF_PROFILE_EXACT : DTMF_PROFILE_ROBUST);
    component.MonitorTonesParams().BlockLayout(m_toneBlocks == "exact" ? TONE_BLOCKS_EXACT : TONE_BLOCKS_RATE_SCALED);
    CTonePagingParams& pagingParams = component.TonePagingParams();
    if (Given(m_pagingTypeOption)) {
        std::string name = m_pagingType;
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        pagingParams.PagingType(kPagingTypes.at(name));
    }
    if (Given(m_minAmpOption)) pagingParams.MinAmpdB(m_minAmpdB);
    if (Given(m_minGapOption)) pagingParams.minGapDuration(m_minGapDuration);
    // "tones" without a --tone of the user's watches the built-in tones.
    if (!m_tones.empty() || DetectorTable::Chosen("tones", m_detectors)) {
        const std::span<const ToneDefinition> tones = m_tones.empty() ? ToneDefinition::BuiltIns() : std::span(m_tones);
        for (const ToneDefinition& t : tones)
            component.MonitorTones_Add(t.id, t.onMs, t.offMs, t.frequencies[0], t.frequencies[1], t.frequencies[2],
                                       t.frequencies[3], t.minAmpdB, t.maxAmpdB);
    }
    CCustomToneParams& spectrum = component.CustomToneParams();
    if (Given(m_fftSizeOption)) spectrum.FFT_Size(m_fftSize);
    if (Given(m_fftWindowOption)) spectrum.FFT_Window(kWindows.at(m_fftWindow));
    if (Given(m_amplitudeThresholdOption)) spectrum.AmplitudeThreshold(m_amplitudeThreshold);
    if (Given(m_maxTonesDurationOption)) spectrum.MaxTonesDuration(m_maxTonesDuration);
    if (Given(m_minSilenceDurationOption)) spectrum.minSilenceDuration(m_minSilenceDuration);
    CTTYParams& ttyParams = component.TTYParams();
    if (Given(m_ttyRateOption)) ttyParams.Rate(kTtyRates.at(m_ttyRate));
    if (Given(m_ttyModeOption)) ttyParams.Mode(kTtyModes.at(m_ttyMode));
    if (Given(m_ttyMarkOption)) ttyParams.MarkFreq(m_ttyMark);
    if (Given(m_ttySpaceOption)) ttyParams.SpaceFreq(m_ttySpace);
    // The FSK group drops a value it refuses without a word; every value the options let
    // through is one it takes.
    CFSKParams& fsk = component.FSKParams();
    if (Given(m_markFreqOption)) fsk.MarkFreq(m_markFreq);
    if (Given(m_spaceFreqOption)) fsk.SpaceFreq(m_spaceFreq);
    if (Given(m_baudRateOption)) fsk.BaudRate(m_baudRate);
    if (Given(m_fskMarkOption)) fsk.MarkFreq(m_fskMark);
    if (Given(m_fskSpaceOption)) fsk.SpaceFreq(m_fskSpace);
    if (Given(m_fskBaudOption)) fsk.BaudRate(m_fskBaud);
    if (m_fskFraming) {
        fsk.DataBits(m_fskFraming->dataBits);
        fsk.Parity(kParities.at(m_fskFraming->parity));
        fsk.StopBits(kStopBits.at(m_fskFraming->stopBits));
    }
    if (Given(m_fskDataBitsOption)) fsk.DataBits(m_fskDataBits);
    if (Given(m_fskParityOption)) fsk.Parity(kParities.at(m_fskParity));
    if (Given(m_fskStopBitsOption)) fsk.StopBits(kStopBits.at(m_fskStopBits));
    if (Given(m_fskStartToneOption)) fsk.StartBitTone(kLevels.at(m_fskStartTone));
    if (Given(m_fskStopToneOption)) fsk.StopBitTone(kLevels.at(m_fskStopTone));
}
