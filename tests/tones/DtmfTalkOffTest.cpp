// DTMF talk-off: about ten minutes of speech in several languages and voices, with a few
// genuine keys in the pause after every reading. The robust profile must report exactly
// the keys sent, nothing from the speech; the exact profile must still find every key
// sent, and its false keys are recorded (not asserted: it keeps the behaviour it always
// had, false keys included).
//
// The speech comes from espeak-ng through sox, one reading at a time, and goes straight
// into both detectors, so the whole run holds one reading (a few hundred kilobytes) at a
// time rather than ten minutes of audio.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "support/DecoderHarness.h"
#include "support/SpeechSynthesis.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"
#include "tones/CDecDTMF.h"

namespace {

constexpr int kRate = 8000;
constexpr double kTargetSeconds = 600.0;

const char* const kEnglish[] = {
    "Hello, it's Sam from the garage. Your car passed the inspection, but the rear tyres are "
    "nearly worn through, so we'd recommend replacing them soon. We can fit new ones on Monday "
    "morning if you call back before five. The number is oh one six three, two nine eight.",
    "Please listen carefully, as our menu options have changed. For billing, press one. To "
    "report a fault, press two. To hear these options again, press star. Otherwise, please hold "
    "and the next available adviser will take your call. Calls may be recorded for training.",
    "Okay, so first you take the second left after the bridge, then keep going past the church "
    "until you see a petrol station. Turn right there, and we're the third house on the left, "
    "the one with the blue door. Oh, and watch out for the dog, she's friendly but very loud!",
};
const char* const kGerman[] = {
    "Hallo Anna, hier ist Jürgen. Ich wollte nur kurz Bescheid sagen, dass ich heute später "
    "komme. Der Zug hat wieder einmal zwanzig Minuten Verspätung, und in Köln muss ich umsteigen. "
    "Fangt ruhig schon ohne mich an, ich bringe den Kuchen mit. Bis nachher, tschüss!",
};
const char* const kFrench[] = {
    "Allô, c'est Martine. Je t'appelle pour samedi: finalement, le repas aura lieu chez mes "
    "parents, à Lyon, vers midi et demi. Si tu peux, apporte une bouteille de vin rouge et le "
    "fromage dont tu m'as parlé. Rappelle-moi ce soir après huit heures, d'accord? Bisous.",
};
const char* const kSpanish[] = {
    "Buenos días, le habla Lucía, de la agencia de viajes. Su vuelo a Sevilla del jueves ha "
    "cambiado de hora: ahora sale a las seis y cuarto de la tarde, desde la terminal dos. Las "
    "tarjetas de embarque se las enviamos por correo. Cualquier duda, llámenos.",
};
const char* const kItalian[] = {
    "Ciao Marco, sono Giulia. Ti ricordi che domani sera c'è la cena per il compleanno della "
    "nonna? Ci vediamo alle otto al ristorante vicino alla stazione. Porta anche tua sorella, "
    "se vuole venire. E non dimenticare il regalo, mi raccomando!",
};
const char* const kDutch[] = {
    "Hoi Pieter, met Sanne. Ik sta nu bij de bakker, maar ze hebben geen bruin brood meer. Zal "
    "ik dan maar krentenbollen meenemen, of wil je liever iets anders? Bel me even terug, want "
    "over tien minuten gaat de winkel dicht.",
};
const char* const kSwedish[] = {
    "Hej Erik, det är Karin. Jag glömde nycklarna hemma hos dig i går kväll. Kan du lägga dem i "
    "brevlådan i morgon bitti, så hämtar jag dem efter jobbet? Tack, och ha en trevlig helg!",
};

struct Reading {
    const char* voice;  // espeak-ng voice with its variant
    int wordsPerMinute;
    int pitch;
    double gain;  // espeak-ng peaks near -4 dBFS: from clipping loud to quiet
    const char* const* texts;
    std::size_t count;
};

const std::vector<Reading>& Readings() {
    static const std::vector<Reading> readings = {
        {"en-us", 165, 50, 1.0, kEnglish, std::size(kEnglish)},
        {"en-gb+f3", 175, 70, 0.5, kEnglish, std::size(kEnglish)},
        {"de+m3", 150, 35, 1.5, kGerman, std::size(kGerman)},
        {"fr-fr+f2", 170, 60, 0.8, kFrench, std::size(kFrench)},
        {"es+klatt2", 160, 45, 1.2, kSpanish, std::size(kSpanish)},
        {"it+f4", 150, 80, 0.35, kItalian, std::size(kItalian)},
        {"nl+m7", 180, 25, 1.0, kDutch, std::size(kDutch)},
        {"sv+m1", 160, 55, 1.4, kSwedish, std::size(kSwedish)},
        {"en-gb+klatt3", 145, 40, 0.7, kEnglish, std::size(kEnglish)},
        {"de+f1", 185, 65, 0.25, kGerman, std::size(kGerman)},
    };
    return readings;
}

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

struct Segment {
    std::int64_t start;
    std::string voice;
};

struct TalkOff {
    std::string skipReason;
    double seconds = 0.0;
    std::string keysSent;
    std::vector<Segment> segments;  // where each reading starts, for the failure messages
    std::set<std::string> languages;
    std::vector<DecoderHarness::Key> exactKeys, robustKeys;

