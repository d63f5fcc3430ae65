// Talk-off of the TTY, SAME and FSK data decoders: ten minutes of speech in eight languages
// and ten voices, and the DTMF talk-off's recording (the same speech with DTMF keys after
// every reading), each heard twice: by TTY in Baudot at 45.45 baud, SAME and FSK data at
// 1200 baud 8-N-1 (1200/2200 Hz), and by TTY in 7-bit ASCII at 110 baud with FSK data at
// 300 baud 8-N-1 (1270/1070 Hz). Every false report is printed with the voice (or burst of
// keys) and the position it fell at.
//
// A SAME burst needs eight preamble bytes 0xAB in a row, 64 bits of exact alternation at
// 520.83 baud, before a character is assembled at all: speech must never make an element.
// TTY and FSK data frame whatever bits the demodulator hands over, so held vowels between
// the two tones make characters; their counts are recorded, not asserted. After the speech
// each decoder hears a genuine TTY line, a SAME message and an FSK data line, which must
// decode exactly, so a count of none cannot come from a decoder that stopped listening or
// was left in a state speech drove it into.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "decoder/DecoderMessages.h"
#include "support/DecoderHarness.h"
#include "support/TalkOffSpeech.h"
#include "synth/PcmRenderer.h"
#include "synth/SameGenerator.h"
#include "synth/SignalTimeline.h"
#include "synth/TtyGenerator.h"

namespace {

constexpr int kRate = talkoff::kRate;
constexpr double kMinSeconds = 600.0;
using Recording = talkoff::SpeechWithKeys;
using Piece = Recording::Piece;

constexpr const char* kTtyLine = "GA PLS CALL 555 0123 SK";
constexpr const char* kSameHeader = "ZCZC-WXR-TOR-039173+0030-1591829-KEAX/NWS-";
constexpr const char* kFskLine = "ACCOUNT 4471 DUE 01/07\r\n";

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

std::int64_t Samples(const Recording& r) {
    return r.pieces.empty() ? 0 : r.pieces.back().start + static_cast<std::int64_t>(r.pieces.back().pcm.size() / 2);
}

// What one pass listens with.
struct Listening {
    const char* ttyName;
    std::int32_t ttyRate, ttyMode;
    TtyGenerator::Mode ttyGeneratorMode;
    double ttyBaud, ttyStopBits;
    bool same;
    const char* fskName;
    float fskMark, fskSpace, fskBaud;
};

const Listening kBaudotSame1200{"TTY Baudot 45.45", CDecBaudotCode::kRate45_45, CDecBaudotCode::kBaudot,
                                TtyGenerator::Mode::kBaudot, 45.45, 1.5, true, "FSK 1200 8-N-1",
                                1200.0f, 2200.0f, 1200.0f};
const Listening kAscii300{"TTY ASCII 110", CDecBaudotCode::kRate110, CDecBaudotCode::kAscii7,
                          TtyGenerator::Mode::kAscii7, 110.0, 2.0, false, "FSK 300 8-N-1",
                          1270.0f, 1070.0f, 300.0f};

// An FSK data line summed here: phase-continuous FSK, each character a space start bit,
// eight data bits least significant first and a mark stop bit, bit k ending at
// round((k + 1) · rate / baud) samples, with 100 ms of idle mark before and after.
std::vector<float> FskLine(const std::string& text, double markHz, double spaceHz, double baud) {
    std::vector<int> bits(static_cast<std::size_t>(baud / 10), 1);
    for (unsigned char c : text) {
        bits.push_back(0);
        for (int i = 0; i < 8; ++i) bits.push_back((c >> i) & 1);
        bits.push_back(1);
    }
    bits.insert(bits.end(), static_cast<std::size_t>(baud / 10), 1);
    std::vector<float> x;
    const double amplitude = std::pow(10.0, -10.0 / 20.0), twoPi = 6.283185307179586476925;
    double phase = 0.0;
    for (std::size_t k = 0; k < bits.size(); ++k) {
        const auto end = static_cast<std::size_t>(std::llround(static_cast<double>(k + 1) * kRate / baud));
        while (x.size() < end) {
            x.push_back(static_cast<float>(amplitude * std::sin(phase)));
            phase = std::fmod(phase + twoPi * (bits[k] ? markHz : spaceHz) / kRate, twoPi);
        }
    }
    return x;
}

// A genuine signal after the speech, the stretch of samples in which its decoder must
// report it, and what it reported there.
struct Genuine {
    int msg;
    std::int64_t from, to;
    std::string expected, got;
};

// Speech gives FSK data thousands of bytes per voice: the first ones of each are enough
// to see what it makes of the talk.
constexpr int kListedPerVoice = 40;

struct Outcome {
    std::map<std::string, int> count, inKeys, shifts;  // per decoder
    // Per decoder, per piece of the recording: how many reports and the first of them, at
    // how many seconds.
    std::map<std::string, std::map<std::string, std::pair<int, std::string>>> falseEvents;
    std::vector<Genuine> genuine;

