// TTY, SAME and FSK data through the control object's runs: the groups applied at the
// start, the last character of a recording that stops without trailing silence reported
// at the end of the run, the run's TTY text, and the same events for any cut of the input
// and on either channel of a stereo stream.
#include "control/CPhoneVornix.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"
#include "decoder/DecoderMessages.h"
#include "synth/FskDataGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SameGenerator.h"
#include "synth/SignalTimeline.h"
#include "synth/TtyGenerator.h"

namespace {

struct Event {
    int msg;
    std::int64_t value;
    std::int64_t position;
    std::string text;
    bool operator==(const Event&) const = default;
};

// Receives the run's messages; records and texts are copied while they are valid.
class Receiver {
public:
    std::vector<Event> events;
    CPhoneVornix control{{&Receiver::Receive, this}};

    Receiver(int channels) {
        control.put_MonitorDTMF(0);
        control.put_MonitorTTY(-1);
        control.put_MonitorSAME(-1);
        control.put_MonitorFSK(-1);
        control.get_FSKParams()->put_StopBits(1);  // 8-N-1
        format.nChannels = static_cast<std::uint16_t>(channels);
        format.nBlockAlign = static_cast<std::uint16_t>(2 * channels);
        format.nAvgBytesPerSec = 8000u * format.nBlockAlign;
    }
    std::string Characters(int msg) const {
        std::string s;
        for (const Event& e : events)
            if (e.msg == msg && (e.value & 0xFF) != 0) s += static_cast<char>(e.value & 0xFF);
        return s;
    }
    void Run(const std::vector<unsigned char>& pcm, std::size_t piece = 0, std::size_t* beforeEnd = nullptr) {
        ASSERT_EQ(control.WaveStreamStart2(&format), S_OK);
        std::mt19937 rng(static_cast<unsigned>(piece));
        for (std::size_t at = 0; at < pcm.size();) {
            std::size_t n = piece == 0 ? pcm.size() : std::uniform_int_distribution<std::size_t>(1, piece)(rng);
            n = std::min(n, pcm.size() - at);
            std::int32_t taken = 0;
            ASSERT_EQ(control._WaveStreamInputEx(pcm.data() + at, 0, static_cast<std::int32_t>(n), &taken), S_OK);
            at += n;
        }
        if (beforeEnd) *beforeEnd = events.size();
        ASSERT_EQ(control.WaveStreamEnd(), S_OK);
    }

private:
    WAVEFORMATEX format{1, 1, 8000, 16000, 2, 16, 0};  // PCM, 16-bit at 8 kHz

