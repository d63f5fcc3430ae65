#pragma once

#include <cstdint>

// One custom tone registered by the host: what the tone monitor looks for.
struct tag_tone {
    std::int32_t AppSpecific;  // the host's identifier, unique in the list
    std::int32_t MinPeriodOn;  // ms
    std::int32_t MinPeriodOff;  // ms
    double MaxAmpdB;
    double MinAmpdB;
    std::int32_t Frequency1;
    std::int32_t Frequency2;
    std::int32_t Frequency3;
    std::int32_t Frequency4;
    float Tolerance;  // the tolerance in force when the tone was added
};
