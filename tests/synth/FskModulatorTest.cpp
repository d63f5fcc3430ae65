#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "FskDemod.h"
#include "Measure.h"
#include "synth/FskModulator.h"
#include "synth/SignalTimeline.h"

namespace {

using Bits = std::vector<std::uint8_t>;

TEST(FskModulator, FramedBytesComeBackThroughAnIndependentReceiverAtAnyRate) {
    const Bits bytes = {0x00, 0xFF, 0x55, 0x01, 0x80, 0xE9};
    for (int rate : {8000, 11025, 48000}) {
        FskModulator fsk;
        SignalTimeline t(rate);
        ASSERT_EQ(fsk.AppendMark(t, 12), S_OK);
        ASSERT_EQ(fsk.AppendBytes(t, bytes), S_OK);
        const auto bits = fskdemod::Bits(t.Samples(), rate, {}, 0, 12 + 60);
        EXPECT_EQ(fskdemod::LeadingMarks(bits), 12u) << rate;
        bool framingError = true;
        EXPECT_EQ(fskdemod::UartBytes(bits, framingError), bytes) << rate;
        EXPECT_FALSE(framingError) << rate;
    }
}

// A sampled sine of peak a and frequency f moves by at most 2a·sin(πf/rate) per sample. At
// 48 kHz that is a quarter of the peak, so a phase restarted at a bit edge or a call shows.
TEST(FskModulator, PhaseRunsOnAcrossBitEdgesAndCalls) {
    FskModulator fsk;
    SignalTimeline t(48000);
    ASSERT_EQ(fsk.AppendSeizure(t, 40), S_OK);
    ASSERT_EQ(fsk.AppendBytes(t, Bits{0x0F, 0x96}), S_OK);
    ASSERT_EQ(fsk.AppendBits(t, Bits{0, 1, 1, 0}), S_OK);
    const double bound = 2.0 * std::pow(10.0, -13.0 / 20.0) * std::sin(measure::kTwoPi / 2 * 2200.0 / 48000);
    float largest = 0.0f;
    for (std::size_t n = 1; n < t.Size(); ++n)
        largest = std::max(largest, std::fabs(t.Samples()[n] - t.Samples()[n - 1]));
    EXPECT_LE(largest, bound * (1.0 + 1e-5));
}

// Phase and bit clock belong to the transmission: split over calls, with other segments
// in between, the FSK samples are those of a single call.
TEST(FskModulator, SplitTransmissionEqualsOneCall) {
    FskModulator::Options options;
    options.bitRateErrorPercent = 1.7;  // bit lengths far from whole samples
    Bits all = {1, 1, 1, 0, 1, 0, 1};
    for (std::uint8_t b : FskModulator::FrameBits(0xC5)) all.push_back(b);
    FskModulator whole(options);
    SignalTimeline one(8000);
    ASSERT_EQ(whole.AppendBits(one, all), S_OK);

    FskModulator split(options);
    SignalTimeline parts(8000);
    ASSERT_EQ(split.AppendMark(parts, 3), S_OK);
    const std::size_t cutAt = parts.Size();
    parts.AppendTone(941.0, -6.0, 9);
    ASSERT_EQ(split.AppendSeizure(parts, 4), S_OK);
    ASSERT_EQ(split.AppendBytes(parts, Bits{0xC5}), S_OK);
    std::vector<float> cut(parts.Samples().begin(), parts.Samples().end());
    cut.erase(cut.begin() + static_cast<std::ptrdiff_t>(cutAt), cut.begin() + static_cast<std::ptrdiff_t>(cutAt + 9));
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), one.Samples().begin(), one.Samples().end()));
}

// With the bit rate 2 % off, a lone space bit after 5000 marks is where the true rate puts
// it, and the signal ends there too: the clock does not drift.
TEST(FskModulator, BitClockFollowsTheBitRateErrorWithoutDrift) {
    for (double error : {2.0, -2.0}) {
        FskModulator::Options options;
        options.bitRateErrorPercent = error;
        FskModulator fsk(options);
        SignalTimeline t(8000);
        Bits bits(5011, 1);
        bits[5000] = 0;
        ASSERT_EQ(fsk.AppendBits(t, bits), S_OK);
        const double actual = 1200.0 * (1.0 + error / 100.0);
        EXPECT_EQ(t.Size(), static_cast<std::size_t>(std::llround(5011 * 8000 / actual)));
        const auto received = fskdemod::Bits(t.Samples(), 8000, {1200.0, 2200.0, actual}, 0, 5011);
        EXPECT_EQ(fskdemod::LeadingMarks(received), 5000u) << error;
        EXPECT_EQ(std::count(received.begin(), received.end(), 0), 1) << error;
    }
}

TEST(FskModulator, TonesAreAtTheirLevelAndMoveWithTheOffset) {
    for (const auto& [bit, offset] : {std::pair{1, 1.0}, std::pair{0, -1.5}}) {
        FskModulator::Options options;
        options.levelDbfs = -9.0;
        options.frequencyOffsetPercent = offset;
        FskModulator fsk(options);
        SignalTimeline t(8000);
        ASSERT_EQ(fsk.AppendBits(t, Bits(1200, static_cast<std::uint8_t>(bit))), S_OK);  // 1 s
        const double hz = (bit ? 1200.0 : 2200.0) * (1.0 + offset / 100.0);
        const double peak = std::pow(10.0, -9.0 / 20.0);
        EXPECT_NEAR(measure::ZeroCrossingFrequency(t.Samples(), 8000), hz, 0.05);
        EXPECT_NEAR(measure::AmplitudeAt(t.Samples(), hz, 8000), peak, peak * 1e-3);
    }
}

TEST(FskModulator, OptionsThatCannotBeSentAreRejectedWhole) {
    const auto rejects = [](auto change, int rate) {
        FskModulator::Options options;
        change(options);
        SignalTimeline t(rate);
        return FskModulator(options).AppendMark(t, 3) == E_INVALIDARG && t.Size() == 0;
    };
    EXPECT_TRUE(rejects([](auto& o) { o.markHz = std::nan(""); }, 8000));
    EXPECT_TRUE(rejects([](auto& o) { o.bitRateErrorPercent = -100.0; }, 8000));
    // Half the rate is too high already, also when the offset is what takes a tone there.
    EXPECT_TRUE(rejects([](auto&) {}, 4400));
    EXPECT_FALSE(rejects([](auto& o) { o.spaceHz = 2199.0; }, 4400));
    EXPECT_TRUE(rejects([](auto& o) { o.frequencyOffsetPercent = 0.05; }, 4401));

    FskModulator fsk;
    SignalTimeline t(8000);
    EXPECT_EQ(fsk.AppendBits(t, Bits{1, 0, 2}), E_INVALIDARG);
    ASSERT_EQ(fsk.AppendMark(t, 2), S_OK);
    SignalTimeline other(16000);  // the bit clock counts samples at the first rate
    EXPECT_EQ(fsk.AppendMark(other, 2), E_INVALIDARG);
    fsk.Reset();
    EXPECT_EQ(fsk.AppendMark(other, 2), S_OK);
}

}  // namespace
