// Caller-ID transmissions as a receiver meets them: every rate the stream takes, noise,
// weak lines, tones and clocks off nominal, V.23 and the Japanese variant, any cut of the
// input and either stereo channel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/CallerIdHarness.h"
#include "synth/CallerIdGenerator.h"
#include "synth/CallerIdMessage.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace {

using Standard = CallerIdGenerator::Standard;

std::vector<std::uint8_t> CallerMessage() {
    CallerIdMessage::Caller caller;
    caller.date = "07041830";
    caller.number = "2125550199";
    caller.name = "SMITH ANNA";
    caller.called = "2125550100";
    std::vector<std::uint8_t> message;
    EXPECT_EQ(CallerIdMessage::MdmfCaller(caller, message), S_OK);
    return message;
}

struct Conditions {
    int rate = 8000;
    Standard standard = Standard::kBell202;
    double levelDbfs = -13.0;
    double snrDb = 0.0;  // 0: no noise
    double offsetPercent = 0.0;
    double rateErrorPercent = 0.0;
    // The front end measures the seizure against the silence level: the default -45 dB
    // takes transmissions down to about -27 dBFS; weaker lines need a lower threshold.
    float silenceThresholdDb = -45.0f;
};

SignalTimeline Transmission(const Conditions& c, std::span<const std::uint8_t> message) {
    CallerIdGenerator::Options options;
    options.standard = c.standard;
    options.levelDbfs = c.levelDbfs;
    options.frequencyOffsetPercent = c.offsetPercent;
    options.bitRateErrorPercent = c.rateErrorPercent;
    options.leadMs = 250.0;
    SignalTimeline signal(c.rate);
    EXPECT_EQ(CallerIdGenerator(options).Append(signal, message), S_OK);
    signal.AppendSilence(signal.SamplesForMs(300));
    if (c.snrDb > 0.0) signal.AddNoise(c.levelDbfs - c.snrDb, 1234);
    return signal;
}

std::vector<unsigned char> Render(const SignalTimeline& signal, int bits, int channels = 1, int channel = 0) {
    std::vector<unsigned char> bytes;
    PcmRenderer renderer({bits, channels, channel, signal.SampleRate()});
    EXPECT_EQ(renderer.Render(signal, bytes), S_OK);
    return bytes;
}

std::vector<CallerIdHarness::CallerId> Decode(const SignalTimeline& signal, float silenceThresholdDb = -45.0f) {
    CallerIdHarness::Options options;
    options.silenceThresholdDb = silenceThresholdDb;
    CallerIdHarness h(signal.SampleRate(), 16, options);
    EXPECT_EQ(h.Feed(Render(signal, 16)), S_OK);
    h.Flush();
    return h.Messages();
}

void ExpectCaller(const std::vector<CallerIdHarness::CallerId>& messages, const std::string& what) {
    ASSERT_EQ(messages.size(), 1u) << what;
    EXPECT_EQ(messages[0].status, 0) << what;
    EXPECT_EQ(messages[0].number, "2125550199") << what;
    EXPECT_EQ(messages[0].name, "SMITH ANNA") << what;
    EXPECT_EQ(messages[0].dateTime, "07-04 18:30") << what;
    EXPECT_EQ(messages[0].calledNumber, "2125550100") << what;
}

TEST(CallerIdAcceptance, EveryRateBothStandards) {
    const auto message = CallerMessage();
    for (int rate : {8000, 11025, 16000, 22050, 44100, 48000})
        for (Standard standard : {Standard::kBell202, Standard::kV23}) {
            Conditions c;
            c.rate = rate;
            c.standard = standard;
            c.levelDbfs = -20.0;
            ExpectCaller(Decode(Transmission(c, message)),
                         std::to_string(rate) + " Hz " + (standard == Standard::kV23 ? "V.23" : "Bell 202"));
        }
}

