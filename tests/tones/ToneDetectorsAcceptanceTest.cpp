// The MF, paging, special-information-tone and custom tone detectors in the decoder
// aggregate, fed 16-bit PCM built here from sums of sines: every MF key, every tone of
// every paging set, all seven information tones, a ringback cadence. The same events
// must come for any cut of the input, from either channel of a stereo stream and at every
// common sample rate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "decoder/DecoderMessages.h"
#include "support/DecoderHarness.h"

namespace {

struct Segment {
    std::vector<double> hz;  // empty: silence
    double ms;
    double db = -12.0;
};

std::vector<double> Render(int rate, const std::vector<Segment>& segments) {
    std::vector<double> out;
    for (const Segment& s : segments) {
        const auto n = static_cast<std::size_t>(std::lround(s.ms * rate / 1000.0));
        for (std::size_t i = 0; i < n; ++i) {
            double x = 0.0;
            for (double f : s.hz) x += std::pow(10.0, s.db / 20.0) * std::sin(2.0 * M_PI * f * static_cast<double>(i) / rate);
            out.push_back(x);
        }
    }
    return out;
}

void Put16(std::vector<unsigned char>& pcm, double x) {
    const auto v = static_cast<std::int16_t>(std::lround(std::clamp(x, -1.0, 1.0) * 32767.0));
    pcm.push_back(static_cast<unsigned char>(v & 0xFF));
    pcm.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

// Mono, or stereo with the signal on one channel and quiet noise on the other.
std::vector<unsigned char> Pcm(const std::vector<double>& signal, int channelOption = CBaseDecoder::kMono) {
    std::vector<unsigned char> pcm;
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 0.002);
    for (double x : signal) {
        if (channelOption == CBaseDecoder::kRight) Put16(pcm, noise(rng));
        Put16(pcm, x);
        if (channelOption == CBaseDecoder::kLeft) Put16(pcm, noise(rng));
    }
    return pcm;
}

struct Report {
    int msg;
    int value;  // key, kind or tone identifier
    double seconds;
};

enum Detectors : unsigned { kMF = 1, kPaging = 2, kSIT = 4, kRingback = 8 };

// Decodes with the chosen detectors (DTMF off), in pieces of random size when asked.
std::vector<Report> Decode(int rate, const std::vector<double>& signal, unsigned detectors,
                           CZVEIDetector::ZVEI_TYPE type = CZVEIDetector::ZVEI_CCIR,
                           int channelOption = CBaseDecoder::kMono, unsigned pieces = 0,
                           double ringbackMaxDb = 0.0,
                           CMonitorTones::BlockLayout layout = CMonitorTones::BlockLayout::kExact) {
    DecoderHarness h(rate, 16, channelOption);
    CBaseDecoder& d = h.Decoder();
    d.EnableXDec(DEC_DTMF, 0);
    static_cast<CMonitorTones&>(d).SetBlockLayout(layout);
    static_cast<CMFDetector&>(d).SetBlockLayout(layout);
    static_cast<CZVEIDetector&>(d).SetBlockLayout(layout);
    static_cast<CSITDetector&>(d).SetBlockLayout(layout);
    if (detectors & kMF) {
        d.EnableXDec(DEC_MF, 1);
        EXPECT_EQ(static_cast<CMFDetector&>(d).SetParameters(), S_OK);
    }
    if (detectors & kPaging) {
        d.EnableXDec(DEC_TONEPAGING, 1);
        EXPECT_EQ(static_cast<CZVEIDetector&>(d).SetParameters(type, true, 10, -25.0f), S_OK);
    }
    if (detectors & kSIT) {
        d.EnableXDec(DEC_SIT, 1);
        EXPECT_EQ(static_cast<CSITDetector&>(d).SetParameters(), S_OK);
    }
    if (detectors & kRingback) {
        d.EnableXDec(DEC_MONITORTONES, 1);
        const std::int32_t pair[] = {440, 480};
        EXPECT_EQ(static_cast<CMonitorTones&>(d).AddTone(77, 2000, 4000, pair, ringbackMaxDb, -30.0, 0.06f), S_OK);
    }
    // A tone record is valid only during its message: its position is taken then.
    std::vector<std::uint32_t> tonePositions;
    h.onEvent = [&](const DecoderHarness::Event& e) {
        if (e.msg == DM_TONE)
            tonePositions.push_back(reinterpret_cast<const monitortone_tag*>(static_cast<std::uintptr_t>(e.wParam))->sampleCounter);
    };
    const std::vector<unsigned char> pcm = Pcm(signal, channelOption);
    if (pieces == 0) {
        EXPECT_EQ(h.Feed(pcm), S_OK);
    } else {
        std::mt19937 rng(pieces);
        h.FeedInPieces(pcm, [&] { return std::uniform_int_distribution<std::size_t>(1, 3000)(rng); });
    }
    h.Flush();
    std::vector<Report> reports;
    std::size_t tones = 0;
    for (const auto& e : h.Events()) {
        int value = static_cast<int>(e.wParam & 0xFF);
        double position = static_cast<double>(e.lParam);
        if (e.msg == DM_SIT) value = static_cast<int>(e.wParam);
        if (e.msg == DM_TONE) {
            value = 77;  // the one custom tone defined
            position = tonePositions[tones++];
        }
        reports.push_back({e.msg, value, position / rate});
    }
    return reports;
}

std::string Keys(const std::vector<Report>& reports, int msg) {
    std::string s;
    for (const Report& r : reports)
        if (r.msg == msg) s += static_cast<char>(r.value);
    return s;
}

// MF: KP, the ten digits, ST, then KP with each of ST', ST'', ST''', 68 ms on and off.
std::vector<Segment> MfKeys() {
    const std::vector<std::pair<double, double>> pairs = {
        {1100, 1700}, {700, 900}, {700, 1100}, {900, 1100}, {700, 1300}, {900, 1300}, {1100, 1300},
        {700, 1500}, {900, 1500}, {1100, 1500}, {1300, 1500}, {1500, 1700},
        {1100, 1700}, {900, 1700}, {1100, 1700}, {1300, 1700}, {1100, 1700}, {700, 1700}};
    std::vector<Segment> s;
    for (const auto& [a, b] : pairs) {
        s.push_back({{a, b}, 68});
        s.push_back({{}, 68});
    }
    return s;
}
constexpr const char* kMfExpected = "*1234567890#*A*B*C";

// One sequence of each kind: first and second segment (frequency, length), the 1776 Hz
// third tone, then half a second of quiet.
std::vector<Segment> SitKinds() {
    const double kShort = 276, kLong = 380;
    const double kinds[7][4] = {{913, kShort, 1428, kLong}, {985, kLong, 1370, kShort}, {985, kLong, 1428, kLong},
                                {913, kShort, 1370, kShort}, {985, kShort, 1370, kLong}, {913, kLong, 1370, kLong},
                                {913, kLong, 1428, kShort}};
    std::vector<Segment> s;
    for (const auto& k : kinds) {
        s.push_back({{k[0]}, k[1], -20});
        s.push_back({{k[2]}, k[3], -20});
        s.push_back({{1776}, 380, -20});
        s.push_back({{}, 500});
    }
    return s;
}

// Ringback: 440 + 480 Hz, 2 s on, 4 s off, three times.
std::vector<Segment> Ringback() {
    std::vector<Segment> s;
    for (int i = 0; i < 3; ++i) {
        s.push_back({{440, 480}, 2000, -15});
        s.push_back({{}, 4000});
    }
    return s;
}

TEST(ToneDetectorsAcceptance, EveryMfKeyWithKpAndTheFourStVariants) {
    EXPECT_EQ(Keys(Decode(8000, Render(8000, MfKeys()), kMF), DM_MF_KEY), kMfExpected);
}

TEST(ToneDetectorsAcceptance, EveryToneOfEveryPagingSet) {
    const double table[7][16] = {
        {600, 741, 882, 1023, 1164, 1305, 1446, 1587, 1728, 1869, 2151, 2435, 2010, 2295, 459, 0},
        {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 2400, 930, 2247, 991, 2110, 1055},
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 2800, 810, 970, 885, 2600, 680},
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 885, 810, 740, 680, 970, 2600},
        {2200, 970, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 825, 740, 2600, 885, 2400, 680},
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 970, 810, 2800, 885, 2600, 680},
        {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 930, 2247, 991, 2110, 2400, 0}};
    const double onMs[7] = {40, 100, 70, 70, 70, 70, 40};
    for (int type = 0; type < 7; ++type) {
        std::vector<Segment> s;
        std::string expected;
        for (int i = 0; i < 16; ++i) {
            if (table[type][i] == 0) continue;
            s.push_back({{table[type][i]}, onMs[type], -10});
            expected += "0123456789ABCDEF"[i];
        }
        s.push_back({{}, 200});
        EXPECT_EQ(Keys(Decode(8000, Render(8000, s), kPaging, static_cast<CZVEIDetector::ZVEI_TYPE>(type)), DM_ZVEI_KEY),
                  expected)
            << "type " << type;
    }
}

