// How the host cuts its audio into buffers, and which channel of a stereo stream carries
// the line, must not change what the decoder reports: the same ten minutes of keys in noise
// fed whole, byte by byte, in odd and in random sizes, or as either channel of a stereo
// stream, give exactly the same messages, positions included.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/DecoderHarness.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace {

constexpr int kRate = 8000;

// Ten minutes of keys with random levels, lengths and pauses over a steady noise floor.
// The keys last from 45 ms (just over three detector blocks) and pause at least 45 ms,
// so every one of them is a key to the detector.
SignalTimeline KeysInNoise(std::uint32_t seed, std::string& keys) {
    std::mt19937 random(seed);
    // Raw generator output only: the standard distributions differ between libraries.
    const auto between = [&](int low, int high) {
        return low + static_cast<int>(random() % static_cast<std::uint32_t>(high - low + 1));
    };
    SignalTimeline signal(kRate);
    const std::size_t length = signal.SamplesForMs(600'000.0);
    signal.Reserve(length);
    signal.AppendSilence(signal.SamplesForMs(between(0, 200)));
    DtmfGenerator generator;
    auto& options = generator.MutableOptions();
    while (true) {
        options.levelDbfs = -between(10, 30);
        options.twistDb = between(-3, 3);
        options.toneMs = between(45, 90);
        options.gapMs = between(45, 400);
        if (signal.Size() + signal.SamplesForMs(options.toneMs + options.gapMs) > length) break;
        const char key = DtmfGenerator::kKeys[between(0, 15)];
        EXPECT_EQ(generator.AppendKey(signal, key), S_OK);
        keys.push_back(key);
    }
    signal.AppendSilence(length - signal.Size());
    signal.AddNoise(-50.0, seed);
    return signal;
}

std::vector<unsigned char> Render(const SignalTimeline& signal, int bits, int channels = 1,
                                  int signalChannel = 0, const SignalTimeline* other = nullptr) {
    std::vector<unsigned char> bytes;
    PcmRenderer renderer({bits, channels, signalChannel, kRate});
    EXPECT_EQ(renderer.Render(signal, other, bytes), S_OK);
    return bytes;
}

// Buffer sizes from a fixed seed, from one byte to a few seconds of audio.
std::function<std::size_t()> RandomSizes(std::uint32_t seed) {
    return [random = std::mt19937(seed)]() mutable {
        // Mostly small buffers, now and then a large one.
        const std::uint32_t r = random();
        return static_cast<std::size_t>(r % 8 == 0 ? 1 + r % 65'536 : 1 + r % 700);
    };
}

std::function<std::size_t()> Cycle(std::vector<std::size_t> sizes) {
    return [sizes = std::move(sizes), next = std::size_t{0}]() mutable {
        return sizes[next++ % sizes.size()];
    };
}

class FeedInvariance : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_wanted = new SignalTimeline(KeysInNoise(11, s_wantedKeys));
        s_other = new SignalTimeline(KeysInNoise(29, s_otherKeys));
        s_mono16 = new std::vector<unsigned char>(Render(*s_wanted, 16));
        s_reference = new std::vector<DecoderHarness::Event>(
            Run(*s_mono16, 16, CBaseDecoder::kMono, [] { return s_mono16->size(); }));
    }
    static void TearDownTestSuite() {
        delete s_reference;
        delete s_mono16;
        delete s_other;
        delete s_wanted;
    }

    static std::vector<DecoderHarness::Event> Run(const std::vector<unsigned char>& bytes, int bits,
                                                  int channelOption,
                                                  const std::function<std::size_t()>& nextSize) {
        DecoderHarness harness(kRate, bits, channelOption);
        harness.FeedInPieces(bytes, nextSize);
        harness.Flush();
        return harness.Events();
    }

    static std::string KeyText(const std::vector<DecoderHarness::Event>& events) {
        std::string text;
        for (const auto& e : events) text.push_back(static_cast<char>(e.wParam & 0xFF));
        return text;
    }

    // Same messages in the same order; on a difference, the first one is shown.
    static void ExpectSameEvents(const std::vector<DecoderHarness::Event>& actual) {
        ExpectSameEvents(actual, *s_reference);
    }
    static void ExpectSameEvents(const std::vector<DecoderHarness::Event>& actual,
                                 const std::vector<DecoderHarness::Event>& expected) {
        EXPECT_EQ(actual.size(), expected.size());
        for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i)
            ASSERT_EQ(actual[i], expected[i]) << "first difference at message " << i;
    }

    static void ExpectSameKeysWithinABlock(const std::vector<DecoderHarness::Event>& actual) {
        const auto& expected = *s_reference;
        ASSERT_EQ(KeyText(actual), KeyText(expected));
        for (std::size_t i = 0; i < actual.size(); ++i)
            ASSERT_LE(std::abs(actual[i].lParam - expected[i].lParam), 102) << "message " << i;
    }

    static SignalTimeline* s_wanted;
    static SignalTimeline* s_other;
    static std::string s_wantedKeys;
    static std::string s_otherKeys;
    static std::vector<unsigned char>* s_mono16;
    static std::vector<DecoderHarness::Event>* s_reference;
};