TEST(CallerIdAcceptance, NoiseWeakLinesAndOffNominalTonesAndClocks) {
    const auto message = CallerMessage();
    std::vector<std::pair<std::string, Conditions>> cases;
    for (int rate : {8000, 44100}) {
        cases.push_back({"20 dB SNR", {rate, Standard::kBell202, -13.0, 20.0}});
        cases.push_back({"20 dB SNR V.23", {rate, Standard::kV23, -13.0, 20.0}});
        cases.push_back({"-35 dBFS", {rate, Standard::kBell202, -35.0, 0.0, 0.0, 0.0, -60.0f}});
        cases.push_back({"-35 dBFS V.23", {rate, Standard::kV23, -35.0, 0.0, 0.0, 0.0, -60.0f}});
        cases.push_back({"-25 dBFS at the default threshold", {rate, Standard::kBell202, -25.0}});
        for (double offset : {-1.0, 1.0}) cases.push_back({"tones " + std::to_string(offset) + " %", {rate, Standard::kBell202, -13.0, 0.0, offset}});
        for (double error : {-2.0, 2.0}) cases.push_back({"bit rate " + std::to_string(error) + " %", {rate, Standard::kBell202, -13.0, 0.0, 0.0, error}});
        cases.push_back({"everything at once", {rate, Standard::kBell202, -30.0, 25.0, 1.0, -2.0, -55.0f}});
    }
    for (const auto& [what, c] : cases)
        ExpectCaller(Decode(Transmission(c, message), c.silenceThresholdDb), what + " at " + std::to_string(c.rate));
}

TEST(CallerIdAcceptance, LevelLimitsOfTheSeizureDetector) {
    const auto message = CallerMessage();
    // Below the seizure threshold, which follows the silence level.
    Conditions weak;
    weak.levelDbfs = -35.0;
    EXPECT_TRUE(Decode(Transmission(weak, message)).empty());
    // At 48 kHz a 100-sample sub-block lasts 2 ms: the centre resonator (1700 Hz) then
    // hears a loud V.23 mark (1300 Hz) as seizure energy and never sees the seizure end.
    Conditions loud;
    loud.rate = 48000;
    loud.standard = Standard::kV23;
    EXPECT_TRUE(Decode(Transmission(loud, message)).empty());
    loud.levelDbfs = -20.0;
    ExpectCaller(Decode(Transmission(loud, message)), "V.23 at 48 kHz, -20 dBFS");
}

TEST(CallerIdAcceptance, JapaneseOnlyAfterARing) {
    std::vector<std::uint8_t> message;
    ASSERT_EQ(CallerIdMessage::Japanese("0312345678", message), S_OK);
    for (int rate : {8000, 16000, 48000}) {
        Conditions c;
        c.rate = rate;
        c.standard = Standard::kJapanese;
        const auto messages = Decode(Transmission(c, message));
        ASSERT_EQ(messages.size(), 1u) << rate;
        EXPECT_EQ(messages[0].number, "0312345678");
        EXPECT_FALSE(messages[0].name);
        EXPECT_FALSE(messages[0].dateTime);
    }
    // The same V.23 bits without the ring before them frame nothing: they are not the
    // standard formats and no seizure opens a standard reception.
    CallerIdGenerator::Options options;
    options.standard = Standard::kV23;
    options.seizureBits = 0;
    options.markBits = 100;
    SignalTimeline signal(8000);
    signal.AppendSilence(2000);
    ASSERT_EQ(CallerIdGenerator(options).Append(signal, message), S_OK);
    signal.AppendSilence(2000);
    EXPECT_TRUE(Decode(signal).empty());
}

