#include "GenCommand.h"

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Bounded.h"
#include "ExitCode.h"
#include "audio/CSoundFile.h"
#include "audio/WaveFormat.h"
#include "synth/CadencedToneGenerator.h"
#include "synth/CallerIdGenerator.h"
#include "synth/CallerIdMessage.h"
#include "synth/DtmfGenerator.h"
#include "synth/MfGenerator.h"
#include "synth/PagingGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"
#include "synth/SitGenerator.h"

namespace {

// The longest recording gen writes: RIFF sizes are 32-bit, and the signal is built in
// memory first.
constexpr double kMaxBytes = 2.0e9;

}  // namespace

GenCommand::GenCommand(CLI::App& parent) {
    m_command = parent.add_subcommand("gen", "Write a test recording");
    m_command->require_subcommand(1);

    m_dtmf = m_command->add_subcommand("dtmf", "DTMF keys");
    m_dtmf->add_option("DIGITS", m_digits, "Keys to dial: 0-9 * # A-D")->required();
    m_dtmf->add_option("--level", m_levelDbfs, "Level of the low-group tone in dBFS")->check(Bounded(-120, 0))->capture_default_str();
    m_dtmf->add_option("--twist", m_twistDb, "High-group level minus low-group level in dB")->check(Bounded(-40, 40))->capture_default_str();
    m_dtmf->add_option("--duration", m_durationMs, "Tone of each key in ms")->check(Bounded(0, 60000))->capture_default_str();
    m_dtmf->add_option("--gap", m_gapMs, "Silence after each key in ms")->check(Bounded(0, 60000))->capture_default_str();
    m_dtmf->add_option("--lead", m_leadMs, "Silence before the first key in ms")->check(Bounded(0, 3600000))->capture_default_str();
    AddCommonOptions(*m_dtmf);

    m_cid = m_command->add_subcommand("cid", "Caller ID or a message-waiting indication in FSK");
    m_cid->add_option("--number", m_number, "Calling number");
    m_cid->add_option("--name", m_name, "Calling name (mdmf only; bytes above 0x7F are sent as they are)");
    m_cid->add_option("--called", m_called, "Called number (mdmf only)");
    m_cid->add_option("--number-absence", m_numberAbsence, "Instead of a number: why there is none")
        ->check(CLI::IsMember({"private", "out-of-area"}));
    m_cid->add_option("--name-absence", m_nameAbsence, "Instead of a name: why there is none (mdmf only)")
        ->check(CLI::IsMember({"private", "out-of-area"}));
    m_cid->add_option("--date", m_date, "Date and time sent, MMDDHHMM")->capture_default_str();
    m_cid->add_option("--format", m_format, "Single-message or multiple-message caller ID")
        ->check(CLI::IsMember({"sdmf", "mdmf"}))
        ->capture_default_str();
    m_cid->add_option("--standard", m_standard, "Tones and sequence: bell202, v23 or japanese (V.23 after a ring)")
        ->check(CLI::IsMember({"bell202", "v23", "japanese"}))
        ->capture_default_str();
    m_cid->add_flag("--call-waiting", m_callWaiting, "Off hook: alerting tone, DTMF D acknowledgement, no seizure");
    m_cid->add_option("--vmwi", m_vmwi, "Send a message-waiting indication instead of caller ID")
        ->check(CLI::IsMember({"on", "off"}));
    m_cid->add_option("--vmwi-format", m_vmwiFormat, "Message-waiting message: sdmf (type 0x06) or mdmf (0x82)")
        ->check(CLI::IsMember({"sdmf", "mdmf"}))
        ->capture_default_str();
    m_cid->add_option("--messages", m_messages, "Count of waiting messages (--vmwi-format mdmf)")->check(Bounded(0, 255));
    m_cid->add_flag("--bad-checksum", m_badChecksum, "Send a wrong checksum, which a receiver must reject");
    m_cid->add_option("--level", m_cidLevelDbfs, "Level of the FSK tones in dBFS")->check(Bounded(-120, 0))->capture_default_str();
    m_cid->add_option("--lead", m_cidLeadMs, "Silence before the transmission in ms")->check(Bounded(0, 3600000))->capture_default_str();
    m_cid->add_option("--frequency-offset", m_frequencyOffsetPercent, "Shift of both FSK tones in percent")
        ->check(Bounded(-20, 20))
        ->capture_default_str();
    m_cid->add_option("--bit-rate-error", m_bitRateErrorPercent, "Deviation of the bit rate from 1200 baud in percent")
        ->check(Bounded(-20, 20))
        ->capture_default_str();
    m_cid->add_option("--seizure-bits", m_seizureBits, "Channel seizure bits (on hook)")->check(Bounded(0, 100000))->capture_default_str();
    m_cid->add_option("--mark-bits", m_markBits, "Mark bits before the message (default: 180 on hook, 80 call waiting, 100 japanese)")
        ->check(Bounded(0, 100000));
    AddCommonOptions(*m_cid);

    const auto level = Bounded(-120, 0);
    const auto duration = Bounded(0, 60000);
    const auto lead = Bounded(0, 3600000);
    const auto offset = Bounded(-20, 20);

    m_mf = m_command->add_subcommand("mf", "MF (R1) keys");
    m_mf->add_option("KEYS", m_mfArgs.keys, "Keys: 0-9, * or KP, # or ST, A or STP, B or ST2P, C or ST3P")->required();
    m_mf->add_option("--level", m_mfArgs.levelDbfs, "Level of each of the two tones in dBFS")->check(level)->capture_default_str();
    m_mf->add_option("--duration", m_mfArgs.durationMs, "Tone of each key but KP in ms")->check(duration)->capture_default_str();
    m_mf->add_option("--kp-duration", m_mfArgs.kpDurationMs, "Tone of KP in ms")->check(duration)->capture_default_str();
    m_mf->add_option("--gap", m_mfArgs.gapMs, "Silence after each key in ms")->check(duration)->capture_default_str();
    m_mf->add_option("--lead", m_mfArgs.leadMs, "Silence before the first key in ms")->check(lead)->capture_default_str();
    m_mf->add_option("--frequency-offset", m_mfArgs.frequencyOffsetPercent, "Shift of every tone in percent")
        ->check(offset)
        ->capture_default_str();
    AddCommonOptions(*m_mf);

    m_paging = m_command->add_subcommand("paging", "Selective-call paging tones");
    m_paging->add_option("DIGITS", m_pagingArgs.digits, "Digits: 0-9 A-F (EIA and EEA have no F)")->required();
    m_paging->add_option("--type", m_pagingArgs.type, "Tone set")
        ->check(CLI::IsMember({"EIA", "CCIR", "ZVEI1", "ZVEI2", "ZVEI3", "PZVEI", "EEA"}, CLI::ignore_case))
        ->capture_default_str();
    m_paging->add_option("--level", m_pagingArgs.levelDbfs, "Level of each tone in dBFS")->check(level)->capture_default_str();
    m_paging->add_option("--duration", m_pagingArgs.durationMs, "Each tone in ms (default: the type's, 40, 70 or 100)")
        ->check(duration);
    m_paging->add_option("--gap", m_pagingArgs.gapMs, "Silence after each tone in ms")->check(duration)->capture_default_str();
    m_paging->add_option("--lead", m_pagingArgs.leadMs, "Silence before the first tone in ms")->check(lead)->capture_default_str();
    m_paging->add_option("--frequency-offset", m_pagingArgs.frequencyOffsetPercent, "Shift of every tone in percent")
        ->check(offset)
        ->capture_default_str();
    m_paging->add_flag("--no-repeat", m_pagingArgs.noRepeat, "Send a repeated digit as itself, not as the repeat tone E");
    AddCommonOptions(*m_paging);

    m_sit = m_command->add_subcommand("sit", "Special information tones");
    m_sit->add_option("KIND", m_sitArgs.kind, "RO, VC, NC, IC, RO2, NC2 or IO")
        ->required()
        ->check(CLI::IsMember({"RO", "VC", "NC", "IC", "RO2", "NC2", "IO"}, CLI::ignore_case));
    m_sit->add_option("--level", m_sitArgs.levelDbfs, "Level of each tone in dBFS")->check(level)->capture_default_str();
    m_sit->add_option("--short", m_sitArgs.shortMs, "A short first or second tone in ms")->check(duration)->capture_default_str();
    m_sit->add_option("--long", m_sitArgs.longMs, "A long first or second tone in ms")->check(duration)->capture_default_str();
    m_sit->add_option("--third", m_sitArgs.thirdMs, "The 1776 Hz tone in ms")->check(duration)->capture_default_str();
    m_sit->add_option("--gap", m_sitArgs.gapMs, "Silence between the tones in ms")->check(duration)->capture_default_str();
    m_sit->add_option("--announcement", m_sitArgs.announcementMs, "Silence after the third tone in ms")
        ->check(lead)
        ->capture_default_str();
    m_sit->add_option("--lead", m_sitArgs.leadMs, "Silence before the first tone in ms")->check(lead)->capture_default_str();
    m_sit->add_option("--frequency-offset", m_sitArgs.frequencyOffsetPercent, "Shift of every tone in percent")
        ->check(offset)
        ->capture_default_str();
    AddCommonOptions(*m_sit);

    m_tone = m_command->add_subcommand("tone", "A tone of up to four frequencies in an on/off cadence");
    m_tone->add_option("FREQUENCIES", m_toneArgs.frequenciesHz, "One to four frequencies in Hz, comma-separated")
        ->required()
        ->delimiter(',')
        ->check(Bounded(1, 96000));
    m_tone->add_option("--levels", m_toneArgs.levelsDbfs, "Level of each frequency in dBFS, comma-separated")
        ->delimiter(',')
        ->check(level);
    m_tone->add_option("--level", m_toneArgs.levelDbfs, "Level of every frequency in dBFS (without --levels)")
        ->check(level)
        ->capture_default_str();
    m_tone->add_option("--on", m_toneArgs.onMs, "Tone of each cycle in ms")->check(lead)->capture_default_str();
    m_tone->add_option("--off", m_toneArgs.offMs, "Silence of each cycle in ms")->check(lead)->capture_default_str();
    m_tone->add_option("--count", m_toneArgs.count, "Cycles")->check(Bounded(1, 1000000))->capture_default_str();
    m_tone->add_option("--lead", m_toneArgs.leadMs, "Silence before the first cycle in ms")->check(lead)->capture_default_str();
    m_tone->add_option("--frequency-offset", m_toneArgs.frequencyOffsetPercent, "Shift of every frequency in percent")
        ->check(offset)
        ->capture_default_str();
    AddCommonOptions(*m_tone);
}

