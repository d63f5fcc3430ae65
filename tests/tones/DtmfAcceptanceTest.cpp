// DTMF through the whole decoder: PCM bytes into the aggregate, keys out of its event
// procedure, with the detector configured as the control object configures it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "decoder/DecoderMessages.h"
#include "support/DecoderHarness.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace {

using Key = DecoderHarness::Key;

constexpr double kTwoPi = 6.283185307179586476925;
const std::string kGrid = "123A456B789C*0#D";

// Long-mode detector blocks: 12.75 ms whatever the rate.
std::int64_t BlockLength(int rate) {
    return static_cast<std::int64_t>(rate * 102 / 8000.0);
}

std::vector<unsigned char> Render16(const SignalTimeline& signal) {
    std::vector<unsigned char> bytes;
    PcmRenderer renderer({16, 1, 0, signal.SampleRate()});
    EXPECT_EQ(renderer.Render(signal, bytes), S_OK);
    EXPECT_EQ(renderer.ClippedSamples(), 0u);
    return bytes;
}

std::vector<Key> Decode(std::span<const unsigned char> bytes, int rate, int bits = 16) {
    DecoderHarness harness(rate, bits);
    EXPECT_EQ(harness.Feed(bytes), S_OK);
    harness.Flush();
    return harness.Keys();
}

std::vector<Key> Decode(const SignalTimeline& signal) {
    return Decode(Render16(signal), signal.SampleRate());
}

// Level of key i of the grid: evenly from -10 dBFS (first key) to -30 dBFS (last).
double LevelOfKey(std::size_t i) {
    return -10.0 - 20.0 * static_cast<double>(i) / 15.0;
}

// One key placed on whole detector blocks: T tone blocks starting at block `start`.
struct AlignedKey {
    char key;
    double levelDbfs;
    std::int64_t startBlock;
    std::int64_t toneBlocks;
};

// Every grid key at its level; tones of 3, 4 and 5 blocks (the minimum duration is 3),
// gaps of 3 and 5 blocks (3 is the minimum gap: the report comes exactly as the next
// key begins).
std::vector<AlignedKey> AlignedLayout(std::int64_t& totalBlocks) {
    std::vector<AlignedKey> layout;
    std::int64_t block = 2;
    for (std::size_t i = 0; i < kGrid.size(); ++i) {
        const std::int64_t tone = 3 + static_cast<std::int64_t>(i % 3);
        const std::int64_t gap = i % 2 == 0 ? 3 : 5;
        layout.push_back({kGrid[i], LevelOfKey(i), block, tone});
        block += tone + gap;
    }
    totalBlocks = block + 2;
    return layout;
}

// Where the state machine reports a key on whole blocks: its tone blocks pass, the first
// three quiet blocks count the gap, and the third one decides; the position is the sample
// count at that block's end.
std::vector<Key> ExpectedAligned(const std::vector<AlignedKey>& layout, std::int64_t blockLength) {
    std::vector<Key> keys;
    for (const AlignedKey& k : layout)
        keys.push_back({k.key, (k.startBlock + k.toneBlocks + 3) * blockLength});
    return keys;
}

TEST(DtmfAcceptance, EveryKeyOnBlockBoundariesIsReportedOnceAtItsExactPosition) {
    for (int rate : {8000, 16000}) {
        const std::int64_t L = BlockLength(rate);
        std::int64_t totalBlocks = 0;
        const auto layout = AlignedLayout(totalBlocks);

        SignalTimeline signal(rate);
        for (const AlignedKey& k : layout) {
            signal.AppendSilence(static_cast<std::size_t>(k.startBlock * L) - signal.Size());
            DtmfGenerator::Options options;
            options.levelDbfs = k.levelDbfs;
            options.toneMs = static_cast<double>(k.toneBlocks) * 12.75;
            options.gapMs = 0.0;
            ASSERT_EQ(DtmfGenerator(options).AppendKey(signal, k.key), S_OK);
        }
        signal.AppendSilence(static_cast<std::size_t>(totalBlocks * L) - signal.Size());

        EXPECT_EQ(Decode(signal), ExpectedAligned(layout, L)) << rate << " Hz";
    }
}

