#include "synth/WhiteNoise.h"

#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

std::uint64_t SplitMix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t RotateLeft(std::uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

}  // namespace

WhiteNoise::WhiteNoise(std::uint64_t seed) {
    // splitmix64 spreads any seed, 0 included, over a state that is never all zero.
    for (std::uint64_t& word : m_state) word = SplitMix64(seed);
}

std::uint64_t WhiteNoise::NextBits() {
    const std::uint64_t result = RotateLeft(m_state[1] * 5, 7) * 9;
    const std::uint64_t t = m_state[1] << 17;
    m_state[2] ^= m_state[0];
    m_state[3] ^= m_state[1];
    m_state[1] ^= m_state[2];
    m_state[0] ^= m_state[3];
    m_state[2] ^= t;
    m_state[3] = RotateLeft(m_state[3], 45);
    return result;
}

double WhiteNoise::NextUniform() {
    return static_cast<double>(NextBits() >> 11) * 0x1.0p-53;
}

double WhiteNoise::NextGaussian() {
    if (m_hasSpare) {
        m_hasSpare = false;
        return m_spare;
    }
    // 1 - u lies in (0, 1], so the logarithm is finite.
    const double radius = std::sqrt(-2.0 * std::log(1.0 - NextUniform()));
    const double angle = kTwoPi * NextUniform();
    m_spare = radius * std::sin(angle);
    m_hasSpare = true;
    return radius * std::cos(angle);
}