SignalTimeline* FeedInvariance::s_wanted = nullptr;
SignalTimeline* FeedInvariance::s_other = nullptr;
std::string FeedInvariance::s_wantedKeys;
std::string FeedInvariance::s_otherKeys;
std::vector<unsigned char>* FeedInvariance::s_mono16 = nullptr;
std::vector<DecoderHarness::Event>* FeedInvariance::s_reference = nullptr;

// The reference run, fed in one buffer, hears every key that was placed, in order.
TEST_F(FeedInvariance, WholeBufferHearsEveryKey) {
    EXPECT_GT(s_wantedKeys.size(), 1000u);
    EXPECT_EQ(KeyText(*s_reference), s_wantedKeys);
    EXPECT_NE(s_otherKeys, s_wantedKeys);
}

TEST_F(FeedInvariance, OneByteBuffers) {
    ExpectSameEvents(Run(*s_mono16, 16, CBaseDecoder::kMono, [] { return 1; }));
}

TEST_F(FeedInvariance, OddSizedBuffers) {
    ExpectSameEvents(
        Run(*s_mono16, 16, CBaseDecoder::kMono, Cycle({3, 1, 101, 7, 4099, 99, 65537})));
}

TEST_F(FeedInvariance, RandomSizedBuffers) {
    ExpectSameEvents(Run(*s_mono16, 16, CBaseDecoder::kMono, RandomSizes(5)));
}

// The wanted channel on either side, the other one carrying different keys; frames are
// split across buffers at every possible byte.
TEST_F(FeedInvariance, StereoWithTheWantedChannelLeftOrRight) {
    for (int channel : {CBaseDecoder::kLeft, CBaseDecoder::kRight}) {
        const auto stereo = Render(*s_wanted, 16, 2, channel, s_other);
        ExpectSameEvents(Run(stereo, 16, channel, RandomSizes(17 + channel)));
        ExpectSameEvents(Run(stereo, 16, channel, Cycle({1, 2, 3, 5, 4093})));
    }
    // Decoding the other channel instead hears the other keys.
    const auto stereo = Render(*s_wanted, 16, 2, CBaseDecoder::kLeft, s_other);
    EXPECT_EQ(KeyText(Run(stereo, 16, CBaseDecoder::kRight, RandomSizes(3))), s_otherKeys);
}

// Other sample widths quantise the signal differently, so a block at the edge of a tone
// may tip the other way and move a report by one detector block; the keys stay the same.
// Within one width, mono and either stereo channel agree exactly.
TEST_F(FeedInvariance, EightBitAndFloatHearTheSameKeys) {
    for (int bits : {8, 32}) {
        SCOPED_TRACE(bits);
        const auto mono = Run(Render(*s_wanted, bits), bits, CBaseDecoder::kMono, RandomSizes(23));
        ExpectSameKeysWithinABlock(mono);
        for (int channel : {CBaseDecoder::kLeft, CBaseDecoder::kRight}) {
            const auto stereo = Render(*s_wanted, bits, 2, channel, s_other);
            ExpectSameEvents(Run(stereo, bits, channel, Cycle({5, 3, 7, 2048})), mono);
        }
    }
}

}  // namespace
