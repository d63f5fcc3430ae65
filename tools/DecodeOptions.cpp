#include "DecodeOptions.h"

#include <cctype>
#include <map>
#include <optional>

#include <CLI/CLI.hpp>

#include "Bounded.h"
#include "DetectorTable.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

namespace {

// The paging tone sets by the names --paging-type takes, in any case.
const std::map<std::string, PAGING_TYPE> kPagingTypes = {
    {"EIA", PT_EIA},     {"CCIR", PT_CCIR},   {"ZVEI1", PT_ZVEI1}, {"ZVEI2", PT_ZVEI2},
    {"ZVEI3", PT_ZVEI3}, {"PZVEI", PT_PZVEI}, {"EEA", PT_EEA},
};

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
        ->check(knownDetector)
        ->default_str("dtmf")
        ->group("Detection");
    m_channelOption = command.add_option("--channel", m_channel, "Channel of stereo audio to decode")
                          ->check(CLI::IsMember({"left", "right"}))
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

    command
        .add_option_function<std::vector<std::string>>(
            "--tone", [this](const std::vector<std::string>& texts) { m_tones = ParseTones(texts); },
            "A custom tone to report (OnToneDetected), repeatable: " + ToneDefinition::BuiltInNames() +
                " or ID:ON_MS:OFF_MS:F1[,F2,F3,F4][:MIN_DB:MAX_DB] (a negative frequency must be absent; levels in dB, "
                "0 = no limit, -36:0 when left out); switches the tone monitor on")
        ->allow_extra_args(false)
        ->group("Tones");

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
    m_relativePeakOption = command.add_option("--relative-peak-test", m_relativePeakTest, "Relative peak test (RelativePeakTest)")
                               ->check(CLI::IsMember({"on", "off"}))
                               ->group(dtmf);
}

bool DecodeOptions::Given(const CLI::Option* option) {
    return option != nullptr && option->count() > 0;
}

void DecodeOptions::Apply(PhoneVornix& component) const {
    DetectorTable::Apply(component, m_detectors);
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
    CFSKParams& fsk = component.FSKParams();
    if (Given(m_markFreqOption)) fsk.MarkFreq(m_markFreq);
    if (Given(m_spaceFreqOption)) fsk.SpaceFreq(m_spaceFreq);
    if (Given(m_baudRateOption)) fsk.BaudRate(m_baudRate);
}
