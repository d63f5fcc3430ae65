#include "DetectorTable.h"

#include "vornix/PhoneVornix.h"

using Orvane::VornixNet::PhoneVornix;

namespace {

const DetectorTable::Detector kDetectors[] = {
    {"dtmf", "DTMF keys (OnDTMF)", [](PhoneVornix& c, bool on) { c.MonitorDTMF(on); }},
};

}  // namespace

std::span<const DetectorTable::Detector> DetectorTable::All() {
    return kDetectors;
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
    for (const std::string& name : names)
        if (const Detector* d = Find(name)) d->enable(component, true);
}
