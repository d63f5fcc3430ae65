#include "DetectorTable.h"

#include "vornix/PhoneVornix.h"

using Orvane::VornixNet::PhoneVornix;

namespace {

const DetectorTable::Detector kDetectors[] = {
    {"dtmf", "DTMF keys (OnDTMF)", [](PhoneVornix& c, bool on) { c.MonitorDTMF(on); }},
    {"cid", "on-hook caller ID (OnCallerID)", [](PhoneVornix& c, bool on) { c.MonitorCallerID(on); }},
    {"cidcw", "call-waiting caller ID (OnCallerID)", [](PhoneVornix& c, bool on) { c.MonitorCIDCW(on); }},
    {"vmwi", "message waiting (OnVMWI)", [](PhoneVornix& c, bool on) { c.MonitorVMWI(on); }},
    // The tone monitor has no switch: it runs while it has tones. Off empties its list;
    // DecodeOptions gives it the tones of --tone (or the built-ins) when this row is chosen.
    {"tones", "custom tones of --tone (OnToneDetected)",
     [](PhoneVornix& c, bool on) {
         if (!on) c.MonitorTones_Clear();
     }},
    {"mf", "MF digits (OnMF)", [](PhoneVornix& c, bool on) { c.MonitorMF(on); }},
    {"paging", "selective-call paging tones (OnPaging)", [](PhoneVornix& c, bool on) { c.MonitorTonePaging(on); }},
    {"sit", "special information tones (OnSIT)", [](PhoneVornix& c, bool on) { c.MonitorSIT(on); }},
    {"tty", "TTY text, Baudot or ASCII (OnTTY)", [](PhoneVornix& c, bool on) { c.MonitorTTY(on); }},
    {"same", "SAME emergency-alert headers (OnSAMEelement, OnSAME)", [](PhoneVornix& c, bool on) { c.MonitorSAME(on); }},
    {"fsk", "FSK data bytes (OnFSK)", [](PhoneVornix& c, bool on) { c.MonitorFSK(on); }},
    {"spectrum", "a spectrum of every frame of loud audio, with its peaks (OnSpectrumData)",
     [](PhoneVornix& c, bool on) { c.EnableSpectrumConversion(on); }},
    {"frequency", "silence start and end, and the frequencies of the sound between silences (OnSilenceStart, "
                  "OnSilenceEnd, OnFrequencyDetected)",
     [](PhoneVornix& c, bool on) { c.MonitorCustomTone(on); }},
};

}  // namespace

std::span<const DetectorTable::Detector> DetectorTable::All() {
    return kDetectors;
}

bool DetectorTable::Known(std::string_view name) {
    return name == kAll || Find(name) != nullptr;
}

const DetectorTable::Detector* DetectorTable::Find(std::string_view name) {
    for (const Detector& d : kDetectors)
        if (name == d.name) return &d;
    return nullptr;
}

std::string DetectorTable::Names() {
    std::string names;
    for (const Detector& d : kDetectors) names += (names.empty() ? "" : ", ") + std::string(d.name);
    return names;
}

bool DetectorTable::Chosen(std::string_view name, const std::vector<std::string>& names) {
    for (const std::string& n : names)
        if (n == name || n == kAll) return true;
    return false;
}

void DetectorTable::Apply(PhoneVornix& component, const std::vector<std::string>& names) {
    for (const Detector& d : kDetectors) d.enable(component, false);
    for (const std::string& name : names) {
        if (name == kAll) {
            for (const Detector& d : kDetectors) d.enable(component, true);
        } else if (const Detector* d = Find(name)) {
            d->enable(component, true);
        }
    }
}