void GenCommand::AddCommonOptions(CLI::App& kind) {
    kind.add_option("-o,--output", m_output, "Wave file to write")->required();
    kind.add_option("--noise", m_noiseDbfs, "White noise over the whole recording at this level in dBFS")
        ->check(Bounded(-200, 0))
        ->each([this](const std::string&) { m_noise = true; });
    kind.add_option("--seed", m_seed, "Seed of the noise (the same seed gives the same noise)")->capture_default_str();
    kind.add_option("--rate", m_rate, "Sample rate in Hz")->check(Bounded(1000, 192000))->capture_default_str();
    kind.add_option("--bits", m_bits, "Bits per sample: 8, 16 or 32 (float)")->check(CLI::IsMember({8, 16, 32}))->capture_default_str();
    kind.add_option("--channels", m_channels, "1 or 2")->check(CLI::IsMember({1, 2}))->capture_default_str();
    kind.add_option("--channel", m_channel, "Channel carrying the signal in stereo")
        ->check(CLI::IsMember({"left", "right"}))
        ->capture_default_str();
}

bool GenCommand::Selected() const {
    return m_command->parsed();
}

int GenCommand::Run() {
    if (m_dtmf->parsed()) return RunDtmf();
    if (m_cid->parsed()) return RunCid();
    if (m_mf->parsed()) return RunMf();
    if (m_paging->parsed()) return RunPaging();
    if (m_sit->parsed()) return RunSit();
    if (m_tone->parsed()) return RunTone();
    return kExitUsage;
}