TEST(CallerIdAcceptance, MessageWaitingInBothFormsOnlyWhileSwitchedOn) {
    for (bool on : {true, false}) {
        std::vector<std::uint8_t> threeByte, multipleData;
        ASSERT_EQ(CallerIdMessage::MessageWaiting(on, threeByte), S_OK);
        ASSERT_EQ(CallerIdMessage::MdmfMessageWaiting(on, 4, multipleData), S_OK);
        for (const auto* message : {&threeByte, &multipleData}) {
            const auto signal = Transmission({}, *message);
            for (bool vmwi : {true, false}) {
                CallerIdHarness::Options options;
                options.vmwi = vmwi;
                CallerIdHarness h(8000, 16, options);
                h.Feed(Render(signal, 16));
                if (!vmwi) {
                    EXPECT_TRUE(h.Vmwis().empty());
                    continue;
                }
                ASSERT_EQ(h.Vmwis().size(), 2u);
                EXPECT_EQ(h.Vmwis()[0].status, 4);  // the type byte's notice
                EXPECT_EQ(h.Vmwis()[1].status, on ? 1 : 0);
                // Stamped with the demodulator's own count, which starts with the reception.
                EXPECT_GT(h.Vmwis()[1].position, 0);
                EXPECT_LT(h.Vmwis()[1].position, 8000 * 0.25);
            }
        }
    }
}

TEST(CallerIdAcceptance, PositionIsTheBlockInWhichTheMessageEnded) {
    const auto message = CallerMessage();
    Conditions c;
    const auto signal = Transmission(c, message);
    CallerIdGenerator::Options options;
    options.leadMs = 250.0;
    const auto end = static_cast<std::int64_t>(CallerIdGenerator(options).SampleCount(8000, message.size()));
    const auto messages = Decode(signal);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].position % 100, 0);
    // The last stop bit is decided when its mark run is flushed, within the trailing
    // marks or at the silence after them.
    const std::int64_t lastStopBit = end - 10 * 8000 / 1200;
    EXPECT_GE(messages[0].position, lastStopBit - 100);
    EXPECT_LE(messages[0].position, end + 100);
}

TEST(CallerIdAcceptance, IdenticalEventsForAnyCutAndEitherStereoChannel) {
    const auto message = CallerMessage();
    SignalTimeline signal = Transmission({}, message);
    std::vector<std::uint8_t> second;
    ASSERT_EQ(CallerIdMessage::Sdmf("12312359", "18005550000", second), S_OK);
    CallerIdGenerator::Options options;
    SignalTimeline more(8000);
    ASSERT_EQ(CallerIdGenerator(options).Append(more, second), S_OK);
    signal.AppendSamples(more.Samples());
    signal.AppendSilence(800);

    const auto reference = [&] {
        CallerIdHarness h(8000, 16);
        h.Feed(Render(signal, 16));
        return std::make_pair(h.MessageIds(), h.AllCallerIds());
    }();
    ASSERT_EQ(reference.second.size(), 4u);  // two format notices, two messages
    const auto same = [&](CallerIdHarness& h, const std::string& what) {
        EXPECT_EQ(h.MessageIds(), reference.first) << what;
        ASSERT_EQ(h.AllCallerIds().size(), reference.second.size()) << what;
        for (std::size_t i = 0; i < reference.second.size(); ++i) {
            const auto& a = h.AllCallerIds()[i];
            const auto& b = reference.second[i];
            EXPECT_EQ(a.position, b.position) << what;
            EXPECT_EQ(a.status, b.status) << what;
            EXPECT_EQ(a.number, b.number) << what;
            EXPECT_EQ(a.raw, b.raw) << what;
        }
    };
    const auto bytes = Render(signal, 16);
    for (std::size_t maxPiece : {1u, 3u, 101u, 4096u}) {
        CallerIdHarness h(8000, 16);
        h.FeedInPieces(bytes, maxPiece, static_cast<std::uint32_t>(maxPiece));
        same(h, "pieces up to " + std::to_string(maxPiece) + " bytes");
    }
    for (int channel : {0, 1}) {
        CallerIdHarness::Options stereo;
        stereo.channelOption = channel;
        CallerIdHarness h(8000, 16, stereo);
        h.FeedInPieces(Render(signal, 16, 2, channel), 777, 5);
        same(h, "stereo channel " + std::to_string(channel));
    }
}

TEST(CallerIdAcceptance, SampleWidthsGiveTheSameMessage) {
    const auto signal = Transmission({}, CallerMessage());
    for (int bits : {8, 16, 32}) {
        CallerIdHarness h(8000, bits);
        h.Feed(Render(signal, bits));
        ExpectCaller(h.Messages(), std::to_string(bits) + " bits");
    }
}

}  // namespace
