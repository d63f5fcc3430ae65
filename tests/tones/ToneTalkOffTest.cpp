// Talk-off of the detectors on the tone monitor: ten minutes of speech in eight languages
// and ten voices with MF, special information tones and paging listening (paging in each
// of its seven tone sets), and the DTMF talk-off's recording (the same speech with DTMF
// keys after every reading) with MF and paging listening. Every false event is printed
// with the voice and the position it fell at.
//
// Speech must never make a special information tone: it takes three steady tones in a row
// for a third of a second each. MF and paging are single blocks of steady tones, so held
// vowels and DTMF pairs can make them; their counts are recorded, not asserted. After the
// speech each decoder hears a genuine signal of each detector it runs, so a count of none
// cannot come from a detector that stopped listening.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "decoder/DecoderMessages.h"
#include "support/DecoderHarness.h"
#include "support/TalkOffSpeech.h"
#include "synth/MfGenerator.h"
#include "synth/PagingGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"
#include "synth/SitGenerator.h"

namespace {

constexpr int kRate = talkoff::kRate;
constexpr double kMinSeconds = 600.0;
using Piece = talkoff::SpeechWithKeys::Piece;

struct Recording {
    std::string skipReason;
    std::vector<Piece> pieces;
    double seconds = 0.0;
    std::int64_t Samples() const {
        return pieces.empty() ? 0 : pieces.back().start + static_cast<std::int64_t>(pieces.back().pcm.size() / 2);
    }
    const Piece* PieceAt(std::int64_t position) const {
        const Piece* found = nullptr;
        for (const Piece& p : pieces)
            if (p.start <= position) found = &p;
        return found;
    }
};

// The readings one after another, without the keys, until ten minutes are spoken.
const Recording& SpeechAlone() {
    static const Recording recording = [] {
        Recording r;
        std::int64_t position = 0;
        for (std::size_t n = 0; r.seconds < kMinSeconds; ++n) {
            const talkoff::Spoken* spoken = talkoff::SpokenReading(n, r.skipReason);
            if (spoken == nullptr) return r;
            r.pieces.push_back({position, spoken->reading->voice, false, spoken->pcm});
            position += static_cast<std::int64_t>(spoken->pcm.size() / 2);
            r.seconds += static_cast<double>(spoken->pcm.size() / 2) / kRate;
        }
        return r;
    }();
    return recording;
}

const Recording& WithKeys() {
    static const Recording recording = [] {
        const auto& s = talkoff::SpeechAndKeys();
        return Recording{s.skipReason, s.pieces, s.seconds};
    }();
    return recording;
}

struct Listening {
    PagingGenerator::Type paging;
    bool mf;
    bool sit;
};

// A genuine signal after the speech, and the stretch of samples in which its detector
// must report it.
struct Genuine {
    int msg;
    std::int64_t from, to;
    std::string expected;
};

struct Outcome {
    int mf = 0, paging = 0, sit = 0;
    std::map<std::string, int> inKeys;  // per detector, the false events inside a burst of DTMF keys
    // Per detector, per piece of the recording: what was reported and at how many seconds.
    std::map<std::string, std::map<std::string, std::pair<int, std::string>>> falseEvents;
    std::vector<std::pair<Genuine, std::string>> genuine;  // what each genuine signal gave