TEST(ToneDetectorsAcceptance, AllSevenInformationTones) {
    const auto reports = Decode(8000, Render(8000, SitKinds()), kSIT);
    std::vector<int> kinds;
    for (const Report& r : reports) kinds.push_back(r.value);
    EXPECT_EQ(kinds, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
}

TEST(ToneDetectorsAcceptance, RingbackCadenceFoundByACustomToneUnlessItBreaksTheLimits) {
    const auto found = Decode(8000, Render(8000, Ringback()), kRingback);
    ASSERT_EQ(found.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(found[i].msg, DM_TONE);
        EXPECT_EQ(found[i].value, 77);
        // Reported once the tone has been off for the off-time: 4 s (at 92 %) after its end.
        EXPECT_NEAR(found[i].seconds, 6.0 * i + 2.0 + 3.68, 0.1) << i;
    }
    EXPECT_TRUE(Decode(8000, Render(8000, Ringback()), kRingback, CZVEIDetector::ZVEI_CCIR, CBaseDecoder::kMono, 0,
                       -25.0)
                    .empty());  // each tone at about -15 dB is above the -25 dB upper limit
}

// Everything at once: MF keys, CCIR digits, an information tone and ringback.
std::vector<Segment> Mixture() {
    std::vector<Segment> s = MfKeys();
    for (double f : {1124.0, 1197.0, 1275.0, 1358.0, 1446.0}) s.push_back({{f}, 100, -10});
    s.push_back({{}, 300});
    for (const Segment& k : SitKinds()) s.push_back(k);
    for (const Segment& r : Ringback()) s.push_back(r);
    return s;
}
constexpr unsigned kAll = kMF | kPaging | kSIT | kRingback;

TEST(ToneDetectorsAcceptance, SameEventsForAnyCutAndEitherStereoChannel) {
    const std::vector<double> signal = Render(8000, Mixture());
    const auto whole = Decode(8000, signal, kAll);
    EXPECT_EQ(Keys(whole, DM_MF_KEY), kMfExpected);
    // The paging detector also hears single tones of the MF pairs; the digits are there.
    EXPECT_NE(Keys(whole, DM_ZVEI_KEY).find("12345"), std::string::npos);
    const auto same = [&](const std::vector<Report>& other, const char* what) {
        ASSERT_EQ(other.size(), whole.size()) << what;
        for (std::size_t i = 0; i < whole.size(); ++i) {
            EXPECT_EQ(other[i].msg, whole[i].msg) << what << " " << i;
            EXPECT_EQ(other[i].value, whole[i].value) << what << " " << i;
            EXPECT_EQ(other[i].seconds, whole[i].seconds) << what << " " << i;
        }
    };
    same(Decode(8000, signal, kAll, CZVEIDetector::ZVEI_CCIR, CBaseDecoder::kMono, 11), "random cuts");
    same(Decode(8000, signal, kAll, CZVEIDetector::ZVEI_CCIR, CBaseDecoder::kLeft, 12), "left channel");
    same(Decode(8000, signal, kAll, CZVEIDetector::ZVEI_CCIR, CBaseDecoder::kRight, 13), "right channel");
}

// With the exact layout blocks stop growing at 192 samples: at 44.1 kHz a block lasts
// 4.4 ms and resolves 230 Hz, too coarse for MF's 200 Hz grid. The rate-scaled layout
// gives every rate the 8 kHz blocks in time, and the 8 kHz events.
TEST(ToneDetectorsAcceptance, EveryRateReportsWhatEightKilohertzReportsWithRateScaledBlocks) {
    std::vector<Segment> paging;
    for (double f : {1124.0, 1197.0, 1275.0, 1358.0, 1446.0}) paging.push_back({{f}, 100, -10});
    paging.push_back({{}, 300});
    const std::pair<std::vector<Segment>, unsigned> cases[] = {
        {MfKeys(), kMF}, {paging, kPaging}, {SitKinds(), kSIT}, {Ringback(), kRingback}};
    for (const auto& [segments, detector] : cases) {
        const auto reference = Decode(8000, Render(8000, segments), detector);
        ASSERT_FALSE(reference.empty());
        for (int rate : {8000, 16000, 44100, 48000}) {
            const auto reports = Decode(rate, Render(rate, segments), detector, CZVEIDetector::ZVEI_CCIR,
                                        CBaseDecoder::kMono, 0, 0.0, CMonitorTones::BlockLayout::kRateScaled);
            ASSERT_EQ(reports.size(), reference.size()) << rate << " detector " << detector;
            for (std::size_t i = 0; i < reports.size(); ++i) {
                EXPECT_EQ(reports[i].value, reference[i].value) << rate << " " << i;
                // Where the blocks fall on the tones, and the lag of the smoothed levels at a
                // tone change, each move a report by up to one block (16 to 24 ms).
                EXPECT_NEAR(reports[i].seconds, reference[i].seconds, 0.035) << rate << " " << i;
            }
        }
    }
    // The exact layout at 44.1 kHz cannot tell the MF pairs apart.
    EXPECT_NE(Keys(Decode(44100, Render(44100, MfKeys()), kMF), DM_MF_KEY), kMfExpected);
}

}  // namespace