int GenCommand::RunDtmf() {
    for (char key : m_digits) {
        if (DtmfGenerator::KeyIndex(key) < 0) {
            std::cerr << "vornix gen dtmf: '" << key << "' is not a DTMF key (0-9 * # A-D)\n";
            return kExitUsage;
        }
    }
    const double seconds = (m_leadMs + static_cast<double>(m_digits.size()) * (m_durationMs + m_gapMs)) / 1000.0;
    if (seconds * m_rate * m_channels * (m_bits / 8) > kMaxBytes) {
        std::cerr << "vornix gen dtmf: the recording would be longer than a wave file can hold\n";
        return kExitUsage;
    }
    DtmfGenerator::Options options;
    options.levelDbfs = m_levelDbfs;
    options.twistDb = m_twistDb;
    options.toneMs = m_durationMs;
    options.gapMs = m_gapMs;
    options.leadMs = m_leadMs;
    SignalTimeline signal(m_rate);
    signal.Reserve(static_cast<std::size_t>(seconds * m_rate) + 1);
    if (DtmfGenerator(options).Append(signal, m_digits) != S_OK) {
        std::cerr << "vornix gen dtmf: the options do not describe a signal\n";
        return kExitUsage;
    }
    return Write(signal);
}

bool GenCommand::CidGiven(const char* option) const {
    return m_cid->count(option) > 0;
}

