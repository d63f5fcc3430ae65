// Decoding must not allocate: the whole path from a host buffer through the sample
// stream, the detectors and the event procedure runs under a counting allocator.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "decoder/CBaseDecoder.h"
#include "decoder/DecoderMessages.h"
#include "support/CallerIdHarness.h"
#include "synth/FskDataGenerator.h"
#include "synth/MfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SameGenerator.h"
#include "synth/SignalTimeline.h"
#include "synth/SitGenerator.h"
#include "synth/TtyGenerator.h"

// The replacement operators below pair malloc with free themselves.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

void CountKeys(void* context, int, std::uint64_t, std::int64_t) { ++*static_cast<int*>(context); }

// Buffers of every size from 1 to 5003 bytes, so carries and partial blocks all occur.
void FeedInVaryingPieces(CBaseDecoder& decoder, const std::vector<unsigned char>& pcm) {
    std::size_t at = 0;
    for (int size = 1; at < pcm.size(); size = size * 7 % 5003 + 1) {
        const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(size), pcm.size() - at));
        decoder.InputData2(pcm.data() + at, n);
        at += static_cast<std::size_t>(n);
    }
}

// Keys 0-9 for 50 ms each with 50 ms pauses, as interleaved 16-bit stereo with the keys
// on the right channel.
std::vector<unsigned char> StereoKeys(int seconds) {
    constexpr double kRows[4] = {697, 770, 852, 941};
    constexpr double kCols[4] = {1209, 1336, 1477, 1633};
    std::vector<unsigned char> bytes;
    for (int i = 0; i < seconds * 8000; ++i) {
        const int slot = i / 400;
        const int key = (slot / 2) % 16;
        double x = 0.0;
        if (slot % 2 == 0)
            x = 0.2 * (std::sin(2 * M_PI * kRows[key / 4] * i / 8000.0) +
                       std::sin(2 * M_PI * kCols[key % 4] * i / 8000.0));
        const auto s = static_cast<std::int16_t>(std::lround(x * 32767.0));
        bytes.insert(bytes.end(), {0, 0, static_cast<unsigned char>(s & 0xFF),
                                   static_cast<unsigned char>((s >> 8) & 0xFF)});
    }
    return bytes;
}

TEST(NoAllocation, FeedingDecodingAndReportingAllocateNothing) {
    const auto pcm = StereoKeys(20);
    CBaseDecoder decoder;
    int keys = 0;
    float rows[4], cols[4];
    CDecDTMF::GetDefaultFreqs(rows, cols);
    decoder.SetHandle({&CountKeys, &keys}, nullptr);
    decoder.EnableXDec(DEC_DTMF, 1);
    ASSERT_EQ(decoder.SetParameters(8000, 16, -45.0f, CBaseDecoder::kRight), S_OK);
    decoder.SetFreqs(rows, cols);
    decoder.SetTwist(0, 0);
    ASSERT_EQ(decoder.CDecDTMF::SetParameters(-65, 12, 40, 40, 15.1f, 1.2f, -1), S_OK);

    g_allocations = 0;
    g_counting = true;
    FeedInVaryingPieces(decoder, pcm);
    decoder.putSamples(nullptr, 0, 1);
    g_counting = false;

    EXPECT_EQ(keys, 200);  // 20 s of one key per 100 ms, all reported
    EXPECT_EQ(g_allocations.load(), 0);
}

TEST(NoAllocation, CallerIdReceptionsAllocateNothing) {
    // Ten transmissions in a row: every reception restarts the demodulator, and every
    // message is parsed and reported.
    std::vector<float> signal;
    const auto message = fsk_reference::Message(0x80, std::vector<std::uint8_t>{0x02, 0x04, '5', '5', '5', '1', 0x07, 0x02, 'A', 'B'});
    for (int i = 0; i < 10; ++i) {
        signal.resize(signal.size() + 2000, 0.0f);
        fsk_reference::AppendBits(signal, 8000, {}, fsk_reference::OnHookBits(message));
    }
    std::vector<unsigned char> bytes(signal.size() * sizeof(float));
    std::memcpy(bytes.data(), signal.data(), bytes.size());
    CBaseDecoder decoder;
    int messages = 0;
    decoder.SetHandle({[](void* c, int msg, std::uint64_t wParam, std::int64_t lParam) {
                           if (msg != DM_CALLERID) return;
                           const auto* status = reinterpret_cast<const CallerIDStatus*>(lParam);
                           const auto* strings = reinterpret_cast<const CallerIDStrings*>(wParam);
                           if ((status->iflag & 0xFFFF) == 0 && strings->szNumber != nullptr) ++*static_cast<int*>(c);
                       },
                       &messages},
                      nullptr);
    decoder.EnableXDec(DEC_CALLERID, 1);
    ASSERT_EQ(decoder.SetParameters(8000, 32, -45.0f, CBaseDecoder::kMono), S_OK);
    decoder.SetParameters2(1200, 1200.0f, 2200.0f);
    decoder.SetSampleRate(8000);

    g_allocations = 0;
    g_counting = true;
    for (std::size_t at = 0; at < bytes.size(); at += 4000)
        decoder.InputData2(bytes.data() + at, static_cast<int>(std::min<std::size_t>(4000, bytes.size() - at)));
    g_counting = false;
    EXPECT_EQ(messages, 10);
    EXPECT_EQ(g_allocations.load(), 0);
}