    static void Receive(void* context, int msg, std::uint64_t w, std::int64_t l) {
        auto& events = static_cast<Receiver*>(context)->events;
        switch (msg) {
            case DM_TTY_CHAR:
            case DM_FSK_DATA:
                events.push_back({msg, static_cast<std::int64_t>(w), l, ""});
                break;
            case DM_SAME_ELEMENT: {
                const auto* info = reinterpret_cast<const SAMEElementInfo*>(static_cast<std::uintptr_t>(w));
                events.push_back({msg, info->iState, info->pos, reinterpret_cast<const char*>(static_cast<std::uintptr_t>(l))});
                break;
            }
            case DM_RAW_SAME:
                events.push_back({msg, 0, l, reinterpret_cast<const char*>(static_cast<std::uintptr_t>(w))});
                break;
            default:
                break;
        }
    }
};

std::vector<unsigned char> Pcm(const SignalTimeline& t, int channels = 1, int channel = 0) {
    std::vector<unsigned char> pcm;
    PcmRenderer({16, channels, channel, 8000}).Render(t, pcm);
    return pcm;
}

const char* const kHeader = "ZCZC-WXR-TOR-039173+0030-1591829-KEAX/NWS-";

// TTY text, FSK data and a SAME message one after another, each ending without silence.
SignalTimeline Sequence(double tailMs) {
    SignalTimeline t(8000);
    TtyGenerator::Options tty;
    tty.idleAfterMs = tailMs;
    EXPECT_EQ(TtyGenerator(tty).Append(t, "CALL 555"), S_OK);
    t.AppendSilence(t.SamplesForMs(500));
    FskDataGenerator::Options fsk;
    fsk.idleAfterMs = tailMs;
    const std::uint8_t bytes[] = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(FskDataGenerator(fsk).Append(t, bytes), S_OK);
    t.AppendSilence(t.SamplesForMs(500));
    SameGenerator::Options same;
    same.trailMs = 0;
    EXPECT_EQ(SameGenerator(same).Append(t, kHeader), S_OK);
    return t;
}

TEST(FskKindsRun, EveryDecoderReportsWhatItHeard) {
    Receiver r(1);
    r.Run(Pcm(Sequence(300)));
    EXPECT_EQ(r.Characters(DM_TTY_CHAR), "CALL 555");
    // The FSK data decoder frames any FSK: bytes out of the TTY and SAME tones come too.
    EXPECT_NE(r.Characters(DM_FSK_DATA).find("hello"), std::string::npos);
    std::vector<std::int64_t> states;
    for (const Event& e : r.events)
        if (e.msg == DM_SAME_ELEMENT) states.push_back(e.value);
    EXPECT_EQ(states, (std::vector<std::int64_t>{1, 2, 3, 6, 7, 8}));
    ASSERT_EQ(r.events.back().msg, DM_RAW_SAME);
    EXPECT_EQ(r.events.back().text, kHeader);
    std::string tty;
    ASSERT_EQ(r.control.get_ReceivedTTY(&tty), S_OK);
    // Every TTY report's low byte, the shifts' zero bytes included (what the TTY decoder
    // makes of the other signals follows).
    EXPECT_EQ(tty.substr(0, 10), std::string("\0CALL \0" "555", 10));
}

TEST(FskKindsRun, TheEndOfARunReportsWhatNoSilenceFollowed) {
    // The TTY text, the FSK data and the SAME message each stop at their last stop bit or
    // marker, and the recording ends right after the last of them.
    SignalTimeline t(8000);
    TtyGenerator::Options tty;
    tty.idleAfterMs = 0;
    ASSERT_EQ(TtyGenerator(tty).Append(t, "HELLO"), S_OK);
    Receiver ttyOnly(1);
    std::size_t beforeEnd = 0;
    ttyOnly.Run(Pcm(t), 0, &beforeEnd);
    EXPECT_EQ(ttyOnly.Characters(DM_TTY_CHAR), "HELLO");
    EXPECT_EQ(beforeEnd + 1, ttyOnly.events.size());  // the 'O' came with the end of the run

    SignalTimeline f(8000);
    FskDataGenerator::Options fsk;
    fsk.idleAfterMs = 0;
    const std::uint8_t bytes[] = {'o', 'k'};
    ASSERT_EQ(FskDataGenerator(fsk).Append(f, bytes), S_OK);
    Receiver fskOnly(1);
    fskOnly.Run(Pcm(f), 0, &beforeEnd);
    EXPECT_EQ(fskOnly.Characters(DM_FSK_DATA), "ok");
    EXPECT_LT(beforeEnd, fskOnly.events.size());

    SignalTimeline s(8000);
    ASSERT_EQ(SameGenerator().Append(s, kHeader), S_OK);  // no silence after the third marker
    Receiver sameOnly(1);
    sameOnly.Run(Pcm(s), 0, &beforeEnd);
    ASSERT_FALSE(sameOnly.events.empty());
    EXPECT_EQ(sameOnly.events.back().msg, DM_RAW_SAME);
    EXPECT_LT(beforeEnd, sameOnly.events.size());
}

TEST(FskKindsRun, SameEventsForAnyCutAndEitherStereoChannel) {
    const SignalTimeline t = Sequence(300);
    Receiver whole(1);
    whole.Run(Pcm(t));
    ASSERT_FALSE(whole.events.empty());
    for (std::size_t piece : {1u, 7u, 333u, 4096u}) {
        Receiver cut(1);
        cut.Run(Pcm(t), piece);
        EXPECT_EQ(cut.events, whole.events) << piece;
    }
    for (int channel : {0, 1}) {
        Receiver stereo(2);
        ASSERT_EQ(stereo.control.put_DecodeChannel(channel), S_OK);
        stereo.Run(Pcm(t, 2, channel), 999);
        EXPECT_EQ(stereo.events, whole.events) << "channel " << channel;
    }
}

}  // namespace
