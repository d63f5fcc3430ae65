// DTMF talk-off: about ten minutes of speech in several languages and voices, with a few
// genuine keys in the pause after every reading. The robust profile must report exactly
// the keys sent, nothing from the speech; the exact profile must still find every key
// sent, and its false keys are recorded (not asserted: it keeps the behaviour it always
// had, false keys included).
//
// The recording (support/TalkOffSpeech) is made once per test program and shared with the
// other tone detectors' talk-off.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/DecoderHarness.h"
#include "support/TalkOffSpeech.h"
#include "tones/CDecDTMF.h"

namespace {

constexpr int kRate = talkoff::kRate;
constexpr double kTargetSeconds = 600.0;

// The harness configures the exact profile; the profile takes effect at the next
// SetParameters, made here with the same defaults.
std::unique_ptr<DecoderHarness> MakeHarness(CDecDTMF::Profile profile) {
    auto harness = std::make_unique<DecoderHarness>(kRate, 16);
    harness->Decoder().SetProfile(profile);
    EXPECT_EQ(harness->Decoder().CDecDTMF::SetParameters(
                  DecoderHarness::kSensitivityDb, DecoderHarness::kEnergyThreshold, DecoderHarness::kMinDurationMs,
                  DecoderHarness::kMinIntervalMs, DecoderHarness::kColHarmonicFactor,
                  DecoderHarness::kRowHarmonicFactor, DecoderHarness::kRelativePeakTest),
              S_OK);
    return harness;
}

struct TalkOff {
    std::string skipReason;
    std::vector<DecoderHarness::Key> exactKeys, robustKeys;
};

const talkoff::SpeechWithKeys& Speech() { return talkoff::SpeechAndKeys(); }

// Every piece of the recording, reading or burst, goes to both detectors as one buffer.
const TalkOff& Signal() {
    static const TalkOff result = [] {
        TalkOff t;
        t.skipReason = Speech().skipReason;
        if (!t.skipReason.empty()) return t;
        const auto exact = MakeHarness(CDecDTMF::Profile::kExact);
        const auto robust = MakeHarness(CDecDTMF::Profile::kRobust);
        for (const auto& piece : Speech().pieces) {
            EXPECT_EQ(exact->Feed(piece.pcm), S_OK);
            EXPECT_EQ(robust->Feed(piece.pcm), S_OK);
        }
        exact->Flush();
        robust->Flush();
        t.exactKeys = exact->Keys();
        t.robustKeys = robust->Keys();
        return t;
    }();
    return result;
}

std::string Text(const std::vector<DecoderHarness::Key>& keys) {
    std::string text;
    for (const auto& k : keys) text.push_back(k.key);
    return text;
}

// The decoded keys that are not among those sent, matched in order, with where they fell.
std::vector<DecoderHarness::Key> FalseKeys(const std::string& sent, const std::vector<DecoderHarness::Key>& got) {
    // Longest common subsequence; whatever it leaves out of `got` was not sent.
    const std::size_t n = sent.size(), m = got.size();
    std::vector<std::vector<std::uint16_t>> table(n + 1, std::vector<std::uint16_t>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            table[i][j] = sent[i] == got[j].key ? table[i + 1][j + 1] + 1
                                                : std::max(table[i + 1][j], table[i][j + 1]);
    std::vector<DecoderHarness::Key> extra;
    std::size_t i = 0, j = 0;
    while (j < m) {
        if (i < n && sent[i] == got[j].key && table[i][j] == table[i + 1][j + 1] + 1) {
            ++i;
            ++j;
        } else if (i < n && table[i + 1][j] >= table[i][j + 1]) {
            ++i;
        } else {
            extra.push_back(got[j++]);
        }
    }
    return extra;
}

std::string Where(const std::vector<DecoderHarness::Key>& keys) {
    std::string text;
    for (const auto& k : keys)
        text += std::string("'") + k.key + "' at " + std::to_string(static_cast<double>(k.position) / kRate) +
                " s (" + Speech().PieceAt(k.position)->label + ")\n";
    return text;
}

class DtmfTalkOff : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Signal().skipReason.empty()) GTEST_SKIP() << Signal().skipReason;
    }
};

TEST_F(DtmfTalkOff, TheSpeechIsLongAndVaried) {
    EXPECT_GE(Speech().seconds, kTargetSeconds);
    EXPECT_GE(Speech().languages.size(), 7u);
    std::set<std::string> voices;
    for (const auto& piece : Speech().pieces)
        if (!piece.keys) voices.insert(piece.label);
    EXPECT_GE(voices.size(), talkoff::Readings().size());
}

TEST_F(DtmfTalkOff, RobustProfileReportsExactlyTheKeysSentAndNothingFromTheSpeech) {
    const auto falseKeys = FalseKeys(Speech().keysSent, Signal().robustKeys);
    RecordProperty("robust_false_keys", static_cast<int>(falseKeys.size()));
    EXPECT_TRUE(falseKeys.empty()) << falseKeys.size() << " false keys in " << Speech().seconds << " s:\n"
                                   << Where(falseKeys);
    EXPECT_EQ(Text(Signal().robustKeys), Speech().keysSent);
}

TEST_F(DtmfTalkOff, ExactProfileFindsEveryKeySentAndItsFalseKeysAreRecorded) {
    const auto falseKeys = FalseKeys(Speech().keysSent, Signal().exactKeys);
    const std::size_t found = Signal().exactKeys.size() - falseKeys.size();
    EXPECT_EQ(found, Speech().keysSent.size()) << Text(Signal().exactKeys);
    RecordProperty("exact_false_keys", static_cast<int>(falseKeys.size()));
    std::cout << "[ DTMF talk-off ] " << Speech().seconds / 60.0 << " min of speech, " << Speech().languages.size()
              << " languages: exact profile " << falseKeys.size() << " false keys ("
              << falseKeys.size() * 3600.0 / Speech().seconds << " per hour)\n"
              << Where(falseKeys);
}

}  // namespace