    // One line per detector and voice (or burst of keys): "  MF sv+m1 (3): '1' 122.56 '1' 279.92 ..." (seconds).
    std::string Listed() const {
        std::string text;
        for (const auto& [detector, byLabel] : falseEvents)
            for (const auto& [label, events] : byLabel)
                text += "  " + detector + " " + label + " (" + std::to_string(events.first) + "):" + events.second + "\n";
        return text;
    }
};

std::string Reported(const DecoderHarness::Event& e) {
    if (e.msg == DM_SIT) return SitGenerator::Code(static_cast<SitGenerator::Kind>(e.wParam));
    return std::string(1, static_cast<char>(e.wParam & 0xFF));
}

// Feeds the recording piece by piece, then a second of quiet and a genuine signal of each
// detector switched on, each followed by half a second of quiet.
Outcome Listen(const Recording& recording, const Listening& l) {
    DecoderHarness harness(kRate, 16);
    CBaseDecoder& d = harness.Decoder();
    d.EnableXDec(DEC_DTMF, 0);
    d.EnableXDec(DEC_TONEPAGING, 1);
    EXPECT_EQ(static_cast<CZVEIDetector&>(d).SetParameters(static_cast<CZVEIDetector::ZVEI_TYPE>(l.paging), true,
                                                             10, -25.0f),
              S_OK);
    if (l.mf) {
        d.EnableXDec(DEC_MF, 1);
        EXPECT_EQ(static_cast<CMFDetector&>(d).SetParameters(), S_OK);
    }
    if (l.sit) {
        d.EnableXDec(DEC_SIT, 1);
        EXPECT_EQ(static_cast<CSITDetector&>(d).SetParameters(), S_OK);
    }
    for (const Piece& piece : recording.pieces) EXPECT_EQ(harness.Feed(piece.pcm), S_OK);

    SignalTimeline after(kRate);
    std::vector<Genuine> genuine;
    const auto mark = [&](int msg, std::string expected, auto append) {
        const auto from = recording.Samples() + static_cast<std::int64_t>(after.Size());
        append();
        genuine.push_back({msg, from, recording.Samples() + static_cast<std::int64_t>(after.Size()) + kRate / 4,
                           std::move(expected)});
        after.AppendSilence(after.SamplesForMs(500.0));
    };
    after.AppendSilence(after.SamplesForMs(1000.0));
    PagingGenerator::Options pagingOptions;
    pagingOptions.type = l.paging;
    const PagingGenerator pager(pagingOptions);
    mark(DM_ZVEI_KEY, pager.SentDigits("1234567890"), [&] { EXPECT_EQ(pager.Append(after, "1234567890"), S_OK); });
    if (l.mf) mark(DM_MF_KEY, "*1234567890#", [&] { EXPECT_EQ(MfGenerator().Append(after, "KP1234567890ST"), S_OK); });
    if (l.sit)
        mark(DM_SIT, "NC", [&] { EXPECT_EQ(SitGenerator().Append(after, SitGenerator::Kind::kNC), S_OK); });
    std::vector<unsigned char> pcm;
    EXPECT_EQ(PcmRenderer(PcmRenderer::Format{16, 1, 0, kRate}).Render(after, pcm), S_OK);
    EXPECT_EQ(harness.Feed(pcm), S_OK);
    harness.Flush();

    Outcome o;
    for (const Genuine& g : genuine) o.genuine.emplace_back(g, "");
    for (const auto& e : harness.Events()) {
        if (e.msg != DM_MF_KEY && e.msg != DM_ZVEI_KEY && e.msg != DM_SIT) continue;
        // The second of quiet after the speech still belongs to it: a word's last blocks
        // are decided there.
        if (e.lParam >= genuine.front().from) {
            for (auto& [g, got] : o.genuine)
                if (g.msg == e.msg && e.lParam >= g.from && e.lParam < g.to) got += Reported(e);
            continue;
        }
        ++(e.msg == DM_MF_KEY ? o.mf : e.msg == DM_ZVEI_KEY ? o.paging : o.sit);
        const Piece* piece = recording.PieceAt(e.lParam);
        const std::string detector = e.msg == DM_MF_KEY ? "MF" : e.msg == DM_SIT ? "SIT" : PagingGenerator::TypeName(l.paging);
        o.inKeys[detector] += piece != nullptr && piece->keys;
        char at[32];
        std::snprintf(at, sizeof at, " %.2f", static_cast<double>(e.lParam) / kRate);
        auto& [count, list] = o.falseEvents[detector][piece ? piece->label : "?"];
        ++count;
        list += " '" + Reported(e) + "'" + at;
    }
    return o;
}

void ExpectGenuineSignalsHeard(const Outcome& o, PagingGenerator::Type paging) {
    for (const auto& [g, got] : o.genuine)
        EXPECT_EQ(got, g.expected) << "message " << g.msg << " after the speech, paging " << PagingGenerator::TypeName(paging);
}

class ToneTalkOff : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SpeechAlone().skipReason.empty()) GTEST_SKIP() << SpeechAlone().skipReason;
    }
};

TEST_F(ToneTalkOff, SpeechNeverMakesASpecialInformationToneAndItsMfAndPagingKeysAreRecorded) {
    const Recording& speech = SpeechAlone();
    ASSERT_GE(speech.seconds, kMinSeconds);
    std::set<std::string> voices;
    for (const Piece& p : speech.pieces) voices.insert(p.label);
    EXPECT_EQ(voices.size(), talkoff::Readings().size());

    std::cout << "[ tone talk-off ] " << speech.seconds / 60.0 << " min of speech in " << voices.size() << " voices\n";
    for (int type = 0; type < PagingGenerator::kTypes; ++type) {
        const auto paging = static_cast<PagingGenerator::Type>(type);
        // MF and SIT listen beside CCIR, the paging type a decoder starts with.
        const bool others = paging == PagingGenerator::Type::kCcir;
        const Outcome o = Listen(speech, {paging, others, others});
        ExpectGenuineSignalsHeard(o, paging);
        std::cout << "  paging " << PagingGenerator::TypeName(paging) << ": " << o.paging << " false keys";
        if (others) std::cout << "; MF " << o.mf << " false keys; SIT " << o.sit;
        std::cout << "\n" << o.Listed();
        if (others) {
            EXPECT_EQ(o.sit, 0) << o.Listed();
            ::testing::Test::RecordProperty("mf_false_keys", o.mf);
        }
        ::testing::Test::RecordProperty(std::string("paging_false_keys_") + PagingGenerator::TypeName(paging), o.paging);
    }
}

TEST_F(ToneTalkOff, MfAndPagingFalseKeysOfSpeechWithDtmfKeysAreRecorded) {
    const Recording& mixed = WithKeys();
    ASSERT_TRUE(mixed.skipReason.empty()) << mixed.skipReason;
    ASSERT_GE(mixed.seconds, kMinSeconds);
    std::cout << "[ tone talk-off, speech and DTMF ] " << mixed.seconds / 60.0 << " min, "
              << talkoff::SpeechAndKeys().keysSent.size() << " DTMF keys\n";
    for (int type = 0; type < PagingGenerator::kTypes; ++type) {
        const auto paging = static_cast<PagingGenerator::Type>(type);
        const bool mf = paging == PagingGenerator::Type::kCcir;
        Outcome o = Listen(mixed, {paging, mf, false});
        ExpectGenuineSignalsHeard(o, paging);
        const std::string name = PagingGenerator::TypeName(paging);
        std::cout << "  paging " << name << ": " << o.paging << " false keys (" << o.inKeys[name] << " in the DTMF bursts)";
        if (mf) std::cout << "; MF " << o.mf << " false keys (" << o.inKeys["MF"] << " in the DTMF bursts)";
        std::cout << "\n" << o.Listed();
    }
}

}  // namespace
