#include "DetectorTable.h"

#include "vornix/PhoneVornix.h"

using Orvane::VornixNet::PhoneVornix;

namespace {

const DetectorTable::Detector kDetectors[] = {
    {"dtmf", "DTMF keys (OnDTMF)", [](PhoneVornix& c, bool on) { c.MonitorDTMF(on); }},
    {"cid", "on-hook caller ID (OnCallerID)", [](PhoneVornix& c, bool on) { c.MonitorCallerID(on); }},
    {"cidcw", "call-waiting caller ID (OnCallerID)", [](PhoneVornix& c, bool on) { c.MonitorCIDCW(on); }},
    {"vmwi", "message waiting (OnVMWI)", [](PhoneVornix& c, bool on) { c.MonitorVMWI(on); }},
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