bool GenCommand::CidMessage(std::vector<std::uint8_t>& message, std::string& error) const {
    const auto reason = [](const std::string& absence) {
        return absence == "private" ? CallerIdMessage::kPrivate : CallerIdMessage::kOutOfArea;
    };
    const bool number = CidGiven("--number");
    const bool numberAbsence = CidGiven("--number-absence");
    if (number && numberAbsence) {
        error = "--number and --number-absence contradict each other";
        return false;
    }
    if (CidGiven("--name") && CidGiven("--name-absence")) {
        error = "--name and --name-absence contradict each other";
        return false;
    }
    const bool callerFields = number || numberAbsence || CidGiven("--name") || CidGiven("--name-absence") ||
                              CidGiven("--called") || CidGiven("--date") || CidGiven("--format");

    if (m_standard == "japanese") {
        // The Japanese message has no date, name or checksum of the kind the others have.
        if (!m_vmwi.empty() || numberAbsence || CidGiven("--name") || CidGiven("--name-absence") ||
            CidGiven("--called") || CidGiven("--date") || CidGiven("--format") || m_badChecksum) {
            error = "--standard japanese carries the number only";
            return false;
        }
        if (!number) {
            error = "--standard japanese needs --number";
            return false;
        }
        if (CallerIdMessage::Japanese(m_number, message) != S_OK) {
            error = "the Japanese number must be at most 125 ASCII characters";
            return false;
        }
        return true;
    }

    if (m_vmwi.empty() && (CidGiven("--vmwi-format") || CidGiven("--messages"))) {
        error = "--vmwi-format and --messages describe a message-waiting message: give --vmwi";
        return false;
    }
    if (!m_vmwi.empty()) {
        if (callerFields) {
            error = "--vmwi sends a message-waiting message, which carries no caller ID";
            return false;
        }
        if (CidGiven("--messages") && m_vmwiFormat != "mdmf") {
            error = "--messages needs --vmwi-format mdmf";
            return false;
        }
        const bool on = m_vmwi == "on";
        const HRESULT hr = m_vmwiFormat == "mdmf"
                               ? CallerIdMessage::MdmfMessageWaiting(
                                     on, CidGiven("--messages") ? std::optional<int>(m_messages) : std::nullopt, message)
                               : CallerIdMessage::MessageWaiting(on, message);
        if (hr != S_OK) {
            error = "the message-waiting options do not describe a message";
            return false;
        }
    } else {
        if (!CallerIdMessage::IsDate(m_date)) {
            error = "--date must be eight digits, MMDDHHMM";
            return false;
        }
        HRESULT hr = S_OK;
        if (m_format == "sdmf") {
            if (CidGiven("--name") || CidGiven("--name-absence") || CidGiven("--called")) {
                error = "--format sdmf carries the date and the number only";
                return false;
            }
            if (!number && !numberAbsence) {
                error = "--format sdmf needs --number or --number-absence";
                return false;
            }
            // This format says "private" or "out of area" with the letter in the number's place.
            const std::string sent = number ? m_number : std::string(1, reason(m_numberAbsence));
            hr = CallerIdMessage::Sdmf(m_date, sent, message);
        } else {
            CallerIdMessage::Caller caller;
            caller.date = m_date;
            if (number) caller.number = m_number;
            if (CidGiven("--name")) caller.name = m_name;
            if (CidGiven("--called")) caller.called = m_called;
            if (numberAbsence) caller.numberAbsence = reason(m_numberAbsence);
            if (CidGiven("--name-absence")) caller.nameAbsence = reason(m_nameAbsence);
            hr = CallerIdMessage::MdmfCaller(caller, message);
        }
        if (hr != S_OK) {
            error = "the message would be longer than its length byte can count (255 bytes)";
            return false;
        }
    }
    if (m_badChecksum) CallerIdMessage::CorruptChecksum(message);
    return true;
}