TEST(NoAllocation, ToneAndDataDecodersAllocateNothing) {
    // MF keys, an information tone, a ringback cadence, TTY text, FSK data and a whole SAME
    // message, with the custom tones, MF, paging, SIT, TTY, SAME, FSK data and the
    // spectrum, frequency and silence detector (windowed, segments of every length) all on.
    SignalTimeline t(8000);
    ASSERT_EQ(MfGenerator().Append(t, "*1234567890#"), S_OK);
    ASSERT_EQ(SitGenerator().Append(t, SitGenerator::Kind::kIC), S_OK);
    const SignalTimeline::Tone ringback[] = {{440, -15, 0}, {480, -15, 0}};
    t.AppendTones(ringback, t.SamplesForMs(2000));
    t.AppendSilence(t.SamplesForMs(4000));
    ASSERT_EQ(TtyGenerator().Append(t, "CALL ME 555"), S_OK);
    const std::uint8_t bytes[] = {'d', 'a', 't', 'a'};
    ASSERT_EQ(FskDataGenerator().Append(t, bytes), S_OK);
    SameGenerator::Options same;
    same.trailMs = 500;
    ASSERT_EQ(SameGenerator(same).Append(t, "ZCZC-WXR-TOR-039173+0030-1591829-KEAX/NWS-"), S_OK);
    std::vector<unsigned char> pcm;
    ASSERT_EQ(PcmRenderer({16, 1, 0, 8000}).Render(t, pcm), S_OK);

    CBaseDecoder decoder;
    int events = 0;
    decoder.SetHandle({&CountKeys, &events}, nullptr);
    ASSERT_EQ(decoder.SetParameters(8000, 16, -45.0f, CBaseDecoder::kMono), S_OK);
    for (std::int32_t flag : {DEC_MONITORTONES, DEC_MF, DEC_TONEPAGING, DEC_SIT, DEC_TTY, DEC_SAME, DEC_FSK,
                              DEC_SPECTRUM, DEC_CUSTOMTONE})
        decoder.EnableXDec(flag, 1);
    const std::int32_t pair[] = {440, 480};
    ASSERT_EQ(static_cast<CMonitorTones&>(decoder).AddTone(1, 2000, 4000, pair, 0.0, -36.0, 0.06f), S_OK);
    ASSERT_EQ(static_cast<CMFDetector&>(decoder).SetParameters(), S_OK);
    ASSERT_EQ(static_cast<CZVEIDetector&>(decoder).SetParameters(CZVEIDetector::ZVEI_CCIR, true, 10, -25.0f), S_OK);
    ASSERT_EQ(static_cast<CSITDetector&>(decoder).SetParameters(), S_OK);
    ASSERT_EQ(static_cast<CDecBaudotCode&>(decoder).SetRate(0, 0), S_OK);
    ASSERT_EQ(static_cast<CDecSAME&>(decoder).SetParameters(8000, 1562.5f, 2083.3f, 520.83f), S_OK);
    CDecFSKData& fsk = decoder;
    ASSERT_EQ(static_cast<CDecAFSK&>(fsk).SetParameters(8000, 2200.0f, 1200.0f, 1200.0f), S_OK);
    ASSERT_EQ(fsk.SetCOMMParams(8, 1, 0, 0, 1), 0);
    CDetectToneFreqs& spectrum = decoder;
    ASSERT_EQ(spectrum.SetParameters(1024, 4000), S_OK);
    spectrum.SetWindowType(CFFT::kBlackman);
    spectrum.SetSilenceBlocks(4);

    g_allocations = 0;
    g_counting = true;
    FeedInVaryingPieces(decoder, pcm);
    decoder.putSamples(nullptr, 0, 1);
    decoder.EndOfStream();
    g_counting = false;
    // keys, kind, tone, characters, bytes, elements and header, and spectra and silences
    EXPECT_GT(events, 12 + 1 + 1 + 11 + 4 + 7 + 20);
    EXPECT_EQ(g_allocations.load(), 0);
}

}  // namespace
