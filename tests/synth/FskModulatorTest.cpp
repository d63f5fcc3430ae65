#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "FskDemod.h"
#include "Measure.h"
#include "synth/FskModulator.h"
#include "synth/SignalTimeline.h"

namespace {

constexpr double kPeak13 = 0.22387211385683395;  // 10^(-13/20), the default level

std::vector<std::uint8_t> Repeat(std::uint8_t bit, std::size_t count) {
    return std::vector<std::uint8_t>(count, bit);
}

TEST(FskModulator, BytesComeBackThroughAnIndependentReceiverAtAnyRate) {
    const std::vector<std::uint8_t> bytes = {0x00, 0xFF, 0x55, 0xAA, 0x01, 0x80, 0x3C, 0xE9};
    for (int rate : {8000, 11025, 16000, 48000}) {
        FskModulator fsk;
        SignalTimeline t(rate);
        ASSERT_EQ(fsk.AppendMark(t, 12), S_OK);
        ASSERT_EQ(fsk.AppendBytes(t, bytes), S_OK);
        ASSERT_EQ(fsk.AppendMark(t, 3), S_OK);
        EXPECT_EQ(fsk.BitsSent(), 12u + 10 * bytes.size() + 3);

        const auto bits = fskdemod::Bits(t.Samples(), rate, {}, 0, 12 + 10 * bytes.size() + 3);
        ASSERT_EQ(bits.size(), 12 + 10 * bytes.size() + 3) << rate;
        EXPECT_EQ(fskdemod::LeadingMarks(bits), 12u) << rate;
        bool framingError = true;
        EXPECT_EQ(fskdemod::UartBytes(bits, framingError), bytes) << rate;
        EXPECT_FALSE(framingError) << rate;
    }
    // Least significant bit first, between a space start bit and a mark stop bit.
    const auto one = FskModulator::FrameBits(0x01);
    EXPECT_EQ(std::vector<std::uint8_t>(one.begin(), one.end()),
              (std::vector<std::uint8_t>{0, 1, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST(FskModulator, SeizureAlternatesStartingWithSpace) {
    FskModulator fsk;
    SignalTimeline t(8000);
    ASSERT_EQ(fsk.AppendSeizure(t, 31), S_OK);
    const auto bits = fskdemod::Bits(t.Samples(), 8000, {}, 0, 31);
    ASSERT_EQ(bits.size(), 31u);
    for (std::size_t k = 0; k < bits.size(); ++k) EXPECT_EQ(bits[k], k % 2) << k;
}

// A sampled sine of peak a and frequency f never moves by more than 2a·sin(πf/rate)
// between samples; a phase jump at a bit edge would. At 48 kHz the bound is a quarter of
// the peak, so a jump to a restarted phase cannot hide under it.
TEST(FskModulator, PhaseRunsOnAcrossBitEdgesAndCalls) {
    constexpr int kRate = 48000;
    FskModulator fsk;
    SignalTimeline t(kRate);
    ASSERT_EQ(fsk.AppendSeizure(t, 40), S_OK);
    ASSERT_EQ(fsk.AppendBytes(t, std::vector<std::uint8_t>{0x0F, 0x33, 0x96}), S_OK);
    ASSERT_EQ(fsk.AppendMark(t, 1), S_OK);
    ASSERT_EQ(fsk.AppendBits(t, std::vector<std::uint8_t>{0, 1, 1, 0, 0, 0, 1}), S_OK);

    const double bound = 2.0 * kPeak13 * std::sin(measure::kTwoPi / 2.0 * 2200.0 / kRate);
    const auto s = t.Samples();
    float largest = 0.0f;
    for (std::size_t n = 1; n < s.size(); ++n) largest = std::max(largest, std::fabs(s[n] - s[n - 1]));
    EXPECT_LE(largest, bound * (1.0 + 1e-5));
    EXPECT_GT(largest, bound * 0.95);  // the space tone is there, at its full step
}

// Phase and bit clock belong to the transmission, not to one call: any split of the same
// bits, with other segments in between, gives the same FSK samples.
TEST(FskModulator, SplitTransmissionEqualsOneCallAndResetStartsAfresh) {
    FskModulator::Options options;
    options.bitRateErrorPercent = 1.7;  // bit lengths that are far from whole samples
    std::vector<std::uint8_t> all = Repeat(1, 7);
    for (int k = 0; k < 5; ++k) all.push_back(static_cast<std::uint8_t>(k & 1));
    for (std::uint8_t b : FskModulator::FrameBits(0xC5)) all.push_back(b);
    all.push_back(0);

    FskModulator whole(options);
    SignalTimeline one(8000);
    ASSERT_EQ(whole.AppendBits(one, all), S_OK);

    // The foreign segments go where the FSK stands; cutting them out again must leave
    // exactly the single call's samples.
    FskModulator split(options);
    SignalTimeline parts(8000);
    ASSERT_EQ(split.AppendMark(parts, 7), S_OK);
    const std::size_t silenceAt = parts.Size();
    parts.AppendSilence(13);
    ASSERT_EQ(split.AppendSeizure(parts, 5), S_OK);
    const std::size_t toneAt = parts.Size();
    parts.AppendTone(941.0, -6.0, 9);
    ASSERT_EQ(split.AppendBytes(parts, std::vector<std::uint8_t>{0xC5}), S_OK);
    ASSERT_EQ(split.AppendBits(parts, std::vector<std::uint8_t>{0}), S_OK);
    ASSERT_EQ(parts.Size(), one.Size() + 13 + 9);
    EXPECT_EQ(split.SamplesSent(), one.Size());

    std::vector<float> cut(parts.Samples().begin(), parts.Samples().end());
    cut.erase(cut.begin() + static_cast<std::ptrdiff_t>(toneAt),
              cut.begin() + static_cast<std::ptrdiff_t>(toneAt + 9));
    cut.erase(cut.begin() + static_cast<std::ptrdiff_t>(silenceAt),
              cut.begin() + static_cast<std::ptrdiff_t>(silenceAt + 13));
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), one.Samples().begin(), one.Samples().end()));

    split.Reset();
    EXPECT_EQ(split.BitsSent(), 0u);
    SignalTimeline again(8000);
    ASSERT_EQ(split.AppendBits(again, all), S_OK);
    EXPECT_TRUE(std::equal(again.Samples().begin(), again.Samples().end(), one.Samples().begin(),
                           one.Samples().end()));
}

// With the bit rate off by ±2 %, 5000 bits later a single space bit is still exactly
// where the true rate puts it, and the signal ends where that rate says.
TEST(FskModulator, BitClockFollowsTheBitRateErrorWithoutDrift) {
    for (double error : {2.0, -2.0}) {
        for (int rate : {8000, 44100}) {
            FskModulator::Options options;
            options.bitRateErrorPercent = error;
            FskModulator fsk(options);
            SignalTimeline t(rate);
            std::vector<std::uint8_t> bits = Repeat(1, 5000);
            bits.push_back(0);
            bits.insert(bits.end(), 10, 1);
            ASSERT_EQ(fsk.AppendBits(t, bits), S_OK);

            const double actual = 1200.0 * (1.0 + error / 100.0);
            EXPECT_EQ(t.Size(), static_cast<std::size_t>(std::llround(5011.0 * rate / actual)))
                << error << " " << rate;
            const auto received = fskdemod::Bits(t.Samples(), rate, {1200.0, 2200.0, actual}, 0, 5011);
            ASSERT_EQ(received.size(), 5011u);
            EXPECT_EQ(fskdemod::LeadingMarks(received), 5000u) << error << " " << rate;
            EXPECT_EQ(std::count(received.begin(), received.end(), 0), 1) << error << " " << rate;
        }
    }
}

TEST(FskModulator, TonesAreAtTheirLevelAndMoveWithTheOffset) {
    for (double offset : {0.0, 1.0, -1.5}) {
        FskModulator::Options options;
        options.levelDbfs = -9.0;
        options.frequencyOffsetPercent = offset;
        const double scale = 1.0 + offset / 100.0;
        const double peak = std::pow(10.0, -9.0 / 20.0);
        for (std::uint8_t bit : {std::uint8_t{1}, std::uint8_t{0}}) {
            FskModulator fsk(options);
            SignalTimeline t(8000);
            ASSERT_EQ(fsk.AppendBits(t, Repeat(bit, 1200)), S_OK);  // one second
            ASSERT_EQ(t.Size(), 8000u);
            const double hz = (bit ? 1200.0 : 2200.0) * scale;
            EXPECT_NEAR(measure::ZeroCrossingFrequency(t.Samples(), 8000), hz, 0.05) << offset;
            EXPECT_NEAR(measure::AmplitudeAt(t.Samples(), hz, 8000), peak, peak * 1e-3) << offset;
            float largest = 0.0f;
            for (float v : t.Samples()) largest = std::max(largest, std::fabs(v));
            EXPECT_NEAR(largest, peak, peak * 2e-3) << offset;
        }
    }
}

TEST(FskModulator, OptionsThatCannotBeSentAreRejectedWhole) {
    const auto rejects = [](auto change, int rate = 8000) {
        FskModulator::Options options;
        change(options);
        FskModulator fsk(options);
        SignalTimeline t(rate);
        const bool refused = fsk.AppendMark(t, 3) == E_INVALIDARG &&
                             FskModulator::Check(options, rate) == E_INVALIDARG;
        return refused && t.Size() == 0 && fsk.BitsSent() == 0;
    };
    EXPECT_TRUE(rejects([](auto& o) { o.markHz = std::nan(""); }));
    EXPECT_TRUE(rejects([](auto& o) { o.levelDbfs = INFINITY; }));
    EXPECT_TRUE(rejects([](auto& o) { o.baud = 0.0; }));
    EXPECT_TRUE(rejects([](auto& o) { o.spaceHz = 0.0; }));
    EXPECT_TRUE(rejects([](auto& o) { o.frequencyOffsetPercent = -100.0; }));
    EXPECT_TRUE(rejects([](auto& o) { o.bitRateErrorPercent = -100.0; }));
    // Half the rate is already too high, also when the offset is what pushes it there.
    EXPECT_TRUE(rejects([](auto&) {}, 4400));
    EXPECT_FALSE(rejects([](auto& o) { o.spaceHz = 2199.0; }, 4400));
    EXPECT_TRUE(rejects([](auto& o) { o.frequencyOffsetPercent = 0.05; }, 4401));
    // A bit must last a sample at least.
    EXPECT_TRUE(rejects([](auto& o) { o.baud = 8001.0; o.markHz = 100.0; o.spaceHz = 200.0; }));
    EXPECT_FALSE(rejects([](auto& o) { o.baud = 8000.0; o.markHz = 100.0; o.spaceHz = 200.0; }));

    FskModulator fsk;
    SignalTimeline t(8000);
    EXPECT_EQ(fsk.AppendBits(t, std::vector<std::uint8_t>{1, 0, 2}), E_INVALIDARG);
    EXPECT_EQ(t.Size(), 0u);
    ASSERT_EQ(fsk.AppendMark(t, 2), S_OK);
    // The bit clock counts samples at the rate it started with.
    SignalTimeline other(16000);
    EXPECT_EQ(fsk.AppendMark(other, 2), E_INVALIDARG);
    EXPECT_EQ(other.Size(), 0u);
    fsk.Reset();
    EXPECT_EQ(fsk.AppendMark(other, 2), S_OK);
}

}  // namespace
