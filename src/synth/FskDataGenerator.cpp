#include "synth/FskDataGenerator.h"

#include <bit>
#include <cmath>

#include "synth/FskModulator.h"
#include "synth/SignalTimeline.h"

namespace {

constexpr std::size_t kStopHalfBits[] = {0, 2, 3, 4};

bool ValidDuration(double ms) {
    return std::isfinite(ms) && ms >= 0.0;
}

}  // namespace

int FskDataGenerator::ParityBit(std::uint8_t value, int dataBits, Parity parity) {
    const int ones = std::popcount(static_cast<unsigned>(value & ((1u << dataBits) - 1u)));
    switch (parity) {
        case Parity::kOdd: return (ones & 1) ? 0 : 1;  // makes the count of ones odd
        case Parity::kEven: return ones & 1;
        case Parity::kMark: return 1;
        case Parity::kSpace: return 0;
        case Parity::kNone: break;
    }
    return -1;
}

std::vector<std::uint8_t> FskDataGenerator::CharacterBits(std::uint8_t value) const {
    const Options& o = m_options;
    std::vector<std::uint8_t> bits;
    bits.push_back(static_cast<std::uint8_t>(o.startBitTone));
    for (int i = 0; i < o.dataBits; ++i) bits.push_back(static_cast<std::uint8_t>((value >> i) & 1));
    const int parity = ParityBit(value, o.dataBits, o.parity);
    if (parity >= 0) bits.push_back(static_cast<std::uint8_t>(parity));
    return bits;
}

FskModulator::Options FskDataGenerator::ModulatorOptions() const {
    const Options& o = m_options;
    FskModulator::Options fsk;
    fsk.markHz = o.markHz;
    fsk.spaceHz = o.spaceHz;
    fsk.baud = 2.0 * o.baud;
    fsk.levelDbfs = o.levelDbfs;
    fsk.frequencyOffsetPercent = o.frequencyOffsetPercent;
    fsk.bitRateErrorPercent = o.bitRateErrorPercent;
    return fsk;
}

double FskDataGenerator::BitRate() const {
    return m_options.baud * (1.0 + m_options.bitRateErrorPercent / 100.0);
}

std::size_t FskDataGenerator::IdleHalfBits(double ms) const {
    return static_cast<std::size_t>(std::llround(ms / 1000.0 * BitRate() * 2.0));
}

std::size_t FskDataGenerator::CharacterHalfBits() const {
    const Options& o = m_options;
    const std::size_t bits = 1 + static_cast<std::size_t>(o.dataBits) + (o.parity == Parity::kNone ? 0 : 1);
    return 2 * bits + kStopHalfBits[static_cast<int>(o.stopBits)];
}

HRESULT FskDataGenerator::Check(int sampleRate) const {
    const Options& o = m_options;
    if (o.dataBits < 5 || o.dataBits > 8) return E_INVALIDARG;
    if ((o.startBitTone != 0 && o.startBitTone != 1) || (o.stopBitTone != 0 && o.stopBitTone != 1))
        return E_INVALIDARG;
    if (static_cast<int>(o.parity) < 0 || static_cast<int>(o.parity) > 4) return E_INVALIDARG;
    if (static_cast<int>(o.stopBits) < 0 || static_cast<int>(o.stopBits) > 3) return E_INVALIDARG;
    if (!ValidDuration(o.leadMs) || !ValidDuration(o.idleBeforeMs) || !ValidDuration(o.idleBetweenMs) ||
        !ValidDuration(o.idleAfterMs))
        return E_INVALIDARG;
    return FskModulator::Check(ModulatorOptions(), sampleRate);
}

std::size_t FskDataGenerator::SampleCount(int sampleRate, std::size_t count) const {
    const Options& o = m_options;
    const SignalTimeline scale(sampleRate);
    std::size_t halfBits = IdleHalfBits(o.idleBeforeMs) + count * CharacterHalfBits() + IdleHalfBits(o.idleAfterMs);
    if (count > 1) halfBits += (count - 1) * IdleHalfBits(o.idleBetweenMs);
    // The modulator's clock, computed as it computes it: its last half bit ends at
    // round(half bits · rate / half-bit rate).
    const double halfBitRate = FskModulator(ModulatorOptions()).BitRate();
    return scale.SamplesForMs(o.leadMs) +
           static_cast<std::size_t>(std::llround(static_cast<double>(halfBits) * sampleRate / halfBitRate));
}

HRESULT FskDataGenerator::Append(SignalTimeline& timeline, std::span<const std::uint8_t> values) const {
    const Options& o = m_options;
    if (Check(timeline.SampleRate()) != S_OK) return E_INVALIDARG;
    for (std::uint8_t value : values)
        if (value >> o.dataBits) return E_INVALIDARG;

    // Every bit as two half bits; the stop bits as their length in half bits.
    const auto idle = static_cast<std::uint8_t>(1 - o.startBitTone);
    std::vector<std::uint8_t> halfBits(IdleHalfBits(o.idleBeforeMs), idle);
    halfBits.reserve(halfBits.size() + values.size() * (CharacterHalfBits() + IdleHalfBits(o.idleBetweenMs)) +
                     IdleHalfBits(o.idleAfterMs));
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) halfBits.insert(halfBits.end(), IdleHalfBits(o.idleBetweenMs), idle);
        for (std::uint8_t bit : CharacterBits(values[i])) halfBits.insert(halfBits.end(), 2, bit);
        halfBits.insert(halfBits.end(), kStopHalfBits[static_cast<int>(o.stopBits)],
                        static_cast<std::uint8_t>(o.stopBitTone));
    }
    halfBits.insert(halfBits.end(), IdleHalfBits(o.idleAfterMs), idle);

    timeline.Reserve(timeline.Size() + SampleCount(timeline.SampleRate(), values.size()));
    timeline.AppendSilence(timeline.SamplesForMs(o.leadMs));
    FskModulator modulator(ModulatorOptions());
    return modulator.AppendBits(timeline, halfBits);
}
