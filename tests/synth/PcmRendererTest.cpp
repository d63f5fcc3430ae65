#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace {

SignalTimeline FromValues(std::initializer_list<float> values, int rate = 8000) {
    SignalTimeline t(rate);
    t.AppendSamples(std::span<const float>(values.begin(), values.size()));
    return t;
}

std::int16_t Signed16At(const std::vector<unsigned char>& bytes, std::size_t index) {
    std::int16_t value;
    std::memcpy(&value, bytes.data() + 2 * index, sizeof value);
    return value;
}

TEST(PcmRenderer, SixteenBitsRoundToNearestAndClip) {
    PcmRenderer renderer({16, 1, 0, 8000});
    // 0.5 · 32767 = 16383.5: halves go away from zero.
    const SignalTimeline t = FromValues(
        {0.0f, 1.0f, -1.0f, 0.25f, 0.5f, -0.5f, 1.5f, -1.5f, -32768.0f / 32767.0f, 1.00001f});
    std::vector<unsigned char> out;
    ASSERT_EQ(renderer.Render(t, out), S_OK);
    ASSERT_EQ(out.size(), 20u);
    const std::int16_t expected[] = {0,      32767, -32767, 8192,   16384,
                                     -16384, 32767, -32768, -32768, 32767};
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(Signed16At(out, i), expected[i]) << i;
    // 1.00001 still rounds to 32767, and the most negative value is reachable without
    // clipping: only the two values beyond ±1.5 count.
    EXPECT_EQ(renderer.ClippedSamples(), 2u);
}

TEST(PcmRenderer, SixteenBitsAreLittleEndian) {
    PcmRenderer renderer({16, 1, 0, 8000});
    std::vector<unsigned char> out;
    ASSERT_EQ(renderer.Render(FromValues({4660.0f / 32767.0f}), out), S_OK);  // 0x1234
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], 0x34);
    EXPECT_EQ(out[1], 0x12);
}

TEST(PcmRenderer, EightBitsAreUnsignedAroundOneHundredTwentyEight) {
    PcmRenderer renderer({8, 1, 0, 8000});
    const SignalTimeline t =
        FromValues({0.0f, 1.0f, -1.0f, 0.5f, -0.5f, -1.01f, -1.1f, 1.01f, 3.0f});
    std::vector<unsigned char> out;
    ASSERT_EQ(renderer.Render(t, out), S_OK);
    // -1.01·127 = -128.27 rounds to the lowest code without clipping; -1.1 and anything
    // above +1.0 by more than half a step clip.
    const unsigned char expected[] = {128, 255, 1, 192, 64, 0, 0, 255, 255};
    ASSERT_EQ(out.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(out[i], expected[i]) << i;
    EXPECT_EQ(renderer.ClippedSamples(), 3u);
}

TEST(PcmRenderer, FloatIsWrittenUnchangedAndNeverClipped) {
    PcmRenderer renderer({32, 1, 0, 8000});
    const SignalTimeline t = FromValues({0.125f, -2.5f, 1e-30f, 7.0f});
    std::vector<unsigned char> out;
    ASSERT_EQ(renderer.Render(t, out), S_OK);
    ASSERT_EQ(out.size(), 16u);
    EXPECT_EQ(std::memcmp(out.data(), t.Samples().data(), out.size()), 0);
    EXPECT_EQ(renderer.ClippedSamples(), 0u);
}

// In stereo the signal goes to its channel; the other one is silent (the width's own
// zero) or carries a second signal, and the shorter one is padded with silence.
TEST(PcmRenderer, StereoPlacesTheSignalOnItsChannel) {
    const SignalTimeline signal = FromValues({0.5f, -0.5f, 0.25f});
    const SignalTimeline other = FromValues({-1.0f});

    for (int channel : {0, 1}) {
        PcmRenderer silent({16, 2, channel, 8000});
        std::vector<unsigned char> out;
        ASSERT_EQ(silent.Render(signal, out), S_OK);
        ASSERT_EQ(out.size(), 12u);
        const std::int16_t expected16[3] = {16384, -16384, 8192};
        for (std::size_t frame = 0; frame < 3; ++frame) {
            EXPECT_EQ(Signed16At(out, 2 * frame + channel), expected16[frame]) << frame;
            EXPECT_EQ(Signed16At(out, 2 * frame + 1 - channel), 0) << frame;
        }

        PcmRenderer eight({8, 2, channel, 8000});
        ASSERT_EQ(eight.Render(signal, &other, out), S_OK);
        const unsigned char expected[3][2] = {{192, 1}, {64, 128}, {160, 128}};
        ASSERT_EQ(out.size(), 6u);
        for (std::size_t frame = 0; frame < 3; ++frame) {
            EXPECT_EQ(out[2 * frame + channel], expected[frame][0]) << frame;
            EXPECT_EQ(out[2 * frame + 1 - channel], expected[frame][1]) << frame;
        }

        // A longer second signal lengthens the output; the signal's channel is padded.
        ASSERT_EQ(eight.Render(other, &signal, out), S_OK);
        ASSERT_EQ(out.size(), 6u);
        EXPECT_EQ(out[2 + channel], 128);
        EXPECT_EQ(out[4 + channel], 128);
    }
}

TEST(PcmRenderer, RejectsBadFormatsAndMismatchedSignals) {
    const SignalTimeline t = FromValues({0.5f});
    const SignalTimeline other11k = FromValues({0.5f}, 11025);
    for (const PcmRenderer::Format format :
         {PcmRenderer::Format{24, 1, 0, 8000}, PcmRenderer::Format{0, 1, 0, 8000},
          PcmRenderer::Format{16, 3, 0, 8000}, PcmRenderer::Format{16, 0, 0, 8000},
          PcmRenderer::Format{16, 1, 1, 8000}, PcmRenderer::Format{16, 2, 2, 8000},
          PcmRenderer::Format{16, 2, -1, 8000}, PcmRenderer::Format{16, 1, 0, 0}}) {
        EXPECT_EQ(PcmRenderer::Check(format), E_INVALIDARG);
        std::vector<unsigned char> out(3, 9);
        EXPECT_EQ(PcmRenderer(format).Render(t, out), E_INVALIDARG);
        EXPECT_EQ(out.size(), 3u);
    }
    std::vector<unsigned char> out;
    EXPECT_EQ(PcmRenderer({16, 1, 0, 11025}).Render(t, out), E_INVALIDARG);     // rate differs
    EXPECT_EQ(PcmRenderer({16, 1, 0, 8000}).Render(t, &t, out), E_INVALIDARG);  // mono has no other
    EXPECT_EQ(PcmRenderer({16, 2, 0, 8000}).Render(t, &other11k, out), E_INVALIDARG);
    EXPECT_EQ(PcmRenderer({16, 2, 1, 8000}).Render(t, &t, out), S_OK);
}

}  // namespace
