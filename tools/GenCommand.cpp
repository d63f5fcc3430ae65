#include "GenCommand.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Bounded.h"
#include "ExitCode.h"
#include "Verbosity.h"
#include "audio/CSoundFile.h"
#include "audio/WaveFormat.h"
#include "synth/CadencedToneGenerator.h"
#include "synth/CallerIdGenerator.h"
#include "synth/CallerIdMessage.h"
#include "synth/DtmfGenerator.h"
#include "synth/FskDataGenerator.h"
#include "synth/MfGenerator.h"
#include "synth/PagingGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SameGenerator.h"
#include "synth/SignalTimeline.h"
#include "synth/SitGenerator.h"
#include "synth/TtyGenerator.h"

namespace {

// The longest recording gen writes: RIFF sizes are 32-bit, and the signal is built in
// memory first.
constexpr double kMaxBytes = 2.0e9;

// A command line's UTF-8 as the Latin-1 bytes the TTY tables hold (the pound sign is
// 0xA3); a text that is not UTF-8 of code points up to U+00FF is taken as bytes already.
std::string Latin1FromUtf8(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
                   (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
            ++i;
        } else {
            return text;
        }
    }
    return out;
}

// Hex digits in pairs, spaces, commas and colons between bytes allowed: "48 65 6c", "48656c".
bool ParseHex(const std::string& text, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    int high = -1;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else if ((c == ' ' || c == ',' || c == ':') && high < 0) continue;
        else return false;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    return high < 0 && !bytes.empty();
}

// The noise seed: a whole number the noise generator takes as it is, 0 to 2^64 - 1. A sign,
// a fraction or a number out of range is refused rather than wrapped or clamped into
// another seed, which would give other noise than the one asked for without a word.
CLI::Validator SeedCheck() {
    return CLI::Validator(
        [](std::string& text) {
            std::uint64_t value = 0;
            const char* end = text.data() + text.size();
            const auto [ptr, ec] = std::from_chars(text.data(), end, value);
            if (text.empty() || ec != std::errc() || ptr != end)
                return "'" + text + "' is not a seed: give a whole number from 0 to 18446744073709551615";
            return std::string();
        },
        "0 .. 2^64-1");
}

std::string Hz(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g Hz", hz);
    return text;
}

bool ParseStopBits(const std::string& text, FskDataGenerator::StopBits& stopBits) {
    if (text == "0") stopBits = FskDataGenerator::StopBits::kNone;
    else if (text == "1") stopBits = FskDataGenerator::StopBits::kOne;
    else if (text == "1.5") stopBits = FskDataGenerator::StopBits::kOneAndHalf;
    else if (text == "2") stopBits = FskDataGenerator::StopBits::kTwo;
    else return false;
    return true;
}

