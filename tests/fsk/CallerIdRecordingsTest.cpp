// Caller-ID recordings modulated by minimodem, a modem we did not write (the commands are in
// tests/fixtures/caller_id/make.sh), decoded by the library. They catch the faults that our
// own generators and our decoder could share: a tone, bit clock or framing convention that
// both sides get wrong the same way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/CallerIdHarness.h"

namespace {

const std::filesystem::path kFixtures = std::filesystem::path(VORNIX_SOURCE_DIR) / "tests/fixtures/caller_id";
constexpr int kRate = 8000;
constexpr double kSamplesPerBit = kRate / 1200.0;
// minimodem opens and closes every run of bytes with two mark bits.
constexpr int kLeaderBits = 2;
constexpr int kTrailerBits = 2;
// The decoder hands its blocks of 100 samples to the caller-ID front end and stamps an
// event with the position of the block in which it was decided.
constexpr int kBlock = 100;

struct Recording {
    std::vector<unsigned char> pcm;  // 16-bit little-endian mono, as the data chunk holds it
    std::vector<float> samples;      // the same at full scale ±1
    std::size_t signalStart = 0;     // first and one past the last sample of the FSK
    std::size_t signalEnd = 0;
};

std::uint32_t Le(const std::vector<char>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

// Reads a fixture. Only what make.sh writes is accepted: plain PCM, 16 bits, one channel,
// 8000 Hz; anything else means the fixture is not the one these tests describe.
Recording Load(const std::string& name) {
    Recording r;
    std::ifstream in(kFixtures / name, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_GT(file.size(), 44u) << name;
    if (file.size() <= 44 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
        ADD_FAILURE() << name << " is not a wave file";
        return r;
    }
    bool formatSeen = false;
    for (std::size_t at = 12; at + 8 <= file.size();) {
        const std::string id(file.data() + at, 4);
        const std::size_t size = Le(file, at + 4, 4);
        const std::size_t body = at + 8;
        if (body + size > file.size()) break;
        if (id == "fmt ") {
            EXPECT_EQ(Le(file, body, 2), 1u) << name << ": PCM";
            EXPECT_EQ(Le(file, body + 2, 2), 1u) << name << ": one channel";
            EXPECT_EQ(Le(file, body + 4, 4), static_cast<std::uint32_t>(kRate)) << name;
            EXPECT_EQ(Le(file, body + 14, 2), 16u) << name << ": 16 bits";
            formatSeen = true;
        } else if (id == "data") {
            r.pcm.assign(file.begin() + static_cast<std::ptrdiff_t>(body),
                         file.begin() + static_cast<std::ptrdiff_t>(body + size));
        }
        at = body + size + (size & 1);
    }
    EXPECT_TRUE(formatSeen) << name;
    for (std::size_t i = 0; i + 1 < r.pcm.size(); i += 2) {
        const auto v = static_cast<std::int16_t>(r.pcm[i] | (r.pcm[i + 1] << 8));
        r.samples.push_back(static_cast<float>(v) / 32767.0f);
    }
    // The FSK is the part above a quarter of its peak: sox put exact silence around it.
    float peak = 0.0f;
    for (float v : r.samples) peak = std::max(peak, std::fabs(v));
    const auto loud = [&](float v) { return std::fabs(v) > peak / 4; };
    r.signalStart = static_cast<std::size_t>(std::find_if(r.samples.begin(), r.samples.end(), loud) - r.samples.begin());
    r.signalEnd = r.samples.size() -
                  static_cast<std::size_t>(std::find_if(r.samples.rbegin(), r.samples.rend(), loud) - r.samples.rbegin());
    return r;
}

double BitsToSamples(double bits) { return bits * kSamplesPerBit; }

// Position of an event decided when the bit at sample `end` had arrived: the block in which
// the decision fell, at most a character's worth of bits later (a run of marks is decided
// when it ends or after eight bit periods).
void ExpectBlockAfter(std::int32_t position, double end, const std::string& what) {
    EXPECT_GT(position, end - kBlock - kSamplesPerBit) << what;
    EXPECT_LE(position, end + BitsToSamples(10)) << what;
}

std::vector<std::uint8_t> Param(std::uint8_t type, const std::string& value) {
    std::vector<std::uint8_t> p(value.size() + 2);
    p[0] = type;
    p[1] = static_cast<std::uint8_t>(value.size());
    std::copy(value.begin(), value.end(), p.begin() + 2);
    return p;
}

std::vector<std::uint8_t> Mdmf(const std::vector<std::vector<std::uint8_t>>& params) {
    std::vector<std::uint8_t> data;
    for (const auto& p : params) data.insert(data.end(), p.begin(), p.end());
    return fsk_reference::Message(0x80, data);
}

// The Bell 202 recording: 16 bytes 0x55 of seizure, 8 bytes 0xFF standing in for the mark
// signal, the message, all in one minimodem run.
TEST(CallerIdRecordings, Bell202MultipleDataMessageGivesEveryField) {
    const Recording r = Load("bell202_mdmf.wav");
    const auto message = Mdmf({Param(0x01, "03141559"), Param(0x02, "6175550123"), Param(0x07, "PINE HILL INN"),
                               Param(0x03, "5550187")});
    const int preambleBits = kLeaderBits + 16 * 10 + 8 * 10;
    const double fskBits = preambleBits + 10.0 * static_cast<double>(message.size()) + kTrailerBits;
    // The recording is what make.sh says it is; the positions below are worked out from it.
    ASSERT_NEAR(static_cast<double>(r.signalEnd - r.signalStart), BitsToSamples(fskBits), 3.0);

    CallerIdHarness harness(kRate, 16);
    harness.Feed(r.pcm);
    harness.Flush();

    const auto& all = harness.AllCallerIds();
    ASSERT_EQ(all.size(), 2u) << "the format notice, then the message";
    EXPECT_EQ(all[0].status, CDecCIDFMT::kMdmfStarted);
    ExpectBlockAfter(all[0].position, static_cast<double>(r.signalStart) + BitsToSamples(preambleBits + 10),
                     "the notice comes with the type byte");

    const auto& m = all[1];
    EXPECT_EQ(m.status, CDecCIDFMT::kDecoded);
    EXPECT_EQ(m.dateTime, "03-14 15:59");
    EXPECT_EQ(m.number, "6175550123");
    EXPECT_EQ(m.name, "PINE HILL INN");
    EXPECT_EQ(m.calledNumber, "5550187");
    EXPECT_EQ(m.rawCount, static_cast<std::int32_t>(message.size()));
    EXPECT_EQ(m.raw, message);
    ExpectBlockAfter(m.position, static_cast<double>(r.signalEnd) - BitsToSamples(kTrailerBits),
                     "the message is reported where its last stop bit ended");
    EXPECT_TRUE(harness.Vmwis().empty());
}

// The V.23 recording: seizure, a pure mark signal and the message from three minimodem runs.
// The decoder is set up for Bell 202, as it is by default, and must notice the other tones
// by itself; the next call, on Bell 202 tones, must still be received on those.
TEST(CallerIdRecordings, V23MessageIsFoundWithoutBeingAskedForAndTheNextBell202CallStillIs) {
    const Recording r = Load("v23_mdmf.wav");
    const auto message = Mdmf({Param(0x01, "11050945"), Param(0x02, "0155501234"), Param(0x07, "CAF\xC9 DU PONT")});
    // Seizure run, mark run (no start bit, eight data bits of 0xFF, 86 stop bits and two
    // marks minimodem adds), then the message run's leader.
    const int preambleBits = (kLeaderBits + 16 * 10 + kTrailerBits) + (8 + 86 + 2) + kLeaderBits;
    const double fskBits = preambleBits + 10.0 * static_cast<double>(message.size()) + kTrailerBits;
    ASSERT_NEAR(static_cast<double>(r.signalEnd - r.signalStart), BitsToSamples(fskBits), 3.0);

    CallerIdHarness harness(kRate, 16);
    harness.Feed(r.pcm);
    const auto v23 = harness.Messages();
    ASSERT_EQ(v23.size(), 1u);
    const auto& m = v23[0];
    EXPECT_EQ(m.status, CDecCIDFMT::kDecoded);
    EXPECT_EQ(m.dateTime, "11-05 09:45");
    EXPECT_EQ(m.number, "0155501234");
    EXPECT_EQ(m.name, "CAF\xC9 DU PONT") << "names are handed on as the line's 8-bit text";
    EXPECT_EQ(m.calledNumber, std::nullopt);
    EXPECT_EQ(m.raw, message);
    ExpectBlockAfter(m.position, static_cast<double>(r.signalEnd) - BitsToSamples(kTrailerBits), "message end");

    const Recording bell = Load("bell202_mdmf.wav");
    harness.Feed(bell.pcm);
    harness.Flush();
    const auto both = harness.Messages();
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1].number, "6175550123");
    EXPECT_EQ(both[1].status, CDecCIDFMT::kDecoded);
    // The position runs on across the two recordings.
    ExpectBlockAfter(both[1].position,
                     static_cast<double>(r.samples.size() + bell.signalEnd) - BitsToSamples(kTrailerBits),
                     "second message end");
}

TEST(CallerIdRecordings, MessageWaitingOnReachesOnlyADecoderThatMonitorsIt) {
    const Recording r = Load("bell202_vmwi.wav");
    const double fskBits = kLeaderBits + 16 * 10 + 8 * 10 + 6 * 10 + kTrailerBits;
    ASSERT_NEAR(static_cast<double>(r.signalEnd - r.signalStart), BitsToSamples(fskBits), 3.0);

    CallerIdHarness monitoring(kRate, 16);
    monitoring.Feed(r.pcm);
    monitoring.Flush();
    ASSERT_EQ(monitoring.Vmwis().size(), 2u) << "the notice, then the indication";
    EXPECT_EQ(monitoring.Vmwis()[0].status, CDecCIDFMT::kVmwiStarted);
    EXPECT_EQ(monitoring.Vmwis()[1].status, CDecCIDFMT::kVmwiOn);
    EXPECT_EQ(monitoring.Vmwis()[1].data, CDecCIDFMT::kVmwiOnWord);
    EXPECT_TRUE(monitoring.AllCallerIds().empty()) << "message waiting is not caller ID";

    CallerIdHarness::Options callerIdOnly;
    callerIdOnly.vmwi = false;
    CallerIdHarness notMonitoring(kRate, 16, callerIdOnly);
    notMonitoring.Feed(r.pcm);
    notMonitoring.Flush();
    EXPECT_TRUE(notMonitoring.Vmwis().empty());
    EXPECT_TRUE(notMonitoring.AllCallerIds().empty());
}

}  // namespace
