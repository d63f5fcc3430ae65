#include "decoder/CBaseDecoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "decoder/DecoderMessages.h"

namespace {

struct Message {
    int msg;
    std::uint64_t wParam;
    std::int64_t lParam;
    bool operator==(const Message&) const = default;
};

void Record(void* context, int msg, std::uint64_t wParam, std::int64_t lParam) {
    static_cast<std::vector<Message>*>(context)->push_back({msg, wParam, lParam});
}

// Stands in for the event window: notes how each message travelled.
class FakeWindow : public MessageWindow {
public:
    std::vector<Message> posted;
    std::vector<Message> sent;
    void Post(int msg, std::uint64_t w, std::int64_t l) override { posted.push_back({msg, w, l}); }
    void Send(int msg, std::uint64_t w, std::int64_t l) override { sent.push_back({msg, w, l}); }
};

// Sees exactly the samples the aggregate pushes into its stream.
class Probe : public CSampleEvent {
public:
    std::vector<float> samples;
    std::int32_t OnSampleData(const float* s, int count, double, double) override {
        samples.insert(samples.end(), s, s + count);
        return 0;
    }
};

std::vector<unsigned char> Pcm16(const std::vector<std::int16_t>& values) {
    std::vector<unsigned char> bytes(values.size() * 2);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

float S16(int v) { return static_cast<float>(v) / 32767.0f; }

class Aggregate : public ::testing::Test {
protected:
    // Starts a run whose decoded samples the probe collects (flushed on demand).
    void Start(int bits, int channelOption) {
        ASSERT_EQ(decoder.SetParameters(8000, bits, -45.0f, channelOption), S_OK);
        decoder.AddEvent(&probe);
    }
    std::vector<float> Decoded() {
        decoder.putSamples(nullptr, 0, 1);
        return probe.samples;
    }
    CBaseDecoder decoder;
    Probe probe;
};

TEST_F(Aggregate, StereoSixteenBitRightChannelAcrossACarriedFrame) {
    Start(16, CBaseDecoder::kRight);
    const auto bytes = Pcm16({10, 20, 30, 40});  // frames (10,20) and (30,40)
    EXPECT_EQ(decoder.InputData2(bytes.data(), 6), S_OK);
    EXPECT_EQ(decoder.CarryCount(), 2);
    EXPECT_EQ(decoder.InputData2(bytes.data() + 6, 2), S_OK);
    EXPECT_EQ(decoder.CarryCount(), 0);
    EXPECT_EQ(Decoded(), (std::vector<float>{S16(20), S16(40)}));
}

TEST_F(Aggregate, MonoSixteenBitOddBuffersLoseNoSample) {
    Start(16, CBaseDecoder::kMono);
    const auto bytes = Pcm16({100, -200, 300, -400, 500});
    decoder.InputData2(bytes.data(), 3);
    decoder.InputData2(bytes.data() + 3, 1);
    decoder.InputData2(bytes.data() + 4, 5);
    decoder.InputData2(bytes.data() + 9, 1);
    EXPECT_EQ(Decoded(), (std::vector<float>{S16(100), S16(-200), S16(300), S16(-400), S16(500)}));
}

TEST_F(Aggregate, EightBitStereoLeftKeepsTheOddByte) {
    Start(8, CBaseDecoder::kLeft);
    const unsigned char bytes[] = {137, 1, 117, 2, 147, 3};
    decoder.InputData2(bytes, 5);
    EXPECT_EQ(decoder.CarryCount(), 1);
    EXPECT_EQ(Decoded(), (std::vector<float>{10 * 0.0078125f, -10 * 0.0078125f}));
    probe.samples.clear();
    decoder.InputData2(bytes + 5, 1);
    EXPECT_EQ(Decoded(), (std::vector<float>{20 * 0.0078125f}));
}

TEST_F(Aggregate, FloatStereoPicksItsChannelOverManySlices) {
    // Long enough to cross the internal slices of the channel split.
    Start(32, CBaseDecoder::kLeft);
    std::vector<float> interleaved;
    std::vector<float> left;
    for (int i = 0; i < 5000; ++i) {
        left.push_back((i % 2 ? 0.25f : -0.25f) + static_cast<float>(i % 1000) * 1e-5f);
        interleaved.push_back(left.back());
        interleaved.push_back(-1.0f);
    }
    std::vector<unsigned char> bytes(interleaved.size() * 4);
    std::memcpy(bytes.data(), interleaved.data(), bytes.size());
    decoder.InputData2(bytes.data(), static_cast<int>(bytes.size()));
    const auto decoded = Decoded();
    ASSERT_EQ(decoded.size(), left.size());
    // The DC estimate stays 0: every block swings far above the silence level.
    EXPECT_EQ(decoded, left);
}

TEST_F(Aggregate, RefusesInputBeforeSetParametersAndBadBuffers) {
    const unsigned char bytes[4] = {};
    EXPECT_EQ(decoder.InputData2(bytes, 4), E_FAIL);
    Start(16, CBaseDecoder::kMono);
    EXPECT_EQ(decoder.InputData2(nullptr, 0), S_OK);
    EXPECT_EQ(decoder.InputData2(bytes, 0), S_OK);
    EXPECT_EQ(decoder.InputData2(nullptr, 4), E_POINTER);
    EXPECT_EQ(decoder.InputData2(bytes, -1), E_INVALIDARG);
    EXPECT_TRUE(Decoded().empty());
}

TEST_F(Aggregate, TwentyFourBitIsAcceptedButDecodesNothing) {
    Start(24, CBaseDecoder::kMono);
    std::vector<unsigned char> bytes(3000, 0x40);
    EXPECT_EQ(decoder.InputData2(bytes.data(), 1000), S_OK);  // 333 frames and one carried byte
    EXPECT_EQ(decoder.CarryCount(), 1);
    EXPECT_TRUE(Decoded().empty());
    EXPECT_EQ(decoder.GetSamplePos(), 0u);
}

TEST_F(Aggregate, SetParametersRejectsWhatCannotBeDecodedSafely) {
    EXPECT_EQ(decoder.SetParameters(8000, 16, -45.0f, 2), E_INVALIDARG);
    EXPECT_EQ(decoder.SetParameters(0, 16, -45.0f, CBaseDecoder::kMono), E_INVALIDARG);
    EXPECT_EQ(decoder.SetParameters(8000, 64, -45.0f, CBaseDecoder::kLeft), E_INVALIDARG);
    EXPECT_EQ(decoder.FrameSize(), 0);  // still unconfigured
}

TEST_F(Aggregate, SetParametersStartsAFreshRun) {
    std::vector<Message> messages;
    decoder.SetHandle({&Record, &messages}, nullptr);
    Start(16, CBaseDecoder::kMono);
    decoder.OnDTMF('5', 10);
    const auto bytes = Pcm16(std::vector<std::int16_t>(151, 0));
    decoder.InputData2(bytes.data(), 301);  // a carried byte too
    EXPECT_EQ(decoder.DTMFText(), "5");
    decoder.SetParameters(8000, 16, -45.0f, CBaseDecoder::kLeft);
    EXPECT_EQ(decoder.DTMFText(), "");
    EXPECT_EQ(decoder.TTYText(), "");
    EXPECT_EQ(decoder.GetSamplePos(), 0u);
    EXPECT_EQ(decoder.CarryCount(), 0);
    EXPECT_EQ(decoder.FrameSize(), 4);
}

TEST_F(Aggregate, EnableXDecRegistersOncePerSwitch) {
    CSampleEvent& dtmf = static_cast<CDecDTMF&>(decoder);
    decoder.EnableXDec(DEC_DTMF, 1);
    decoder.EnableXDec(DEC_DTMF, 1);
    EXPECT_TRUE(decoder.IsRegistered(&dtmf));
    EXPECT_EQ(decoder.EnabledMask(), DEC_DTMF);
    decoder.EnableXDec(DEC_DTMF, 0);
    EXPECT_FALSE(decoder.IsRegistered(&dtmf));
    decoder.EnableXDec(DEC_DTMF, 0);  // already off: nothing to remove
    EXPECT_EQ(decoder.EnabledMask(), 0);

    // A value that is no detector switch only changes the mask.
    decoder.EnableXDec(64, 1);
    EXPECT_EQ(decoder.EnabledMask(), 64);
    EXPECT_FALSE(decoder.IsRegistered(&dtmf));
    decoder.EnableXDec(64, 0);
    EXPECT_EQ(decoder.EnabledMask(), 0);
}

TEST_F(Aggregate, CallerIdStaysRegisteredWhileAnySwitchOfItsGroupIsOn) {
    CSampleEvent& callerId = static_cast<CDecCIDEx&>(decoder);
    decoder.EnableXDec(DEC_CALLERID, 1);
    decoder.EnableXDec(DEC_CIDCW, 1);
    decoder.EnableXDec(DEC_VMWI, 1);
    EXPECT_TRUE(decoder.IsRegistered(&callerId));
    decoder.EnableXDec(DEC_CALLERID, 0);
    decoder.EnableXDec(DEC_CIDCW, 0);
    EXPECT_TRUE(decoder.IsRegistered(&callerId));
    decoder.EnableXDec(DEC_VMWI, 0);
    EXPECT_FALSE(decoder.IsRegistered(&callerId));

    // Registered once: each block reaches it once, ahead of the DTMF detector.
    decoder.EnableXDec(DEC_VMWI, 1);
    decoder.EnableXDec(DEC_CALLERID, 1);
    decoder.EnableXDec(DEC_DTMF, 1);
    EXPECT_LT(callerId.DeliveryOrder(), static_cast<CDecDTMF&>(decoder).DeliveryOrder());
}

TEST(AggregateMessages, MessageWaitingOnlyWhileItsSwitchIsOn) {
    CBaseDecoder decoder;
    std::vector<int> messages;
    decoder.SetHandle({[](void* c, int msg, std::uint64_t, std::int64_t) { static_cast<std::vector<int>*>(c)->push_back(msg); },
                       &messages},
                      nullptr);
    decoder.EnableXDec(DEC_CALLERID, 1);
    decoder.OnVMWI(1, 0x424242);
    decoder.OnCallerID(nullptr, "1", "", nullptr, nullptr, 0);
    EXPECT_EQ(messages, std::vector<int>{DM_CALLERID});
    decoder.EnableXDec(DEC_VMWI, 1);
    decoder.OnVMWI(1, 0x424242);
    EXPECT_EQ(messages, (std::vector<int>{DM_CALLERID, DM_VMWI}));
}

TEST_F(Aggregate, EveryDetectorCarriesItsDeliveryOrderAndIsAttachedByARun) {
    for (const auto& row : CBaseDecoder::Detectors()) {
        CSampleEvent& consumer = row.consumer(decoder);
        EXPECT_EQ(consumer.DeliveryOrder(), row.deliveryOrder) << row.name;
        EXPECT_EQ(consumer.Sample(), nullptr) << row.name;
    }
    decoder.SetParameters(8000, 16, -45.0f, CBaseDecoder::kMono);
    for (const auto& row : CBaseDecoder::Detectors())
        EXPECT_EQ(row.consumer(decoder).Sample(), static_cast<CSample*>(&decoder)) << row.name;
}

TEST(AggregateMessages, KeyReachesTheProcedureAsSignExtendedValues) {
    CBaseDecoder decoder;
    std::vector<Message> messages;
    FakeWindow window;
    decoder.SetHandle({&Record, &messages}, &window);
    decoder.OnDTMF('#', 16000);
    decoder.OnDTMF(static_cast<char>(0xE9), -5);
    EXPECT_EQ(messages, (std::vector<Message>{{DM_DTMF, 0x23, 16000},
                                              {DM_DTMF, 0xFFFFFFFFFFFFFFE9ull, -5}}));
    EXPECT_TRUE(window.posted.empty());  // the procedure wins when both are set
    EXPECT_EQ(decoder.DTMFText(), "#\xE9");
}

TEST(AggregateMessages, WithoutAProcedureKeysArePostedToTheWindow) {
    CBaseDecoder decoder;
    FakeWindow window;
    decoder.SetHandle({}, &window);
    decoder.OnDTMF('7', 42);
    EXPECT_EQ(window.posted, (std::vector<Message>{{DM_DTMF, '7', 42}}));
    EXPECT_TRUE(window.sent.empty());

    decoder.SetHandle({}, nullptr);  // nowhere to go: dropped, still kept in the text
    decoder.OnDTMF('8', 43);
    EXPECT_EQ(window.posted.size(), 1u);
    EXPECT_EQ(decoder.DTMFText(), "78");
}

TEST(AggregateMessages, RecordsTravelBySendAndValuesByPost) {
    for (int msg : {DM_CALLERID, DM_FREQUENCY_DATA, DM_FREQUENCY_DETECTED, DM_TONE, DM_RAW_SAME,
                    DM_VMWI, DM_SAME_ELEMENT})
        EXPECT_EQ(TravelOf(msg), MessageTravel::Send) << msg;
    for (int msg : {DM_DTMF, DM_TTY_CHAR, DM_SILENCE_START, DM_SILENCE_END, DM_ZVEI_KEY, DM_MF_KEY,
                    DM_SIT, DM_FSK_DATA})
        EXPECT_EQ(TravelOf(msg), MessageTravel::Post) << msg;
    // An unsigned 32-bit position is zero-extended, never negative.
    EXPECT_EQ(static_cast<std::int64_t>(std::uint64_t{0x80000000u}), 2147483648LL);
}

}  // namespace