bool ParseParity(char letter, FskDataGenerator::Parity& parity) {
    switch (std::toupper(static_cast<unsigned char>(letter))) {
        case 'N': parity = FskDataGenerator::Parity::kNone; return true;
        case 'O': parity = FskDataGenerator::Parity::kOdd; return true;
        case 'E': parity = FskDataGenerator::Parity::kEven; return true;
        case 'M': parity = FskDataGenerator::Parity::kMark; return true;
        case 'S': parity = FskDataGenerator::Parity::kSpace; return true;
        default: return false;
    }
}

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
    m_cid->add_option("--number", m_number, "Calling number (default: none)");
    m_cid->add_option("--name", m_name, "Calling name (mdmf only; bytes above 0x7F are sent as they are) (default: none)");
    m_cid->add_option("--called", m_called, "Called number (mdmf only) (default: none)");
    m_cid->add_option("--number-absence", m_numberAbsence, "Instead of a number: why there is none (default: none)")
        ->check(CLI::IsMember({"private", "out-of-area"}));
    m_cid->add_option("--name-absence", m_nameAbsence, "Instead of a name: why there is none (mdmf only) (default: none)")
        ->check(CLI::IsMember({"private", "out-of-area"}));
    m_cid->add_option("--date", m_date, "Date and time sent, MMDDHHMM")->capture_default_str();
    m_cid->add_option("--format", m_format, "Single-message or multiple-message caller ID")
        ->check(CLI::IsMember({"sdmf", "mdmf"}))
        ->capture_default_str();
    m_cid->add_option("--standard", m_standard, "Tones and sequence: bell202, v23 or japanese (V.23 after a ring)")
        ->check(CLI::IsMember({"bell202", "v23", "japanese"}))
        ->capture_default_str();
    m_cid->add_flag("--call-waiting", m_callWaiting, "Off hook: alerting tone, DTMF D acknowledgement, no seizure");
    m_cid->add_option("--vmwi", m_vmwi, "Send a message-waiting indication instead of caller ID (default: caller ID)")
        ->check(CLI::IsMember({"on", "off"}));
    m_cid->add_option("--vmwi-format", m_vmwiFormat, "Message-waiting message: sdmf (type 0x06) or mdmf (0x82)")
        ->check(CLI::IsMember({"sdmf", "mdmf"}))
        ->capture_default_str();
    m_cid->add_option("--messages", m_messages, "Count of waiting messages (--vmwi-format mdmf; default: not sent)")->check(Bounded(0, 255));
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
    m_tone->add_option("--levels", m_toneArgs.levelsDbfs, "Level of each frequency in dBFS, comma-separated (default: --level for each)")
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

    const auto percent = Bounded(-20, 20);
    const auto toneHz = Bounded(1, 96000);

    m_tty = m_command->add_subcommand("tty", "Text telephone (TTY) characters in Baudot or ASCII");
    m_tty->add_option("TEXT", m_ttyArgs.text, "Text to send (Baudot: letters, digits and the figures of the mode)")->required();
    m_tty->add_option("--baud", m_ttyArgs.baud, "Bit rate")
        ->check(CLI::IsMember({"45.45", "50", "56.92", "74.2", "100", "110"}))
        ->capture_default_str();
    m_tty->add_option("--mode", m_ttyArgs.mode, "Baudot with the figures of mode 0, 3 or 4, or 7- or 8-bit ASCII")
        ->check(CLI::IsMember({"baudot", "baudot-3", "baudot-4", "ascii7", "ascii8"}))
        ->capture_default_str();
    m_tty->add_option("--stop-bits", m_ttyArgs.stopBits, "Length of the stop bit in bits")
        ->check(CLI::IsMember({"1", "1.5", "2"}))
        ->capture_default_str();
    m_tty->add_option("--mark", m_ttyArgs.markHz, "Tone of a 1 bit in Hz")->check(toneHz)->capture_default_str();
    m_tty->add_option("--space", m_ttyArgs.spaceHz, "Tone of a 0 bit in Hz")->check(toneHz)->capture_default_str();
    m_tty->add_option("--level", m_ttyArgs.levelDbfs, "Level of the tones in dBFS")->check(level)->capture_default_str();
    m_tty->add_option("--lead", m_ttyArgs.leadMs, "Silence before the idle mark in ms")->check(lead)->capture_default_str();
    m_tty->add_option("--idle-before", m_ttyArgs.idleBeforeMs, "Mark before the first character in ms")
        ->check(duration)
        ->capture_default_str();
    m_tty->add_option("--idle-after", m_ttyArgs.idleAfterMs, "Mark after the last character in ms")
        ->check(duration)
        ->capture_default_str();
    m_tty->add_option("--frequency-offset", m_ttyArgs.frequencyOffsetPercent, "Shift of both tones in percent")
        ->check(percent)
        ->capture_default_str();
    m_tty->add_option("--bit-rate-error", m_ttyArgs.bitRateErrorPercent, "Deviation of the bit rate in percent")
        ->check(percent)
        ->capture_default_str();
    m_tty->add_flag("--skip-unknown", m_ttyArgs.skipUnknown, "Leave out characters the mode cannot send instead of refusing");
    AddCommonOptions(*m_tty);

    m_same = m_command->add_subcommand("same", "An emergency-alert (SAME) message: three headers, three NNNN");
    m_same->add_option("HEADER", m_sameArgs.header, "The header as sent, e.g. ZCZC-WXR-TOR-039173+0030-1591829-KEAX/NWS-");
        // The header's fields have no defaults: without HEADER every one must be given.
    const char* sameField = "Header fields (give HEADER or every field)";
    m_same->add_option("--originator", m_sameArgs.originator, "Instead of HEADER: originator code (EAS, CIV, WXR, PEP) (no default)")->group(sameField);
    m_same->add_option("--event", m_sameArgs.event, "Event code, three characters (TOR, RWT, ...) (no default)")->group(sameField);
    m_same->add_option("--locations", m_sameArgs.locations, "Location codes PSSCCC, comma-separated (1 to 31) (no default)")
        ->delimiter(',')
        ->group(sameField);
    m_same->add_option("--duration", m_sameArgs.duration, "Valid time, +HHMM (no default)")->group(sameField);
    m_same->add_option("--issued", m_sameArgs.issued, "Time of issue, JJJHHMM (day of the year, hour, minute) (no default)")->group(sameField);
    m_same->add_option("--sender", m_sameArgs.sender, "Sender, eight characters (KEAX/NWS) (no default)")->group(sameField);
    m_same->add_flag("--no-eom", m_sameArgs.noEndOfMessage, "Send the headers only, without the three NNNN bursts");
    m_same->add_option("--level", m_sameArgs.levelDbfs, "Level of the tones in dBFS")->check(level)->capture_default_str();
    m_same->add_option("--lead", m_sameArgs.leadMs, "Silence before the first burst in ms")->check(lead)->capture_default_str();
    m_same->add_option("--gap", m_sameArgs.gapMs, "Silence between the three copies of a burst in ms")
        ->check(duration)
        ->capture_default_str();
    m_same->add_option("--message-gap", m_sameArgs.messageGapMs, "Silence between the headers and the NNNN bursts in ms")
        ->check(lead)
        ->capture_default_str();
    m_same->add_option("--frequency-offset", m_sameArgs.frequencyOffsetPercent, "Shift of both tones in percent")
        ->check(percent)
        ->capture_default_str();
    m_same->add_option("--bit-rate-error", m_sameArgs.bitRateErrorPercent, "Deviation of the bit rate from 520.83 baud in percent")
        ->check(percent)
        ->capture_default_str();
    AddCommonOptions(*m_same);

    m_fsk = m_command->add_subcommand("fsk", "Asynchronous serial data in FSK with any tones, bit rate and framing");
    m_fsk->add_option("DATA", m_fskArgs.data, "Bytes to send: the text's bytes, or hex with --hex")->required();
    m_fsk->add_flag("--hex", m_fskArgs.hex, "DATA is hex bytes (\"48 69\" or \"4869\")");
    m_fsk->add_option("--baud", m_fskArgs.baud, "Bit rate")->check(Bounded(1, 96000))->capture_default_str();
    m_fsk->add_option("--mark", m_fskArgs.markHz, "Tone of a 1 bit in Hz")->check(toneHz)->capture_default_str();
    m_fsk->add_option("--space", m_fskArgs.spaceHz, "Tone of a 0 bit in Hz")->check(toneHz)->capture_default_str();
    m_fsk->add_option("--framing", m_fskArgs.framing, "Data bits, parity and stop bits at once: 8N1, 7E1, 5N1.5, ... (default: from --data-bits, --parity and --stop-bits)");
    m_fsk->add_option("--data-bits", m_fskArgs.dataBits, "5 to 8")->check(Bounded(5, 8))->capture_default_str();
    m_fsk->add_option("--parity", m_fskArgs.parity, "Parity bit after the data bits")
        ->check(CLI::IsMember({"none", "odd", "even", "mark", "space"}))
        ->capture_default_str();
    m_fsk->add_option("--stop-bits", m_fskArgs.stopBits, "Stop-bit length in bits")
        ->check(CLI::IsMember({"0", "1", "1.5", "2"}))
        ->capture_default_str();
    m_fsk->add_option("--start-tone", m_fskArgs.startTone, "Tone of the start bit (the idle line is the other)")
        ->check(CLI::IsMember({"mark", "space"}))
        ->capture_default_str();
    m_fsk->add_option("--stop-tone", m_fskArgs.stopTone, "Tone of the stop bits")
        ->check(CLI::IsMember({"mark", "space"}))
        ->capture_default_str();
    m_fsk->add_option("--idle", m_fskArgs.idleMs, "Idle line between characters in ms")->check(duration)->capture_default_str();
    m_fsk->add_option("--idle-before", m_fskArgs.idleBeforeMs, "Idle line before the first character in ms")
        ->check(duration)
        ->capture_default_str();
    m_fsk->add_option("--idle-after", m_fskArgs.idleAfterMs, "Idle line after the last character in ms")
        ->check(duration)
        ->capture_default_str();
    m_fsk->add_option("--level", m_fskArgs.levelDbfs, "Level of the tones in dBFS")->check(level)->capture_default_str();
    m_fsk->add_option("--lead", m_fskArgs.leadMs, "Silence before the idle line in ms")->check(lead)->capture_default_str();
    m_fsk->add_option("--frequency-offset", m_fskArgs.frequencyOffsetPercent, "Shift of both tones in percent")
        ->check(percent)
        ->capture_default_str();
    m_fsk->add_option("--bit-rate-error", m_fskArgs.bitRateErrorPercent, "Deviation of the bit rate in percent")
        ->check(percent)
        ->capture_default_str();
    AddCommonOptions(*m_fsk);
}