    // One line per decoder and voice (or burst of keys): "  TTY Baudot 45.45 sv+m1 (3): 'E' 122.56 FIGS 279.92 ...".
    std::string Listed() const {
        std::string text;
        for (const auto& [decoder, byLabel] : falseEvents)
            for (const auto& [label, events] : byLabel)
                text += "  " + decoder + " " + label + " (" + std::to_string(events.first) + "):" + events.second +
                        (events.first > kListedPerVoice ? " ..." : "") + "\n";
        return text;
    }
};

std::string Shown(int c) {
    if (c >= 0x20 && c < 0x7F) return "'" + std::string(1, static_cast<char>(c)) + "'";
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c & 0xFF);
    return hex;
}

// Feeds the recording piece by piece, then a second of quiet and a genuine TTY line, SAME
// message (when SAME listens) and FSK data line, each followed by half a second of quiet.
Outcome Listen(const Recording& recording, const Listening& l) {
    DecoderHarness harness(kRate, 16);
    CBaseDecoder& d = harness.Decoder();
    d.EnableXDec(DEC_DTMF, 0);
    d.EnableXDec(DEC_TTY, 1);
    EXPECT_EQ(static_cast<CDecBaudotCode&>(d).SetRate(l.ttyRate, l.ttyMode), S_OK);
    static_cast<CDecBaudotCode&>(d).SetFreqs(1400.0f, 1800.0f);
    if (l.same) {
        d.EnableXDec(DEC_SAME, 1);
        EXPECT_EQ(static_cast<CDecSAME&>(d).SetParameters(kRate, 1562.5f, 2083.3f, 520.83f), S_OK);
    }
    d.EnableXDec(DEC_FSK, 1);
    CDecFSKData& fsk = d;
    EXPECT_EQ(static_cast<CDecAFSK&>(fsk).SetParameters(kRate, l.fskSpace, l.fskMark, l.fskBaud), S_OK);
    EXPECT_EQ(fsk.SetCOMMParams(8, CDecFSKData::kStopBitOne, CDecFSKData::kParityNo, 0, 1), S_OK);

    // A SAME element's text lives only during the call, and its record's position counts
    // from the demodulator's restart at the burst's start: both are kept by event number,
    // with the stream position the burst ended at.
    struct SameReport {
        std::string text;
        std::int64_t position;
    };
    std::map<std::size_t, SameReport> sameReports;
    harness.onEvent = [&](const DecoderHarness::Event& e) {
        const auto text = [](std::uint64_t p) { return std::string(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(p))); };
        const auto at = static_cast<std::int64_t>(d.GetSamplePos());
        if (e.msg == DM_SAME_ELEMENT) {
            const auto* info = reinterpret_cast<const SAMEElementInfo*>(static_cast<std::uintptr_t>(e.wParam));
            sameReports[harness.Events().size() - 1] = {
                std::to_string(info->iState) + ":" + text(static_cast<std::uint64_t>(e.lParam)), at};
        } else if (e.msg == DM_RAW_SAME) {
            sameReports[harness.Events().size() - 1] = {"header:" + text(e.wParam), at};
        }
    };
    for (const Piece& piece : recording.pieces) EXPECT_EQ(harness.Feed(piece.pcm), S_OK);

    SignalTimeline after(kRate);
    Outcome o;
    const auto mark = [&](int msg, std::string expected, auto append) {
        const auto from = Samples(recording) + static_cast<std::int64_t>(after.Size());
        append();
        o.genuine.push_back({msg, from, Samples(recording) + static_cast<std::int64_t>(after.Size()) + kRate / 4,
                             std::move(expected), ""});
        after.AppendSilence(after.SamplesForMs(500.0));
    };
    after.AppendSilence(after.SamplesForMs(1000.0));
    TtyGenerator::Options tty;
    tty.mode = l.ttyGeneratorMode;
    tty.baud = l.ttyBaud;
    tty.stopBits = l.ttyStopBits;
    mark(DM_TTY_CHAR, kTtyLine, [&] { EXPECT_EQ(TtyGenerator(tty).Append(after, kTtyLine), S_OK); });
    if (l.same) {
        const std::string h = kSameHeader;
        mark(DM_SAME_ELEMENT, "1:" + h + " 2:" + h + " 3:" + h + " 6:NNNN 7:NNNN 8:NNNN header:" + h + " ",
             [&] { EXPECT_EQ(SameGenerator().Append(after, kSameHeader), S_OK); });
    }
    mark(DM_FSK_DATA, kFskLine, [&] { after.AppendSamples(FskLine(kFskLine, l.fskMark, l.fskSpace, l.fskBaud)); });
    std::vector<unsigned char> pcm;
    EXPECT_EQ(PcmRenderer(PcmRenderer::Format{16, 1, 0, kRate}).Render(after, pcm), S_OK);
    EXPECT_EQ(harness.Feed(pcm), S_OK);
    harness.Flush();
    d.EndOfStream();

    const auto& events = harness.Events();
    for (std::size_t i = 0; i < events.size(); ++i) {
        const auto& e = events[i];
        const bool same = e.msg == DM_SAME_ELEMENT || e.msg == DM_RAW_SAME;
        if (e.msg != DM_TTY_CHAR && e.msg != DM_FSK_DATA && !same) continue;
        const std::int64_t position = same ? sameReports[i].position : e.lParam;
        const int c = static_cast<int>(e.wParam & 0xFF);
        const bool shift = e.msg == DM_TTY_CHAR && c == 0 && (e.wParam >> 16 & 0x1F) != 0;
        std::string reported = same ? "\"" + sameReports[i].text + "\""
                                    : shift ? ((e.wParam >> 16 & 0x1F) == CDecBaudotCode::kFiguresShift ? "FIGS" : "LTRS")
                                            : Shown(c);
        // The second of quiet after the speech still belongs to it: a word's last bits
        // are framed there.
        if (position >= o.genuine.front().from) {
            for (Genuine& g : o.genuine) {
                if (position < g.from || position >= g.to) continue;
                if (g.msg == DM_SAME_ELEMENT && same) g.got += sameReports[i].text + " ";
                if (g.msg == e.msg && !same && !shift) g.got += static_cast<char>(c);
            }
            continue;
        }
        const std::string decoder = e.msg == DM_TTY_CHAR ? l.ttyName : same ? "SAME" : l.fskName;
        const Piece* piece = recording.PieceAt(position);
        ++o.count[decoder];
        o.shifts[decoder] += shift;
        o.inKeys[decoder] += piece != nullptr && piece->keys;
        char at[32];
        std::snprintf(at, sizeof at, " %.2f", static_cast<double>(position) / kRate);
        auto& [count, list] = o.falseEvents[decoder][piece ? piece->label : "?"];
        if (++count <= kListedPerVoice) list += " " + reported + at;
    }
    return o;
}

