#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// One tone for the component's tone monitor, as --tone gives it: either a built-in name
// (busy, ringback, dial, cng) or ID:ON_MS:OFF_MS:F1[,F2,F3,F4][:MIN_DB:MAX_DB].
struct ToneDefinition {
    // The level a frequency must reach when --tone gives no limits, and the one the
    // built-ins use. Without a lower limit the monitor compares no frequency at all (any
    // block above the silence threshold matches), so the command never leaves it out
    // unless told to with 0:0. About 9 dB below the quietest call-progress tones on a
    // line.
    static constexpr float kDefaultMinAmpdB = -36.0f;
    static constexpr std::size_t kMaxFrequencies = 4;

    std::int32_t id = 0;
    std::int32_t onMs = 0;
    std::int32_t offMs = 0;
    // Hz; 0 = unused, negative = must be absent.
    std::array<std::int32_t, kMaxFrequencies> frequencies{};
    float minAmpdB = kDefaultMinAmpdB;  // dB, 0 = no lower limit
    float maxAmpdB = 0.0f;              // dB, 0 = no upper limit
    const char* name = nullptr;         // a built-in's name; null for the user's own tones

    // The built-in tones, in the order of their identifiers.
    static std::span<const ToneDefinition> BuiltIns();
    static const ToneDefinition* BuiltIn(std::int32_t id);
    static const ToneDefinition* BuiltIn(std::string_view name);
    // "busy, ringback, ..." for help texts.
    static std::string BuiltInNames();

    // A built-in name or the colon form. On a malformed value: nullopt and the reason in
    // error (without the option's name).
    static std::optional<ToneDefinition> Parse(std::string_view text, std::string& error);
};
