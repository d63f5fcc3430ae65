#include "DecodeOptions.h"

#include <CLI/CLI.hpp>

#include "Bounded.h"
#include "DetectorTable.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

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
    CFSKParams& fsk = component.FSKParams();
    if (Given(m_markFreqOption)) fsk.MarkFreq(m_markFreq);
    if (Given(m_spaceFreqOption)) fsk.SpaceFreq(m_spaceFreq);
    if (Given(m_baudRateOption)) fsk.BaudRate(m_baudRate);
}
