#pragma once

#include <cstdint>

// Reproducible white Gaussian noise: the same seed gives the same sequence on every run
// and every build. The uniform source is our own (xoshiro256**, seeded through
// splitmix64) rather than a standard-library distribution, whose output differs between
// library implementations; the Gaussian comes from the Box-Muller transform.
class WhiteNoise {
public:
    explicit WhiteNoise(std::uint64_t seed);

    // Next value of unit variance and zero mean.
    double NextGaussian();
    // Next uniform value in [0, 1), with 53 random bits.
    double NextUniform();
    std::uint64_t NextBits();

private:
    std::uint64_t m_state[4];
    // Box-Muller yields values in pairs; the second waits here.
    double m_spare = 0.0;
    bool m_hasSpare = false;
};