void ExpectGenuineSignalsHeard(const Outcome& o, const Listening& l) {
    for (const Genuine& g : o.genuine)
        EXPECT_EQ(g.got, g.expected) << "message " << g.msg << " after the speech, listening with " << l.ttyName
                                     << " and " << l.fskName;
}

void Print(const Outcome& o, const Listening& l) {
    for (const char* decoder : {l.ttyName, l.same ? "SAME" : nullptr, l.fskName}) {
        if (decoder == nullptr) continue;
        const auto get = [&](const std::map<std::string, int>& m) { auto it = m.find(decoder); return it == m.end() ? 0 : it->second; };
        std::cout << "  " << decoder << ": " << get(o.count) << " false reports";
        if (decoder == l.ttyName) std::cout << " (" << get(o.shifts) << " of them shifts)";
        std::cout << ", " << get(o.inKeys) << " in DTMF bursts\n";
    }
    std::cout << o.Listed();
}

int CountOf(const Outcome& o, const std::string& decoder) {
    const auto it = o.count.find(decoder);
    return it == o.count.end() ? 0 : it->second;
}

class FskKindsTalkOff : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SpeechAlone().skipReason.empty()) GTEST_SKIP() << SpeechAlone().skipReason;
    }

    static void ListenTwice(const Recording& recording) {
        for (const Listening* l : {&kBaudotSame1200, &kAscii300}) {
            const Outcome o = Listen(recording, *l);
            ExpectGenuineSignalsHeard(o, *l);
            Print(o, *l);
            if (l->same) {
                EXPECT_EQ(CountOf(o, "SAME"), 0) << o.Listed();
            }
            for (const char* decoder : {l->ttyName, l->fskName})
                ::testing::Test::RecordProperty(std::string("false_") + decoder, CountOf(o, decoder));
        }
    }
};

TEST_F(FskKindsTalkOff, SpeechNeverMakesASameElementAndItsTtyAndFskDataCharactersAreRecorded) {
    const Recording& speech = SpeechAlone();
    ASSERT_GE(speech.seconds, kMinSeconds);
    std::set<std::string> voices;
    for (const Piece& p : speech.pieces) voices.insert(p.label);
    EXPECT_EQ(voices.size(), talkoff::Readings().size());
    std::cout << "[ TTY, SAME and FSK data talk-off ] " << speech.seconds / 60.0 << " min of speech in "
              << voices.size() << " voices\n";
    ListenTwice(speech);
}

TEST_F(FskKindsTalkOff, SpeechWithDtmfKeysNeverMakesASameElementAndItsTtyAndFskDataCharactersAreRecorded) {
    const Recording& mixed = talkoff::SpeechAndKeys();
    ASSERT_TRUE(mixed.skipReason.empty()) << mixed.skipReason;
    ASSERT_GE(mixed.seconds, kMinSeconds);
    std::cout << "[ TTY, SAME and FSK data talk-off, speech and DTMF ] " << mixed.seconds / 60.0 << " min, "
              << mixed.keysSent.size() << " DTMF keys\n";
    ListenTwice(mixed);
}

}  // namespace