void GenCommand::AddCommonOptions(CLI::App& kind) {
    kind.add_option("-o,--output", m_output, "Wave file to write; - writes it to stdout")->required();
    kind.add_option("--noise", m_noiseDbfs, "White noise over the whole recording at this level in dBFS (default: none)")
        ->check(Bounded(-200, 0))
        ->each([this](const std::string&) { m_noise = true; });
    kind.add_option("--seed", m_seed, "Seed of the noise (the same seed gives the same noise)")
        ->check(SeedCheck())
        ->capture_default_str();
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
    if (m_tty->parsed()) return RunTty();
    if (m_same->parsed()) return RunSame();
    if (m_fsk->parsed()) return RunFsk();
    return kExitUsage;
}

int GenCommand::RunDtmf() {
    if (!NotEmpty("dtmf", "DIGITS", m_digits)) return kExitUsage;
    char highestKey = 0;
    double highestHz = 0.0;
    for (char key : m_digits) {
        const int index = DtmfGenerator::KeyIndex(key);
        if (index < 0) {
            std::cerr << "vornix gen dtmf: '" << key << "' is not a DTMF key (0-9 * # A-D)\n";
            return kExitUsage;
        }
        if (DtmfGenerator::kColHz[index % 4] > highestHz) {
            highestHz = DtmfGenerator::kColHz[index % 4];
            highestKey = key;
        }
    }
    if (!BelowHalfRate("dtmf", std::string("the high tone of key '") + highestKey + "'", highestHz)) return kExitUsage;
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

bool GenCommand::BelowHalfRate(const char* kind, const std::string& tone, double hz) const {
    if (hz < m_rate / 2.0) return true;
    std::cerr << "vornix gen " << kind << ": " << tone << ", " << Hz(hz) << ", needs a --rate above " << Hz(2.0 * hz)
              << " (--rate is " << m_rate << " Hz; at or below it the tone folds onto another frequency)\n";
    return false;
}

bool GenCommand::NotEmpty(const char* kind, const char* what, const std::string& text) {
    if (!text.empty()) return true;
    std::cerr << "vornix gen " << kind << ": " << what << " is empty: the recording would hold no signal\n";
    return false;
}

int GenCommand::RunMf() {
    if (!NotEmpty("mf", "KEYS", m_mfArgs.keys)) return kExitUsage;
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
    // The generator's check covers its whole table, whichever keys are sent.
    if (!BelowHalfRate("mf", "the highest MF tone", MfGenerator::kToneHz[5] * (1.0 + options.frequencyOffsetPercent / 100.0)))
        return kExitUsage;
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
    if (!NotEmpty("paging", "DIGITS", m_pagingArgs.digits)) return kExitUsage;
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
    const auto& typeHz = PagingGenerator::kToneHz[static_cast<int>(options.type)];
    if (!BelowHalfRate("paging", std::string("the highest ") + PagingGenerator::TypeName(options.type) + " tone",
                       *std::max_element(std::begin(typeHz), std::end(typeHz)) *
                           (1.0 + options.frequencyOffsetPercent / 100.0)))
        return kExitUsage;
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
    if (!BelowHalfRate("sit", "the third tone", SitGenerator::kThirdHz * (1.0 + options.frequencyOffsetPercent / 100.0)))
        return kExitUsage;
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
    if (!options.frequenciesHz.empty() &&
        !BelowHalfRate("tone", "the highest frequency",
                       *std::max_element(options.frequenciesHz.begin(), options.frequenciesHz.end()) *
                           (1.0 + options.frequencyOffsetPercent / 100.0)))
        return kExitUsage;
    const CadencedToneGenerator generator(options);
    if (!Fits("tone", static_cast<double>(generator.SampleCount(m_rate)))) return kExitUsage;
    SignalTimeline signal(m_rate);
    if (generator.Append(signal) != S_OK) {
        std::cerr << "vornix gen tone: the frequencies must lie below half the sample rate of " << m_rate << " Hz\n";
        return kExitUsage;
    }
    return Write(signal);
}

int GenCommand::RunTty() {
    TtyGenerator::Options options;
    const std::string& mode = m_ttyArgs.mode;
    options.mode = mode == "baudot-3" ? TtyGenerator::Mode::kBaudotMode3
                   : mode == "baudot-4" ? TtyGenerator::Mode::kBaudotMode4
                   : mode == "ascii7"   ? TtyGenerator::Mode::kAscii7
                   : mode == "ascii8"   ? TtyGenerator::Mode::kAscii8
                                        : TtyGenerator::Mode::kBaudot;
    options.baud = std::stod(m_ttyArgs.baud);  // one of the listed rates
    options.stopBits = std::stod(m_ttyArgs.stopBits);
    options.markHz = m_ttyArgs.markHz;
    options.spaceHz = m_ttyArgs.spaceHz;
    options.levelDbfs = m_ttyArgs.levelDbfs;
    options.leadMs = m_ttyArgs.leadMs;
    options.idleBeforeMs = m_ttyArgs.idleBeforeMs;
    options.idleAfterMs = m_ttyArgs.idleAfterMs;
    options.frequencyOffsetPercent = m_ttyArgs.frequencyOffsetPercent;
    options.bitRateErrorPercent = m_ttyArgs.bitRateErrorPercent;
    options.skipUnknown = m_ttyArgs.skipUnknown;
    if (!BelowHalfRate("tty", options.markHz >= options.spaceHz ? "the mark tone" : "the space tone",
                       std::max(options.markHz, options.spaceHz) * (1.0 + options.frequencyOffsetPercent / 100.0)))
        return kExitUsage;
    // ASCII goes out byte for byte; only the Baudot tables hold Latin-1 characters.
    const bool ascii = options.mode == TtyGenerator::Mode::kAscii7 || options.mode == TtyGenerator::Mode::kAscii8;
    const std::string text = ascii ? m_ttyArgs.text : Latin1FromUtf8(m_ttyArgs.text);
    std::vector<std::uint8_t> codes;
    if (TtyGenerator::Encode(text, options.mode, options.skipUnknown, codes) != S_OK) {
        // Encode stops at the first refused character; find it to name it.
        std::size_t at = 0;
        std::vector<std::uint8_t> one;
        while (at + 1 < text.size() && TtyGenerator::Encode(text.substr(at, 1), options.mode, false, one) == S_OK) ++at;
        std::cerr << "vornix gen tty: character " << at + 1 << " (byte 0x" << std::hex
                  << int(static_cast<unsigned char>(text[at])) << std::dec << ") is not one --mode " << mode
                  << " can send (--skip-unknown leaves such characters out)\n";
        return kExitUsage;
    }
    const TtyGenerator generator(options);
    if (!Fits("tty", static_cast<double>(generator.SampleCount(m_rate, codes.size())))) return kExitUsage;
    SignalTimeline signal(m_rate);
    if (generator.Append(signal, text) != S_OK) {
        std::cerr << "vornix gen tty: the tones do not fit below half the sample rate of " << m_rate << " Hz\n";
        return kExitUsage;
    }
    return Write(signal);
}

int GenCommand::RunSame() {
    const char* fields[] = {"--originator", "--event", "--locations", "--duration", "--issued", "--sender"};
    const bool anyField = std::any_of(std::begin(fields), std::end(fields), [this](const char* f) { return m_same->count(f) > 0; });
    std::string header = m_sameArgs.header;
    if (m_same->count("HEADER") > 0 && anyField) {
        std::cerr << "vornix gen same: give either HEADER or its fields, not both\n";
        return kExitUsage;
    }
    if (m_same->count("HEADER") == 0) {
        const SameGenerator::Header fieldsGiven{m_sameArgs.originator, m_sameArgs.event, m_sameArgs.locations,
                                                m_sameArgs.duration,   m_sameArgs.issued, m_sameArgs.sender};
        if (SameGenerator::FormatHeader(fieldsGiven, header) != S_OK) {
            std::cerr << "vornix gen same: give HEADER, or --originator (3 letters), --event (3 characters), "
                         "--locations (1 to 31 codes of 6 digits), --duration (+HHMM), --issued (JJJHHMM) and "
                         "--sender (8 characters, no '-')\n";
            return kExitUsage;
        }
    } else if (!SameGenerator::IsBurstText(header)) {
        std::cerr << "vornix gen same: HEADER must be 1 to 252 printable ASCII characters\n";
        return kExitUsage;
    }
    SameGenerator::Options options;
    options.levelDbfs = m_sameArgs.levelDbfs;
    options.leadMs = m_sameArgs.leadMs;
    options.burstGapMs = m_sameArgs.gapMs;
    options.messageGapMs = m_sameArgs.messageGapMs;
    options.frequencyOffsetPercent = m_sameArgs.frequencyOffsetPercent;
    options.bitRateErrorPercent = m_sameArgs.bitRateErrorPercent;
    options.endOfMessage = !m_sameArgs.noEndOfMessage;
    if (!BelowHalfRate("same", "the mark tone", SameGenerator::kMarkHz * (1.0 + options.frequencyOffsetPercent / 100.0)))
        return kExitUsage;
    const SameGenerator generator(options);
    if (!Fits("same", static_cast<double>(generator.SampleCount(m_rate, header.size())))) return kExitUsage;
    SignalTimeline signal(m_rate);
    if (generator.Append(signal, header) != S_OK) {
        std::cerr << "vornix gen same: the tones do not fit below half the sample rate of " << m_rate << " Hz\n";
        return kExitUsage;
    }
    return Write(signal);
}

int GenCommand::RunFsk() {
    FskDataGenerator::Options options;
    options.dataBits = m_fskArgs.dataBits;
    ParseStopBits(m_fskArgs.stopBits, options.stopBits);  // checked by the parser
    ParseParity(m_fskArgs.parity.front(), options.parity);
    if (m_fsk->count("--framing") > 0) {
        if (m_fsk->count("--data-bits") + m_fsk->count("--parity") + m_fsk->count("--stop-bits") > 0) {
            std::cerr << "vornix gen fsk: --framing sets the data bits, parity and stop bits; give it alone\n";
            return kExitUsage;
        }
        const std::string& f = m_fskArgs.framing;
        if (f.size() < 3 || f[0] < '5' || f[0] > '8' || !ParseParity(f[1], options.parity) ||
            !ParseStopBits(f.substr(2), options.stopBits)) {
            std::cerr << "vornix gen fsk: --framing is data bits (5-8), parity (N O E M S) and stop bits (0 1 1.5 2), "
                         "e.g. 8N1 or 7E1\n";
            return kExitUsage;
        }
        options.dataBits = f[0] - '0';
    }
    std::vector<std::uint8_t> bytes(m_fskArgs.data.begin(), m_fskArgs.data.end());
    if (m_fskArgs.hex && !ParseHex(m_fskArgs.data, bytes)) {
        std::cerr << "vornix gen fsk: '" << m_fskArgs.data << "' is not hex bytes\n";
        return kExitUsage;
    }
    for (std::uint8_t byte : bytes) {
        if (byte >> options.dataBits) {
            std::cerr << "vornix gen fsk: the byte 0x" << std::hex << int(byte) << std::dec << " does not fit in "
                      << options.dataBits << " data bits\n";
            return kExitUsage;
        }
    }
    options.markHz = m_fskArgs.markHz;
    options.spaceHz = m_fskArgs.spaceHz;
    options.baud = m_fskArgs.baud;
    options.startBitTone = m_fskArgs.startTone == "mark" ? 1 : 0;
    options.stopBitTone = m_fskArgs.stopTone == "mark" ? 1 : 0;
    options.idleBetweenMs = m_fskArgs.idleMs;
    options.idleBeforeMs = m_fskArgs.idleBeforeMs;
    options.idleAfterMs = m_fskArgs.idleAfterMs;
    options.levelDbfs = m_fskArgs.levelDbfs;
    options.leadMs = m_fskArgs.leadMs;
    options.frequencyOffsetPercent = m_fskArgs.frequencyOffsetPercent;
    options.bitRateErrorPercent = m_fskArgs.bitRateErrorPercent;
    if (!BelowHalfRate("fsk", options.markHz >= options.spaceHz ? "the mark tone" : "the space tone",
                       std::max(options.markHz, options.spaceHz) * (1.0 + options.frequencyOffsetPercent / 100.0)))
        return kExitUsage;
    const FskDataGenerator generator(options);
    if (!Fits("fsk", static_cast<double>(generator.SampleCount(m_rate, bytes.size())))) return kExitUsage;
    SignalTimeline signal(m_rate);
    if (generator.Append(signal, bytes) != S_OK) {
        std::cerr << "vornix gen fsk: the tones must lie below half the sample rate of " << m_rate
                  << " Hz, and a half bit must last a sample\n";
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
    // A wave file without a sample is one that decode refuses, and writing it would hand
    // the writer an empty buffer.
    if (pcm.empty()) {
        std::cerr << "vornix gen: the options describe a recording of no samples (every duration is 0)\n";
        return kExitUsage;
    }
    if (renderer.ClippedSamples() > 0)
        Verbosity::Warning("vornix gen: warning: " + std::to_string(renderer.ClippedSamples()) + " samples clipped");

    const auto align = static_cast<std::uint16_t>(renderer.BytesPerFrame());
    WAVEFORMATEX wave{m_bits == 32 ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM,
                      static_cast<std::uint16_t>(m_channels),
                      static_cast<std::uint32_t>(m_rate),
                      static_cast<std::uint32_t>(m_rate) * align,
                      align,
                      static_cast<std::uint16_t>(m_bits),
                      0};
    if (m_output == "-") return WriteToStdout(wave, pcm);
    CSoundFile file(m_output.c_str(), &wave, sizeof wave);
    if (!file.IsOK() || !file.Write(pcm.data(), static_cast<std::uint32_t>(pcm.size())) || !file.Close()) {
        std::cerr << "vornix gen: " << m_output << ": " << file.GetLastErrorText() << '\n';
        return kExitFailure;
    }
    return kExitSuccess;
}

int GenCommand::WriteToStdout(const WAVEFORMATEX& wave, const std::vector<unsigned char>& pcm) {
    // Checked before anything is written: a wave file on a terminal is noise on the screen.
    if (isatty(STDOUT_FILENO) == 1) {
        std::cerr << "vornix gen: -o - writes the wave file to stdout, which is a terminal: redirect it or give a file name\n";
        return kExitUsage;
    }
    std::error_code error;
    std::string path = (std::filesystem::temp_directory_path(error) / "vornix-gen-XXXXXX").string();
    const int fd = error ? -1 : mkstemp(path.data());
    if (fd < 0) {
        std::cerr << "vornix gen: no temporary file for the recording could be made\n";
        return kExitFailure;
    }
    close(fd);
    WAVEFORMATEX format = wave;
    bool written = false;
    {
        CSoundFile file(path.c_str(), &format, sizeof format);
        written = file.IsOK() && file.Write(pcm.data(), static_cast<std::uint32_t>(pcm.size())) && file.Close();
        if (!written) std::cerr << "vornix gen: " << path << ": " << file.GetLastErrorText() << '\n';
    }
    if (written) {
        std::FILE* in = std::fopen(path.c_str(), "rb");
        std::vector<char> buffer(64 * 1024);
        written = in != nullptr;
        while (written) {
            const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
            if (n == 0) break;
            written = std::fwrite(buffer.data(), 1, n, stdout) == n;
        }
        if (in != nullptr) {
            written = written && !std::ferror(in);
            std::fclose(in);
        }
        written = std::fflush(stdout) == 0 && written;
        if (!written) std::cerr << "vornix gen: writing the recording to stdout failed\n";
    }
    std::filesystem::remove(path, error);
    return written ? kExitSuccess : kExitFailure;
}