int GenCommand::RunCid() {
    if (m_callWaiting && m_standard == "japanese") {
        std::cerr << "vornix gen cid: --call-waiting has no Japanese form\n";
        return kExitUsage;
    }
    std::vector<std::uint8_t> message;
    std::string error;
    if (!CidMessage(message, error)) {
        std::cerr << "vornix gen cid: " << error << '\n';
        return kExitUsage;
    }
    CallerIdGenerator::Options options;
    options.standard = m_standard == "japanese" ? CallerIdGenerator::Standard::kJapanese
                       : m_standard == "v23"    ? CallerIdGenerator::Standard::kV23
                                                : CallerIdGenerator::Standard::kBell202;
    options.callWaiting = m_callWaiting;
    options.levelDbfs = m_cidLevelDbfs;
    options.leadMs = m_cidLeadMs;
    options.frequencyOffsetPercent = m_frequencyOffsetPercent;
    options.bitRateErrorPercent = m_bitRateErrorPercent;
    options.seizureBits = m_seizureBits;
    if (CidGiven("--mark-bits")) {
        options.markBits = m_markBits;
        options.callWaitingMarkBits = m_markBits;
        options.japaneseMarkBits = m_markBits;
    }
    const CallerIdGenerator generator(options);
    const std::size_t samples = generator.SampleCount(m_rate, message.size());
    if (static_cast<double>(samples) * m_channels * (m_bits / 8) > kMaxBytes) {
        std::cerr << "vornix gen cid: the recording would be longer than a wave file can hold\n";
        return kExitUsage;
    }
    SignalTimeline signal(m_rate);
    if (generator.Append(signal, message) != S_OK) {
        std::cerr << "vornix gen cid: the tones do not fit below half the sample rate of " << m_rate << " Hz\n";
        return kExitUsage;
    }
    return Write(signal);
}

