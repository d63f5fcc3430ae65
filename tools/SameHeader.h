#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The fields of a confirmed SAME header, "ZCZC-ORG-EEE-PSSCCC-PSSCCC+TTTT-JJJHHMM-LLLLLLLL-":
// who sent it, what it warns of, where, for how long, when it was issued and by which
// station. The text comes off the air, so Parse reads only within it and takes nothing on
// trust: every field must have its length and its kind of characters.
struct SameHeader {
    // A header names at most this many locations.
    static constexpr std::size_t kMaxLocations = 31;

    std::string originator;              // ORG: WXR, CIV, EAS, PEP, ...
    std::string event;                   // EEE: TOR, RWT, ...
    std::vector<std::string> locations;  // PSSCCC each: part of a county, state, county
    int durationHours = 0;               // TTTT: valid for HH hours and MM minutes
    int durationMinutes = 0;
    int issueDay = 0;                    // JJJHHMM: day of the year (1-366) and UTC time
    int issueHour = 0;
    int issueMinute = 0;
    std::string sender;                  // LLLLLLLL: the sending station

    // The fields of a whole header text (ending with the '-' after the sender), or nullopt
    // when the text is not one.
    static std::optional<SameHeader> Parse(std::string_view text);

    // "originator=WXR event=TOR locations=048453,048491 duration=01:30
    // issued=day 123 14:15 UTC sender=KEWX/NWS"
    std::string Summary() const;
};
