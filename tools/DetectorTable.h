#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Orvane::VornixNet {
class PhoneVornix;
}

// The detectors the command can switch by name (--detect). Each new detector adds one
// row; the option's help and its check of unknown names follow the table.
class DetectorTable {
public:
    struct Detector {
        const char* name;
        const char* description;
        void (*enable)(Orvane::VornixNet::PhoneVornix& component, bool on);
    };

    // Switches every detector of the table.
    static constexpr std::string_view kAll = "all";

    static std::span<const Detector> All();
    // A detector's name or "all".
    static bool Known(std::string_view name);
    // The row of this name, or null.
    static const Detector* Find(std::string_view name);
    // "dtmf, ..." for help and error texts.
    static std::string Names();
    // Whether names choose this detector, by its name or through "all".
    static bool Chosen(std::string_view name, const std::vector<std::string>& names);
    // Every detector of the table off, then the named ones on. Unknown names are skipped:
    // the command has refused them while parsing.
    static void Apply(Orvane::VornixNet::PhoneVornix& component, const std::vector<std::string>& names);
};