bool GenCommand::Fits(const char* kind, double samples) const {
    if (samples * m_channels * (m_bits / 8) <= kMaxBytes) return true;
    std::cerr << "vornix gen " << kind << ": the recording would be longer than a wave file can hold\n";
    return false;
}

int GenCommand::RunMf() {
    std::string keys;
    if (!MfGenerator::ParseKeys(m_mfArgs.keys, keys)) {
        std::cerr << "vornix gen mf: '" << m_mfArgs.keys << "' is not MF keys (0-9 * # A B C, or KP ST STP ST2P ST3P)\n";
        return kExitUsage;
    }
    MfGenerator::Options options;
    options.levelDbfs = m_mfArgs.levelDbfs;
    options.toneMs = m_mfArgs.durationMs;
    options.kpToneMs = m_mfArgs.kpDurationMs;
    options.gapMs = m_mfArgs.gapMs;
    options.leadMs = m_mfArgs.leadMs;
    options.frequencyOffsetPercent = m_mfArgs.frequencyOffsetPercent;
    // KP's own length is at most the longer of the two; the check needs only a bound.
    const double slotMs = std::max(options.toneMs, options.kpToneMs) + options.gapMs;
    if (!Fits("mf", (options.leadMs + static_cast<double>(keys.size()) * slotMs) * m_rate / 1000.0)) return kExitUsage;
    SignalTimeline signal(m_rate);
    if (MfGenerator(options).Append(signal, keys) != S_OK) {
        std::cerr << "vornix gen mf: the tones do not fit below half the sample rate of " << m_rate << " Hz\n";
        return kExitUsage;
    }
    return Write(signal);
}

int GenCommand::RunPaging() {
    PagingGenerator::Options options;
    if (!PagingGenerator::ParseType(m_pagingArgs.type, options.type)) return kExitUsage;  // checked by the parser
    for (char digit : m_pagingArgs.digits) {
        const int index = PagingGenerator::DigitIndex(digit);
        if (index < 0 || PagingGenerator::kToneHz[static_cast<int>(options.type)][index] == 0.0) {
            std::cerr << "vornix gen paging: '" << digit << "' is not a digit of " << PagingGenerator::TypeName(options.type)
                      << (options.type == PagingGenerator::Type::kEia || options.type == PagingGenerator::Type::kEea
                              ? " (0-9 A-E)\n"
                              : " (0-9 A-F)\n");
            return kExitUsage;
        }
    }
    options.levelDbfs = m_pagingArgs.levelDbfs;
    if (m_paging->count("--duration") > 0) options.toneMs = m_pagingArgs.durationMs;
    options.gapMs = m_pagingArgs.gapMs;
    options.leadMs = m_pagingArgs.leadMs;
    options.frequencyOffsetPercent = m_pagingArgs.frequencyOffsetPercent;
    options.repeatTone = !m_pagingArgs.noRepeat;
    const PagingGenerator generator(options);
    const double slotMs = generator.ToneMs() + options.gapMs;
    if (!Fits("paging", (options.leadMs + static_cast<double>(m_pagingArgs.digits.size()) * slotMs) * m_rate / 1000.0))
        return kExitUsage;
    SignalTimeline signal(m_rate);
    if (generator.Append(signal, m_pagingArgs.digits) != S_OK) {
        std::cerr << "vornix gen paging: the tones do not fit below half the sample rate of " << m_rate << " Hz\n";
        return kExitUsage;
    }
    return Write(signal);
}

