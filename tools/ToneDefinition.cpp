#include "ToneDefinition.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// The built-ins use identifiers far above the small numbers a user picks, and the
// command keeps them to themselves: a --tone with one of them is refused.
//
// They carry no guard frequencies (negative ones that must be absent). A guard is held to
// the same minimum level as the tone, and a neighbour 40 Hz away leaks into it above -36 dB
// once the tone is louder than about -12 dBFS: busy tone with a 440 Hz guard (against
// ringback) and dial tone with a 480 Hz one were lost at -10 dBFS. Without guards the
// cadences keep the tones apart; only ringback louder than about -7 dBFS is also taken for
// dial tone, through its 440 Hz leaking into the 350 Hz resonator.
constexpr ToneDefinition kBuiltIns[] = {
    {1000001, 500, 500, {480, 620, 0, 0}, ToneDefinition::kDefaultMinAmpdB, 0.0f, "busy"},
    {1000002, 2000, 4000, {440, 480, 0, 0}, ToneDefinition::kDefaultMinAmpdB, 0.0f, "ringback"},
    {1000003, 1000, 0, {350, 440, 0, 0}, ToneDefinition::kDefaultMinAmpdB, 0.0f, "dial"},
    {1000004, 500, 3000, {1100, 0, 0, 0}, ToneDefinition::kDefaultMinAmpdB, 0.0f, "cng"},
};

// Longest on- or off-time: an hour.
constexpr std::int32_t kMaxPeriodMs = 3'600'000;
// Shortest on-time: the monitor needs 64 samples in a tone's blocks, about 9 ms at 8 kHz.
constexpr std::int32_t kMinOnMs = 10;
constexpr std::int32_t kMaxFrequencyHz = 20000;

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

bool Integer(std::string_view text, std::int32_t& value) {
    const char* end = text.data() + text.size();
    if (!text.empty() && text.front() == '+') return false;
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && at == end && !text.empty();
}

bool Decibels(std::string_view text, float& value) {
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && at == end && !text.empty() && std::isfinite(value);
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

}  // namespace

std::span<const ToneDefinition> ToneDefinition::BuiltIns() {
    return kBuiltIns;
}

const ToneDefinition* ToneDefinition::BuiltIn(std::int32_t id) {
    for (const ToneDefinition& t : kBuiltIns)
        if (t.id == id) return &t;
    return nullptr;
}

const ToneDefinition* ToneDefinition::BuiltIn(std::string_view name) {
    for (const ToneDefinition& t : kBuiltIns)
        if (name == t.name) return &t;
    return nullptr;
}

std::string ToneDefinition::BuiltInNames() {
    std::string names;
    for (const ToneDefinition& t : kBuiltIns) names += (names.empty() ? "" : ", ") + std::string(t.name);
    return names;
}

std::optional<ToneDefinition> ToneDefinition::Parse(std::string_view text, std::string& error) {
    const std::vector<std::string_view> fields = Split(text, ':');
    if (fields.size() == 1) {
        if (const ToneDefinition* builtIn = BuiltIn(text)) return *builtIn;
        error = Quoted(text) + " is neither a built-in tone (" + BuiltInNames() + ") nor ID:ON_MS:OFF_MS:F1[,F2,F3,F4][:MIN_DB:MAX_DB]";
        return std::nullopt;
    }
    if (fields.size() != 4 && fields.size() != 6) {
        error = Quoted(text) + " has " + std::to_string(fields.size()) + " fields; expected ID:ON_MS:OFF_MS:F1[,F2,F3,F4][:MIN_DB:MAX_DB]";
        return std::nullopt;
    }

    ToneDefinition tone;
    if (!Integer(fields[0], tone.id)) {
        error = "ID " + Quoted(fields[0]) + " is not a 32-bit integer";
        return std::nullopt;
    }
    if (const ToneDefinition* builtIn = BuiltIn(tone.id)) {
        error = "ID " + std::to_string(tone.id) + " is kept for the built-in tone " + builtIn->name;
        return std::nullopt;
    }
    if (!Integer(fields[1], tone.onMs) || tone.onMs < kMinOnMs || tone.onMs > kMaxPeriodMs) {
        error = "ON_MS " + Quoted(fields[1]) + " must be a whole number of ms from " + std::to_string(kMinOnMs) + " to " +
                std::to_string(kMaxPeriodMs);
        return std::nullopt;
    }
    if (!Integer(fields[2], tone.offMs) || tone.offMs < 0 || tone.offMs > kMaxPeriodMs) {
        error = "OFF_MS " + Quoted(fields[2]) + " must be a whole number of ms from 0 to " + std::to_string(kMaxPeriodMs);
        return std::nullopt;
    }

    const std::vector<std::string_view> frequencies = Split(fields[3], ',');
    if (frequencies.size() > kMaxFrequencies) {
        error = Quoted(fields[3]) + " lists " + std::to_string(frequencies.size()) + " frequencies; a tone has at most 4";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        std::int32_t f = 0;
        if (!Integer(frequencies[i], f) || f == 0 || std::abs(static_cast<long>(f)) > kMaxFrequencyHz) {
            error = "frequency " + Quoted(frequencies[i]) + " must be a whole number of Hz from 1 to " +
                    std::to_string(kMaxFrequencyHz) + ", negative when it must be absent";
            return std::nullopt;
        }
        tone.frequencies[i] = f;
    }

    if (fields.size() == 6) {
        if (!Decibels(fields[4], tone.minAmpdB) || !Decibels(fields[5], tone.maxAmpdB) || tone.minAmpdB > 0.0f ||
            tone.maxAmpdB > 0.0f) {
            error = "levels " + Quoted(fields[4]) + ":" + Quoted(fields[5]) + " must be dB at most 0 (0: no limit)";
            return std::nullopt;
        }
        // The monitor would drop both limits of such a pair without a word.
        if (tone.minAmpdB < 0.0f && tone.maxAmpdB < 0.0f && tone.minAmpdB >= tone.maxAmpdB) {
            error = "MIN_DB " + Quoted(fields[4]) + " must be below MAX_DB " + Quoted(fields[5]);
            return std::nullopt;
        }
    }
    return tone;
}