    std::string VoiceAt(std::int64_t position) const {
        auto it = std::upper_bound(segments.begin(), segments.end(), position,
                                   [](std::int64_t p, const Segment& s) { return p < s.start; });
        return it == segments.begin() ? "?" : std::prev(it)->voice;
    }
};

bool Speak(const std::filesystem::path& textFile, const Reading& r, const char* text,
           std::vector<unsigned char>& pcm) {
    return speech::Speak(textFile, r.voice, r.wordsPerMinute, r.pitch, "vol " + std::to_string(r.gain), text, pcm);
}

// A short burst of genuine keys in the pause after a reading: 300 ms of quiet, the keys
// at 60 ms on / 60 ms off, and 300 ms of quiet before the next reading starts.
std::vector<unsigned char> KeyBurst(const std::string& keys, double levelDbfs) {
    DtmfGenerator::Options options;
    options.levelDbfs = levelDbfs;
    options.twistDb = 2.0;
    options.toneMs = 60.0;
    options.gapMs = 60.0;
    options.leadMs = 300.0;
    SignalTimeline t(kRate);
    EXPECT_EQ(DtmfGenerator(options).Append(t, keys), S_OK);
    t.AppendSilence(t.SamplesForMs(300.0));
    std::vector<unsigned char> pcm;
    EXPECT_EQ(PcmRenderer(PcmRenderer::Format{16, 1, 0, kRate}).Render(t, pcm), S_OK);
    return pcm;
}

const TalkOff& Signal() {
    static const TalkOff result = [] {
        TalkOff t;
        if (!speech::ToolsAvailable()) {
            t.skipReason = "espeak-ng and sox are needed to make the speech";
            return t;
        }
        std::string pattern = (std::filesystem::temp_directory_path() / "vornix-dtmf-talkoff-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            t.skipReason = "no scratch folder";
            return t;
        }
        const std::filesystem::path folder = pattern;
        const auto exact = MakeHarness(CDecDTMF::Profile::kExact);
        const auto robust = MakeHarness(CDecDTMF::Profile::kRobust);
        const auto feed = [&](const std::vector<unsigned char>& pcm) {
            EXPECT_EQ(exact->Feed(pcm), S_OK);
            EXPECT_EQ(robust->Feed(pcm), S_OK);
            t.seconds += static_cast<double>(pcm.size() / 2) / kRate;
        };
        std::vector<unsigned char> pcm;
        std::int64_t position = 0;
        std::size_t keyIndex = 0;
        for (std::size_t round = 0; t.seconds < kTargetSeconds; ++round) {
            for (std::size_t r = 0; r < Readings().size() && t.seconds < kTargetSeconds; ++r) {
                const Reading& reading = Readings()[r];
                if (!Speak(folder / "text.txt", reading, reading.texts[(round + r) % reading.count], pcm)) {
                    t.skipReason = std::string("espeak-ng could not speak with voice ") + reading.voice;
                    std::filesystem::remove_all(folder);
                    return t;
                }
                t.segments.push_back({position, reading.voice});
                const std::string voice = reading.voice;
                t.languages.insert(voice.substr(0, voice.find('+')));
                feed(pcm);
                position += static_cast<std::int64_t>(pcm.size() / 2);
                // Three keys, walking through the grid, at -10 to -22 dBFS.
                std::string keys;
                for (int k = 0; k < 3; ++k) keys.push_back(DtmfGenerator::kKeys[keyIndex++ % 16]);
                const auto burst = KeyBurst(keys, -10.0 - static_cast<double>((round * 7 + r * 3) % 13));
                t.segments.push_back({position, std::string("keys ") + keys});
                t.keysSent += keys;
                feed(burst);
                position += static_cast<std::int64_t>(burst.size() / 2);
            }
        }
        std::filesystem::remove_all(folder);
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
                " s (" + Signal().VoiceAt(k.position) + ")\n";
    return text;
}

class DtmfTalkOff : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Signal().skipReason.empty()) GTEST_SKIP() << Signal().skipReason;
    }
};

TEST_F(DtmfTalkOff, TheSpeechIsLongAndVaried) {
    EXPECT_GE(Signal().seconds, kTargetSeconds);
    EXPECT_GE(Signal().languages.size(), 7u);
    std::set<std::string> voices;
    for (const auto& s : Signal().segments)
        if (s.voice.rfind("keys", 0) != 0) voices.insert(s.voice);
    EXPECT_GE(voices.size(), Readings().size());
}

TEST_F(DtmfTalkOff, RobustProfileReportsExactlyTheKeysSentAndNothingFromTheSpeech) {
    const auto falseKeys = FalseKeys(Signal().keysSent, Signal().robustKeys);
    RecordProperty("robust_false_keys", static_cast<int>(falseKeys.size()));
    EXPECT_TRUE(falseKeys.empty()) << falseKeys.size() << " false keys in " << Signal().seconds << " s:\n"
                                   << Where(falseKeys);
    EXPECT_EQ(Text(Signal().robustKeys), Signal().keysSent);
}

TEST_F(DtmfTalkOff, ExactProfileFindsEveryKeySentAndItsFalseKeysAreRecorded) {
    const auto falseKeys = FalseKeys(Signal().keysSent, Signal().exactKeys);
    const std::size_t found = Signal().exactKeys.size() - falseKeys.size();
    EXPECT_EQ(found, Signal().keysSent.size()) << Text(Signal().exactKeys);
    RecordProperty("exact_false_keys", static_cast<int>(falseKeys.size()));
    std::cout << "[ DTMF talk-off ] " << Signal().seconds / 60.0 << " min of speech, " << Signal().languages.size()
              << " languages: exact profile " << falseKeys.size() << " false keys ("
              << falseKeys.size() * 3600.0 / Signal().seconds << " per hour)\n"
              << Where(falseKeys);
}

}  // namespace
