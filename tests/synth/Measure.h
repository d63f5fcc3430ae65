#pragma once

#include <cmath>
#include <span>

// Measurements made independently of the synthesizer, from the samples alone.
namespace measure {

inline constexpr double kTwoPi = 6.283185307179586476925;

// Peak amplitude of the component at frequencyHz, by correlation with a sine and a cosine.
// Exact for a whole number of cycles, very close for long stretches otherwise.
inline double AmplitudeAt(std::span<const float> x, double frequencyHz, int rate) {
    double s = 0.0;
    double c = 0.0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double phase = kTwoPi * frequencyHz * static_cast<double>(n) / rate;
        s += x[n] * std::sin(phase);
        c += x[n] * std::cos(phase);
    }
    return 2.0 * std::hypot(s, c) / static_cast<double>(x.size());
}

inline double Dbfs(double amplitude) {
    return 20.0 * std::log10(amplitude);
}

inline double Rms(std::span<const float> x) {
    double sum = 0.0;
    for (float v : x) sum += static_cast<double>(v) * v;
    return std::sqrt(sum / static_cast<double>(x.size()));
}

// Frequency from the count of rising zero crossings, interpolated between samples.
inline double ZeroCrossingFrequency(std::span<const float> x, int rate) {
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (std::size_t n = 1; n < x.size(); ++n) {
        if (x[n - 1] < 0.0f && x[n] >= 0.0f) {
            const double at = static_cast<double>(n - 1) + x[n - 1] / (x[n - 1] - x[n]);
            if (first < 0.0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * static_cast<double>(rate) / (last - first);
}

}  // namespace measure