int GenCommand::RunSit() {
    SitGenerator::Kind kind = SitGenerator::Kind::kRO;
    if (!SitGenerator::ParseKind(m_sitArgs.kind, kind)) return kExitUsage;  // checked by the parser
    SitGenerator::Options options;
    options.levelDbfs = m_sitArgs.levelDbfs;
    options.shortMs = m_sitArgs.shortMs;
    options.longMs = m_sitArgs.longMs;
    options.thirdMs = m_sitArgs.thirdMs;
    options.gapMs = m_sitArgs.gapMs;
    options.announcementMs = m_sitArgs.announcementMs;
    options.leadMs = m_sitArgs.leadMs;
    options.frequencyOffsetPercent = m_sitArgs.frequencyOffsetPercent;
    const double ms = options.leadMs + 2.0 * (std::max(options.shortMs, options.longMs) + options.gapMs) +
                      options.thirdMs + options.announcementMs;
    if (!Fits("sit", ms * m_rate / 1000.0)) return kExitUsage;
    SignalTimeline signal(m_rate);
    if (SitGenerator(options).Append(signal, kind) != S_OK) {
        std::cerr << "vornix gen sit: the tones do not fit below half the sample rate of " << m_rate << " Hz\n";
        return kExitUsage;
    }
    return Write(signal);
}

int GenCommand::RunTone() {
    CadencedToneGenerator::Options options;
    options.frequenciesHz = m_toneArgs.frequenciesHz;
    options.levelsDbfs = m_toneArgs.levelsDbfs;
    if (options.frequenciesHz.size() > CadencedToneGenerator::kMaxFrequencies) {
        std::cerr << "vornix gen tone: at most " << CadencedToneGenerator::kMaxFrequencies << " frequencies\n";
        return kExitUsage;
    }
    if (!options.levelsDbfs.empty() && options.levelsDbfs.size() != options.frequenciesHz.size()) {
        std::cerr << "vornix gen tone: --levels needs one level per frequency\n";
        return kExitUsage;
    }
    options.levelDbfs = m_toneArgs.levelDbfs;
    options.onMs = m_toneArgs.onMs;
    options.offMs = m_toneArgs.offMs;
    options.count = m_toneArgs.count;
    options.leadMs = m_toneArgs.leadMs;
    options.frequencyOffsetPercent = m_toneArgs.frequencyOffsetPercent;
    const CadencedToneGenerator generator(options);
    if (!Fits("tone", static_cast<double>(generator.SampleCount(m_rate)))) return kExitUsage;
    SignalTimeline signal(m_rate);
    if (generator.Append(signal) != S_OK) {
        std::cerr << "vornix gen tone: the frequencies must lie below half the sample rate of " << m_rate << " Hz\n";
        return kExitUsage;
    }
    return Write(signal);
}

int GenCommand::Write(SignalTimeline& signal) {
    if (m_noise) signal.AddNoise(m_noiseDbfs, m_seed);
    const PcmRenderer::Format format{m_bits, m_channels, m_channel == "right" && m_channels == 2 ? 1 : 0, m_rate};
    PcmRenderer renderer(format);
    std::vector<unsigned char> pcm;
    if (renderer.Render(signal, pcm) != S_OK) {
        std::cerr << "vornix gen: the output format is not valid\n";
        return kExitUsage;
    }
    if (renderer.ClippedSamples() > 0)
        std::cerr << "vornix gen: warning: " << renderer.ClippedSamples() << " samples clipped\n";

    const auto align = static_cast<std::uint16_t>(renderer.BytesPerFrame());
    WAVEFORMATEX wave{m_bits == 32 ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM,
                      static_cast<std::uint16_t>(m_channels),
                      static_cast<std::uint32_t>(m_rate),
                      static_cast<std::uint32_t>(m_rate) * align,
                      align,
                      static_cast<std::uint16_t>(m_bits),
                      0};
    CSoundFile file(m_output.c_str(), &wave, sizeof wave);
    if (!file.IsOK() || !file.Write(pcm.data(), static_cast<std::uint32_t>(pcm.size())) || !file.Close()) {
        std::cerr << "vornix gen: " << m_output << ": " << file.GetLastErrorText() << '\n';
        return kExitFailure;
    }
    return kExitSuccess;
}