// The same keys built here from first principles, without the synthesizer: the summed
// sines and their 16-bit samples are computed by the test itself.
TEST(DtmfAcceptance, KeysBuiltFromFirstPrinciplesAreReportedAtTheSamePositions) {
    const double rows[4] = {697.0, 770.0, 852.0, 941.0};
    const double cols[4] = {1209.0, 1336.0, 1477.0, 1633.0};
    const int rate = 8000;
    const std::int64_t L = 102;
    std::int64_t totalBlocks = 0;
    const auto layout = AlignedLayout(totalBlocks);

    std::vector<std::int16_t> pcm(static_cast<std::size_t>(totalBlocks * L), 0);
    for (const AlignedKey& k : layout) {
        const std::size_t index = kGrid.find(k.key);
        const double amplitude = std::pow(10.0, k.levelDbfs / 20.0);
        for (std::int64_t n = 0; n < k.toneBlocks * L; ++n) {
            const double t = static_cast<double>(n) / rate;
            const double x = amplitude * (std::sin(kTwoPi * rows[index / 4] * t) +
                                          std::sin(kTwoPi * cols[index % 4] * t));
            pcm[static_cast<std::size_t>(k.startBlock * L + n)] =
                static_cast<std::int16_t>(std::lround(x * 32767.0));
        }
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(pcm.data());
    EXPECT_EQ(Decode({bytes, pcm.size() * 2}, rate), ExpectedAligned(layout, L));
}

// Keys of 50 ms with 50 ms gaps fall anywhere in the blocks. A key is still reported
// once, in order, at a block end: the third quiet block after its last passing block.
// The block holding the tone's last sample passes or fails depending on how much of the
// tone it holds, so the report comes at the end of the second or third block after it.
TEST(DtmfAcceptance, FiftyMillisecondKeysAnywhereInTheBlocksAreReportedOnceInOrder) {
    for (int rate : {8000, 11025}) {
        const std::int64_t L = BlockLength(rate);
        SignalTimeline signal(rate);
        DtmfGenerator::Options options;
        options.leadMs = 37.0;
        DtmfGenerator generator(options);
        signal.AppendSilence(signal.SamplesForMs(options.leadMs));
        std::vector<std::int64_t> toneEnds;
        for (std::size_t i = 0; i < kGrid.size(); ++i) {
            generator.MutableOptions().levelDbfs = LevelOfKey(i);
            const std::size_t start = signal.Size();
            ASSERT_EQ(generator.AppendKey(signal, kGrid[i]), S_OK);
            toneEnds.push_back(
                static_cast<std::int64_t>(start + signal.SamplesForMs(options.toneMs)));
        }
        signal.AppendSilence(signal.SamplesForMs(100.0));

        const auto keys = Decode(signal);
        ASSERT_EQ(keys.size(), kGrid.size()) << rate << " Hz";
        for (std::size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(keys[i].key, kGrid[i]) << rate << " Hz, key " << i;
            const std::int64_t lastToneBlock = (toneEnds[i] - 1) / L;
            EXPECT_EQ(keys[i].position % L, 0) << keys[i];
            EXPECT_GE(keys[i].position, (lastToneBlock + 3) * L) << keys[i];
            EXPECT_LE(keys[i].position, (lastToneBlock + 4) * L) << keys[i];
        }
    }
}

TEST(DtmfAcceptance, WhiteNoiseAloneIsNoKey) {
    for (double level : {-6.0, -15.0, -30.0, -50.0}) {
        SignalTimeline noise(8000);
        noise.AppendSilence(noise.SamplesForMs(20'000.0));
        noise.AddNoise(level, static_cast<std::uint64_t>(-level));
        std::vector<unsigned char> bytes;
        PcmRenderer renderer({16, 1, 0, 8000});
        ASSERT_EQ(renderer.Render(noise, bytes), S_OK);  // the loudest noise clips now and then

        DecoderHarness harness(8000, 16);
        ASSERT_EQ(harness.Feed(bytes), S_OK);
        harness.Flush();
        EXPECT_TRUE(harness.Events().empty()) << level << " dBFS: " << harness.KeyText();
    }
}

TEST(DtmfAcceptance, ASingleToneOfEitherGroupIsNoKey) {
    const double grid[8] = {697.0, 770.0, 852.0, 941.0, 1209.0, 1336.0, 1477.0, 1633.0};
    for (double level : {-3.0, -10.0, -20.0, -35.0}) {
        SignalTimeline signal(8000);
        for (double f : grid) {
            signal.AppendTone(f, level, signal.SamplesForMs(300.0));
            signal.AppendSilence(signal.SamplesForMs(123.0));
        }
        EXPECT_EQ(Decode(signal), std::vector<Key>{}) << level << " dBFS";
    }
}

// Sweeps at the pace of speech's formant and pitch movements cross every grid tone, one
// at a time. A sweep slower than about 1 kHz/s would hold 1100 Hz for more than five
// blocks, which is what the calling-tone rule asks for, so slow sweeps here stay clear of
// 1100 Hz.
TEST(DtmfAcceptance, SweptTonesAreNoKey) {
    struct Sweep {
        double fromHz, toHz, ms;
    };
    for (double level : {-6.0, -25.0}) {
        for (const Sweep& sweep :
             {Sweep{300, 3400, 250}, Sweep{3400, 300, 250}, Sweep{300, 3400, 1000},
              Sweep{3400, 300, 1000}, Sweep{500, 2000, 400}, Sweep{300, 1020, 3000},
              Sweep{1020, 300, 3000}, Sweep{1180, 3400, 3000}, Sweep{3400, 1180, 3000}}) {
            SignalTimeline signal(8000);
            signal.AppendSweep(sweep.fromHz, sweep.toHz, level, signal.SamplesForMs(sweep.ms));
            signal.AppendSilence(signal.SamplesForMs(100.0));
            EXPECT_EQ(Decode(signal), std::vector<Key>{})
                << level << " dBFS, " << sweep.fromHz << " to " << sweep.toHz << " Hz in "
                << sweep.ms << " ms";
        }
    }
}

// A voiced sound: the harmonics of a glottal pitch, falling with frequency, shaped by the
// vocal tract's formant resonances. Built here sample by sample so that the pitch can
// glide, as it does in speech, with every harmonic's phase running continuously.
std::vector<float> Voiced(double startPitchHz, double endPitchHz, const double formants[3],
                          double seconds, double peakDbfs, int rate = 8000) {
    const double bandwidths[3] = {80.0, 100.0, 140.0};
    const auto gain = [&](double f) {
        double g = 1.0;
        for (int j = 0; j < 3; ++j) {
            const double F = formants[j];
            g *= F * F / std::sqrt(std::pow(F * F - f * f, 2.0) + std::pow(bandwidths[j] * f, 2.0));
        }
        return g;
    };
    const std::size_t length = static_cast<std::size_t>(seconds * rate);
    std::vector<double> x(length, 0.0);
    double phase = 0.0;  // of the fundamental, in cycles
    for (std::size_t n = 0; n < length; ++n) {
        const double pitch =
            startPitchHz + (endPitchHz - startPitchHz) * static_cast<double>(n) / length;
        for (int k = 1; k * pitch < 0.48 * rate; ++k)
            x[n] += gain(k * pitch) / k * std::sin(kTwoPi * k * phase);
        phase += pitch / rate;
        phase -= std::floor(phase);
    }
    double peak = 0.0;
    for (double v : x) peak = std::max(peak, std::fabs(v));
    const double scale = std::pow(10.0, peakDbfs / 20.0) / peak;
    std::vector<float> out(length);
    for (std::size_t n = 0; n < length; ++n) out[n] = static_cast<float>(x[n] * scale);
    return out;
}

TEST(DtmfAcceptance, HarmonicRichBuzzIsNoKey) {
    // A mains-like 120 Hz buzz (and other low pitches) with every harmonic up to the band
    // edge at 1/k: many harmonics sit close to grid tones of both groups at once.
    const double flat[3] = {1e6, 1e6, 1e6};  // resonances far above the band: no shaping
    for (double pitch : {50.0, 60.0, 100.0, 120.0, 174.25, 240.0}) {
        SignalTimeline signal(8000);
        signal.AppendSamples(Voiced(pitch, pitch, flat, 1.0, -6.0));
        signal.AppendSilence(signal.SamplesForMs(100.0));
        EXPECT_EQ(Decode(signal), std::vector<Key>{}) << pitch << " Hz";
    }
}

// Average formants of vowels, each with male and female pitches, steady and gliding.
const double kPitchContours[][2] = {{100, 100}, {120, 135}, {150, 110}, {210, 240}, {260, 200}};

SignalTimeline VowelSequence(const double formants[3]) {
    SignalTimeline signal(8000);
    for (const auto& pitch : kPitchContours) {
        signal.AppendSamples(Voiced(pitch[0], pitch[1], formants, 0.4, -6.0));
        signal.AppendSilence(signal.SamplesForMs(60.0));
    }
    return signal;
}

TEST(DtmfAcceptance, VowelLikeSoundsAreNoKey) {
    const double vowels[8][3] = {{270, 2290, 3010}, {390, 1990, 2550}, {530, 1840, 2480},
                                 {660, 1720, 2410}, {570, 840, 2410},  {440, 1020, 2240},
                                 {300, 870, 2240},  {490, 1350, 1690}};
    for (const auto& formants : vowels)
        EXPECT_EQ(Decode(VowelSequence(formants)), std::vector<Key>{})
            << "formants " << formants[0] << ", " << formants[1];
}

// The fax calling tone is reported as 'f' once it has lasted more than five blocks, at the
// end of the first block after it in which 1100 Hz no longer dominates; a key after it is
// a new key.
TEST(DtmfAcceptance, FaxCallingToneIsReportedAsF) {
    for (double level : {-8.0, -20.0, -30.0}) {
        SignalTimeline signal(8000);
        signal.AppendSilence(signal.SamplesForMs(250.0));
        signal.AppendTone(1100.0, level, signal.SamplesForMs(500.0));
        const auto toneEnd = static_cast<std::int64_t>(signal.Size());
        signal.AppendSilence(signal.SamplesForMs(300.0));
        DtmfGenerator::Options options;
        options.levelDbfs = level;
        ASSERT_EQ(DtmfGenerator(options).Append(signal, "7"), S_OK);
        signal.AppendSilence(signal.SamplesForMs(100.0));

        const auto keys = Decode(signal);
        ASSERT_EQ(keys.size(), 2u) << level << " dBFS";
        EXPECT_EQ(keys[0].key, 'f');
        const std::int64_t lastToneBlock = (toneEnd - 1) / 102;
        EXPECT_EQ(keys[0].position % 102, 0) << keys[0];
        EXPECT_GE(keys[0].position, (lastToneBlock + 1) * 102) << keys[0];
        EXPECT_LE(keys[0].position, (lastToneBlock + 2) * 102) << keys[0];
        EXPECT_EQ(keys[1].key, '7');
    }
}

TEST(DtmfAcceptance, CallingToneReachesTheProcedureAsCharacterF) {
    SignalTimeline signal(8000);
    signal.AppendTone(1100.0, -10.0, signal.SamplesForMs(450.0));
    signal.AppendSilence(signal.SamplesForMs(50.0));
    DecoderHarness harness(8000, 16);
    ASSERT_EQ(harness.Feed(Render16(signal)), S_OK);
    ASSERT_EQ(harness.Events().size(), 1u);
    EXPECT_EQ(harness.Events()[0].msg, DM_DTMF);
    EXPECT_EQ(harness.Events()[0].wParam, static_cast<std::uint64_t>('f'));
    EXPECT_EQ(harness.Decoder().DTMFText(), "f");
}

}  // namespace
