#pragma once

#include <cmath>

// Level in dB of a tone from its Goertzel amplitude (the square root of the power divided
// by the block length): 20·log10(2a), so a sine of peak amplitude A gives about
// 20·log10 A. Amplitudes below 1e-30 give -600 dB.
inline double ToneLevelDb(double amplitude) {
    if (amplitude < 1e-30) return -600.0;
    return (std::log(amplitude) + 0.69319) / 0.115127;
}
