#pragma once

#include <cstdint>

#include "tones/ResonatorBank.h"

// One frequency of a monitored tone: its resonator runs in a lane of the tone's bank.
struct ToneFrequency {
    std::int32_t frequency = 0;     // Hz, always positive
    bool absent = false;            // given negative: the tone requires it to be absent
    double smoothedLevel = 0.0;     // dB, running average of the block levels; 0 = none yet
    std::int32_t index = 0;         // position within its tone (0, 1, ...)
};

// One tone of the tone monitor, as it is handed to OnTone and to an embedding detector.
// Owned by the monitor; valid only during the call that hands it out.
struct monitortone_tag {
    // The most frequencies one tone can hold: the resonators of a bank.
    static constexpr int kMaxFrequencies = ResonatorBank::kLanes;

    std::uint32_t AppSpecific = 0;
    std::uint32_t MinPeriodOn = 0;   // ms
    std::uint32_t MinPeriodOff = 0;  // ms; 0 = report while the tone is on
    double MaxAmpdB = 0.0;           // dB; 0 = no upper limit
    double MinAmpdB = 0.0;           // dB; 0 = no lower limit
    ToneFrequency frequencies[kMaxFrequencies];
    std::int32_t frequencyCount = 0;  // 0: a silence tone
    std::int32_t blockLength = 0;     // samples per analysis block
    std::int32_t samplesInBlock = 0;
    std::int32_t onBlocks = 0;
    std::int32_t offBlocks = 0;
    std::int32_t stateCounter = 0;     // > 0 counting on blocks, < 0 counting off blocks
    std::uint32_t sampleCounter = 0;   // samples since the tone was added: its reported position
    double blockSum = 0.0;             // sum of |x| over the current block
    float Tolerance = 0.0f;            // carried from the definition; the matching does not use it
    std::int32_t gapCount = 0;         // non-matching blocks tolerated inside the on phase
    std::int32_t gapTolerance = 0;
    ResonatorBank resonators;          // lane i runs frequencies[i]
    // 2·cos(2π·f/fs) of every lane, reloaded at every block start (0 in unused lanes).
    alignas(32) double savedCoefficients[kMaxFrequencies] = {};
};
