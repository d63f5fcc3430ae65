#include "sample/CSample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sample/CSampleEvent.h"

namespace {

// Records every block it is handed, with the stream position seen during the call.
class Probe : public CSampleEvent {
public:
    struct Block {
        std::vector<float> samples;
        std::uint32_t position;
        double meanAbsDiff;
        double meanSquare;
    };
    std::vector<Block> blocks;

    std::int32_t OnSampleData(const float* samples, int count, double meanAbsDiff,
                              double meanSquare) override {
        blocks.push_back({std::vector<float>(samples, samples + count), GetSamplePos(), meanAbsDiff,
                          meanSquare});
        return 0;
    }
};

std::vector<unsigned char> Pcm16(const std::vector<std::int16_t>& values) {
    std::vector<unsigned char> bytes(values.size() * 2);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

std::vector<unsigned char> Floats(const std::vector<float>& values) {
    std::vector<unsigned char> bytes(values.size() * 4);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

class SampleStream : public ::testing::Test {
protected:
    void Configure(int bits, int blockLength = 100) {
        ASSERT_EQ(stream.SetAudioParameters(bits, 8000, -45.0f, blockLength), 0);
        probe.SetSample(&stream);
        stream.AddEvent(&probe);
    }
    CSample stream;
    Probe probe;
};

TEST_F(SampleStream, DeliversWholeBlocksAndFlushesTheRest) {
    Configure(32);
    const auto bytes = Floats(std::vector<float>(250, 0.25f));
    ASSERT_EQ(stream.putSamples(bytes.data(), static_cast<int>(bytes.size()), 0), 0);
    ASSERT_EQ(probe.blocks.size(), 2u);
    EXPECT_EQ(probe.blocks[0].position, 0u);
    EXPECT_EQ(probe.blocks[1].position, 100u);
    EXPECT_EQ(stream.GetFillCount(), 50);
    EXPECT_EQ(stream.GetSamplePos(), 200u);

    // Without a flush a partial block waits however long it stays partial.
    for (int i = 0; i < 4; ++i) stream.putSamples(bytes.data(), 4 * 10, 0);
    EXPECT_EQ(probe.blocks.size(), 2u);
    EXPECT_EQ(stream.GetFillCount(), 90);
}

TEST_F(SampleStream, FlushDeliversPartialBlockAtItsPosition) {
    Configure(32);
    const auto bytes = Floats(std::vector<float>(250, 0.25f));
    stream.putSamples(bytes.data(), static_cast<int>(bytes.size()), 0);
    ASSERT_EQ(stream.putSamples(nullptr, 0, 1), 0);
    ASSERT_EQ(probe.blocks.size(), 3u);
    EXPECT_EQ(probe.blocks[2].samples.size(), 50u);
    EXPECT_EQ(probe.blocks[2].position, 200u);
    EXPECT_EQ(stream.GetSamplePos(), 250u);

    // A flush of an empty block delivers nothing and leaves the position alone.
    stream.putSamples(nullptr, 0, 1);
    EXPECT_EQ(probe.blocks.size(), 3u);
    EXPECT_EQ(stream.GetSamplePos(), 250u);
}

TEST_F(SampleStream, ConvertsEightBitAroundZeroAt127) {
    Configure(8, 4);
    const unsigned char bytes[] = {127, 128, 0, 255};
    stream.putSamples(bytes, 4, 0);
    ASSERT_EQ(probe.blocks.size(), 1u);
    EXPECT_EQ(probe.blocks[0].samples, (std::vector<float>{0.0f, 0.0078125f, -0.9921875f, 1.0f}));
}

TEST_F(SampleStream, ConvertsSixteenBitBy32767EverywhereInTheChunk) {
    // Every 16-bit value, in a count that leaves a remainder after the eight-wide path.
    Configure(16, 65536 + 3);
    std::vector<std::int16_t> values;
    for (int v = -32768; v <= 32767; ++v) values.push_back(static_cast<std::int16_t>(v));
    values.insert(values.end(), {32767, -32768, 1});
    const auto bytes = Pcm16(values);
    stream.putSamples(bytes.data(), static_cast<int>(bytes.size()), 0);
    ASSERT_EQ(probe.blocks.size(), 1u);
    const auto& got = probe.blocks[0].samples;
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(got[i], static_cast<float>(values[i]) / 32767.0f) << "value " << values[i];
    EXPECT_EQ(got[65536], 1.0f);
    EXPECT_FLOAT_EQ(got[65537], -1.0000305f);
}

TEST_F(SampleStream, IgnoresBytesAfterTheLastWholeSample) {
    Configure(16, 2);
    const auto bytes = Pcm16({1000, 2000, 3000});
    stream.putSamples(bytes.data(), 5, 0);  // two samples and one stray byte
    ASSERT_EQ(probe.blocks.size(), 1u);
    EXPECT_EQ(stream.GetFillCount(), 0);
}

TEST_F(SampleStream, RefusesWidthsItCannotDecode) {
    CSample unconfigured;
    const unsigned char bytes[6] = {};
    EXPECT_EQ(unconfigured.putSamples(bytes, 6, 1), -1);

    Configure(24);
    EXPECT_EQ(stream.putSamples(bytes, 6, 1), -1);
    EXPECT_EQ(stream.GetSamplePos(), 0u);
    EXPECT_TRUE(probe.blocks.empty());
}

TEST_F(SampleStream, RejectsBadBuffersWithoutChangingState) {
    Configure(16);
    EXPECT_EQ(stream.putSamples(nullptr, 4, 0), E_POINTER);
    const unsigned char bytes[4] = {};
    EXPECT_EQ(stream.putSamples(bytes, -2, 0), E_INVALIDARG);
    EXPECT_EQ(stream.GetFillCount(), 0);
    EXPECT_EQ(stream.SetAudioParameters(16, 8000, -45.0f, 0), E_INVALIDARG);
    EXPECT_EQ(stream.GetBlockLength(), 100);
}

TEST_F(SampleStream, RegistersAConsumerOnce) {
    Configure(32, 10);
    EXPECT_EQ(stream.AddEvent(&probe), 0);  // second time: no second entry
    const auto bytes = Floats(std::vector<float>(10, 0.1f));
    stream.putSamples(bytes.data(), 40, 0);
    EXPECT_EQ(probe.blocks.size(), 1u);
    EXPECT_EQ(stream.RemoveEvent(&probe), 0);
    EXPECT_EQ(stream.RemoveEvent(&probe), E_INVALIDARG);
    stream.putSamples(bytes.data(), 40, 0);
    EXPECT_EQ(probe.blocks.size(), 1u);
}

TEST_F(SampleStream, SilenceLevelIsTheThresholdAsAmplitude) {
    Configure(16);
    EXPECT_NEAR(stream.GetSilenceLevel(), 0.0056234, 1e-7);
    EXPECT_EQ(stream.GetSilenceThreshold(), -45.0f);
}

TEST_F(SampleStream, DCOffsetFollowsQuietBlocksOnly) {
    Configure(32, 100);
    const float v = 0.3f;
    const auto quiet = Floats(std::vector<float>(100, v));

    // First block: one step from 0 to v, then flat; quiet (mean |diff| 0.003 below the
    // 0.0056 level) and small, so the offset moves two thirds of the way to v.
    stream.putSamples(quiet.data(), 400, 0);
    const float first = (v + 0.0f + v) / 3.0f;
    EXPECT_FLOAT_EQ(stream.GetDCOffset(), first);  // the block's mean, summed in float
    EXPECT_DOUBLE_EQ(probe.blocks[0].meanAbsDiff, 0.3f / 100.0);
    EXPECT_DOUBLE_EQ(probe.blocks[0].meanSquare, static_cast<double>(v * v));
    EXPECT_EQ(probe.blocks[0].samples[0], v);  // removal uses the offset from before the block

    // Second block follows a block that ended with v: no difference at all.
    stream.putSamples(quiet.data(), 400, 0);
    EXPECT_EQ(probe.blocks[1].meanAbsDiff, 0.0);
    EXPECT_FLOAT_EQ(probe.blocks[1].samples[0], v - first);
    EXPECT_FLOAT_EQ(stream.GetDCOffset(), (v + first + v) / 3.0f);

    // A full-scale tone is far above the silence level and leaves the offset alone.
    const float held = stream.GetDCOffset();
    std::vector<float> tone(100);
    for (int i = 0; i < 100; ++i) tone[i] = static_cast<float>(std::sin(i * 0.7));
    const auto loud = Floats(tone);
    stream.putSamples(loud.data(), 400, 0);
    EXPECT_EQ(stream.GetDCOffset(), held);
}

TEST_F(SampleStream, ToneStartingAtTheEndOfAQuietBlockIsNoOffset) {
    Configure(32, 100);
    // Silence, and a tone's first sample (0.4) as the block's last: the block is still
    // quiet (mean |diff| 0.004), and its last two samples would have moved the offset to
    // 0.133, a third of full scale taken off every sample of the tone that follows. The
    // block's mean (0.004) moves it to 0.0027.
    std::vector<float> block(100, 0.0f);
    block[99] = 0.4f;
    const auto bytes = Floats(block);
    stream.putSamples(bytes.data(), 400, 0);
    const float mean = static_cast<float>(static_cast<double>(0.4f) / 100.0);
    EXPECT_FLOAT_EQ(stream.GetDCOffset(), (mean + 0.0f + mean) / 3.0f);
    EXPECT_LT(stream.GetDCOffset(), 0.003f);
}

TEST_F(SampleStream, FirstDifferenceSpansFullBlocksButNotFlushes) {
    Configure(32, 2);
    const auto bytes = Floats({0.5f, 0.5f, 0.5f});
    stream.putSamples(bytes.data(), 12, 1);
    ASSERT_EQ(probe.blocks.size(), 2u);
    EXPECT_DOUBLE_EQ(probe.blocks[0].meanAbsDiff, 0.25);  // 0 -> 0.5, then flat
    EXPECT_DOUBLE_EQ(probe.blocks[1].meanAbsDiff, 0.0);   // continues from the true 0.5
    // After the flushed partial block the previous sample starts again from 0.
    const auto again = Floats({0.5f, 0.5f});
    stream.putSamples(again.data(), 8, 0);
    EXPECT_DOUBLE_EQ(probe.blocks[2].meanAbsDiff, 0.25);
}

// A consumer with a chosen delivery order, noting when it was called.
class OrderedProbe : public CSampleEvent {
public:
    OrderedProbe(std::vector<int>* calls, int id, int order) : m_calls(calls), m_id(id) {
        SetDeliveryOrder(order);
    }
    std::int32_t OnSampleData(const float*, int, double, double) override {
        m_calls->push_back(m_id);
        return 0;
    }

private:
    std::vector<int>* m_calls;
    int m_id;
};

TEST(SampleStreamOrder, DeliversByStatedOrderNotByAddress) {
    std::vector<int> calls;
    // The array puts the consumers in memory in the opposite order to their stated order.
    OrderedProbe probes[3] = {{&calls, 0, 30}, {&calls, 1, 20}, {&calls, 2, 10}};
    CSample stream;
    stream.SetAudioParameters(32, 8000, -45.0f, 1);
    stream.AddEvent(&probes[1]);
    stream.AddEvent(&probes[0]);
    stream.AddEvent(&probes[2]);
    const float one = 0.1f;
    stream.putSamples(&one, 4, 0);
    stream.putSamples(&one, 4, 0);
    EXPECT_EQ(calls, (std::vector<int>{2, 1, 0, 2, 1, 0}));
}

TEST(SampleStreamOrder, EqualOrdersGoByAscendingAddress) {
    std::vector<int> calls;
    OrderedProbe probes[3] = {{&calls, 0, 5}, {&calls, 1, 5}, {&calls, 2, 5}};
    CSample stream;
    stream.SetAudioParameters(32, 8000, -45.0f, 1);
    stream.AddEvent(&probes[2]);
    stream.AddEvent(&probes[0]);
    stream.AddEvent(&probes[1]);
    const float one = 0.1f;
    stream.putSamples(&one, 4, 0);
    EXPECT_EQ(calls, (std::vector<int>{0, 1, 2}));
}

// Switches another consumer on or off from inside its own call, as a host handler
// reached through a synchronous event may do.
class Switcher : public CSampleEvent {
public:
    Switcher(CSample* stream, CSampleEvent* other, bool add) : m_stream(stream), m_other(other), m_add(add) {}
    std::int32_t OnSampleData(const float*, int, double, double) override {
        if (m_add) {
            m_stream->AddEvent(m_other);
        } else {
            m_stream->RemoveEvent(m_other);
        }
        return 0;
    }

private:
    CSample* m_stream;
    CSampleEvent* m_other;
    bool m_add;
};

TEST(SampleStreamOrder, ChangesDuringDeliveryApplyFromTheNextBlock) {
    CSample stream;
    stream.SetAudioParameters(32, 8000, -45.0f, 1);
    Probe late;
    late.SetDeliveryOrder(2);
    Switcher adder(&stream, &late, true);
    adder.SetDeliveryOrder(1);
    stream.AddEvent(&adder);
    const float one = 0.1f;
    stream.putSamples(&one, 4, 0);
    EXPECT_TRUE(late.blocks.empty());
    stream.putSamples(&one, 4, 0);
    EXPECT_EQ(late.blocks.size(), 1u);

    // Removed mid-delivery: this block still reaches it, the next does not.
    Switcher remover(&stream, &late, false);
    remover.SetDeliveryOrder(0);
    stream.RemoveEvent(&adder);
    stream.AddEvent(&remover);
    stream.putSamples(&one, 4, 0);
    EXPECT_EQ(late.blocks.size(), 2u);
    stream.putSamples(&one, 4, 0);
    EXPECT_EQ(late.blocks.size(), 2u);
}

TEST_F(SampleStream, NewStreamRestartsPositionButKeepsPendingSamples) {
    Configure(32, 100);
    const auto bytes = Floats(std::vector<float>(130, 0.2f));
    stream.putSamples(bytes.data(), static_cast<int>(bytes.size()), 0);
    EXPECT_EQ(stream.GetSamplePos(), 100u);
    ASSERT_EQ(stream.SetAudioParameters(32, 8000, -45.0f, 100), 0);
    EXPECT_EQ(stream.GetSamplePos(), 0u);
    stream.putSamples(bytes.data(), 70 * 4, 0);
    ASSERT_EQ(probe.blocks.size(), 2u);
    EXPECT_EQ(probe.blocks[1].position, 0u);  // the 30 pending samples open the new stream
    EXPECT_EQ(stream.GetSamplePos(), 100u);
}

TEST_F(SampleStream, GrowingTheBlockKeepsPendingSamples) {
    Configure(32, 4);
    const auto bytes = Floats({0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f});
    stream.putSamples(bytes.data(), 3 * 4, 0);  // three pending
    ASSERT_EQ(stream.SetAudioParameters(32, 8000, -45.0f, 6), 0);
    stream.putSamples(bytes.data() + 12, 3 * 4, 0);
    ASSERT_EQ(probe.blocks.size(), 1u);
    EXPECT_EQ(probe.blocks[0].samples, (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f}));
}

TEST(SampleStreamConsumer, AnswersFixedValuesWhenDetached) {
    Probe probe;
    EXPECT_EQ(probe.GetSampleRate(), 8000);
    EXPECT_EQ(probe.GetSamplePos(), 0u);
    EXPECT_EQ(probe.GetBlockSize(), 0);
    EXPECT_EQ(probe.GetSilenceThreshold(), -45.0f);
    EXPECT_EQ(probe.GetSilenceLevel(), -40.0f);
}

}  // namespace
