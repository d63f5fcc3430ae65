// Talk-off: ten minutes of speech in several languages and voices, with DTMF keys between
// and over the words and the handset's D answer in the pauses, must never come out as a
// caller-ID or message-waiting message, whether the decoder listens for call waiting or
// not. Speech has energy all over the FSK band and DTMF D is the very signal that opens a
// call-waiting reception, so this is where false messages would come from.
//
// The speech comes from espeak-ng through sox, made once per test program; the decoding is
// the library's own, block by block, so that the front end's receptions can be counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "decoder/DecoderMessages.h"
#include "support/CallerIdHarness.h"
#include "support/SpeechSynthesis.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace {

constexpr int kRate = 8000;
constexpr double kMinutes = 10.0;
// The front end works in blocks of 100 samples; feeding block by block lets each state
// it passes through between blocks be seen.
constexpr int kBlock = 100;
// A D answer lasts 65 ms, and the talk follows its end 100 ms later.
constexpr std::size_t kAnswerSamples = 520;
constexpr std::size_t kAnswerGap = 800;

// Long, varied texts: statements, questions, lists, numbers and spelt-out codes, so that
// every kind of vowel, sibilant and pause turns up.
const char* const kEnglish[] = {
    "Good morning, this is a message for the accounts department. We received your invoice on "
    "Tuesday, but the total does not match the order. Could you please check line fourteen and "
    "send a corrected copy before the end of the week? My extension is four three seven two.",
    "The weather tonight will be mostly cloudy, with scattered showers moving in from the west "
    "after midnight. Winds will be light and variable. Tomorrow starts grey and damp, but the "
    "afternoon should brighten, with highs around sixty-two degrees and a gentle breeze.",
    "To reset your password, press the small button on the back of the unit for ten seconds, "
    "until the light flashes amber. Then enter the code printed on the sticker: seven, alpha, "
    "nine, bravo, six, charlie. If that does not work, unplug it, wait a minute and try again.",
    "She said the parcel would arrive on Thursday, so I stayed at home all day, and of course "
    "nothing came. On Friday the driver left a card saying nobody was in. Honestly, sometimes "
    "I wonder whether anybody actually reads the delivery instructions we write down.",
    "Thank you for calling. All of our agents are busy at the moment. Your call is important to "
    "us, and it will be answered in the order it was received. You are number six in the queue. "
    "The expected waiting time is approximately eleven minutes. Please stay on the line.",
    "Hi, it's me again. Sorry I missed you earlier. The meeting has moved from three thirty to "
    "quarter past four, in the small room on the second floor, next to the kitchen. Bring the "
    "figures for March, April and May if you can, and the slides from last Wednesday.",
    "Seventeen, twenty-nine, thirty-three, forty-one, fifty-eight, sixty, seventy-four, "
    "eighty-six, ninety-nine, one hundred and five, two thousand and twelve, one million three "
    "hundred thousand. Zero, oh, nought. Six six six, five five five, one two one two.",
    "Whistling softly, the shepherd crossed the fresh snow, his sheep shuffling slowly behind "
    "him. Six thick thistle sticks. She sells sea shells by the sea shore. Which wristwatches "
    "are Swiss wristwatches? The sixth sick sheikh's sixth sheep is sick.",
};
const char* const kGerman[] = {
    "Guten Tag, hier ist der Anrufbeantworter der Praxis. Unsere Sprechzeiten sind montags bis "
    "freitags von acht bis zwölf Uhr und donnerstags zusätzlich von fünfzehn bis achtzehn Uhr. "
    "In dringenden Fällen wählen Sie bitte die Nummer des ärztlichen Bereitschaftsdienstes.",
    "Der Zug nach Hamburg, planmäßige Abfahrt vierzehn Uhr zweiunddreißig, fährt heute von Gleis "
    "sieben. Bitte beachten Sie die geänderte Wagenreihung. Die Wagen der ersten Klasse halten "
    "im Abschnitt A. Wir bitten um Ihr Verständnis und wünschen eine angenehme Reise.",
    "Fischers Fritz fischt frische Fische, frische Fische fischt Fischers Fritz. Zwischen zwei "
    "Zwetschgenzweigen zwitschern zwei Schwalben. Es grünt so grün, wenn Spaniens Blüten blühen.",
};
const char* const kFrench[] = {
    "Bonjour, vous êtes bien au service clients. Pour connaître le solde de votre compte, tapez "
    "un. Pour signaler une perte ou un vol, tapez deux. Pour toute autre demande, restez en "
    "ligne, un conseiller va vous répondre dans quelques instants. Merci de votre patience.",
    "Les chaussettes de l'archiduchesse sont-elles sèches, archi-sèches? Un chasseur sachant "
    "chasser doit savoir chasser sans son chien. Si six scies scient six cyprès, six cents scies "
    "scient six cents cyprès. Il était une fois, dans un petit village au bord de la mer.",
    "Le rendez-vous est confirmé pour mercredi prochain à dix heures et quart, au troisième "
    "étage, porte vingt-deux. N'oubliez pas d'apporter votre pièce d'identité, votre carte "
    "vitale et les résultats des dernières analyses. En cas d'empêchement, prévenez-nous.",
};
const char* const kSpanish[] = {
    "Hola, buenas tardes. Le llamo del taller para decirle que su coche ya está listo. Hemos "
    "cambiado el aceite, los filtros y las pastillas de freno. Puede pasar a recogerlo mañana "
    "entre las nueve y las siete. El importe total es de doscientos cuarenta y ocho euros.",
    "Tres tristes tigres tragaban trigo en un trigal. El perro de San Roque no tiene rabo porque "
    "Ramón Ramírez se lo ha cortado. Erre con erre cigarro, erre con erre barril.",
};

struct Voice {
    const char* name;  // espeak-ng voice and variant
    int wordsPerMinute;
    int pitch;  // 0 to 99
    double gain;  // espeak-ng peaks near -4 dBFS: from clipping loud to quiet
};

// Texts read in one voice. The readings are taken in order until ten minutes are made.
struct Reading {
    Voice voice;
    const char* const* texts;
    std::size_t count;
};

const std::vector<Reading>& Readings() {
    static const std::vector<Reading> readings = {
        {{"en-us", 160, 50, 1.0}, kEnglish, std::size(kEnglish)},
        {{"en+f3", 175, 70, 0.5}, kEnglish, std::size(kEnglish)},
        {{"en-gb-x-rp+m3", 140, 35, 1.5}, kEnglish, std::size(kEnglish)},
        {{"de", 150, 45, 1.0}, kGerman, std::size(kGerman)},
        {{"de+f2", 180, 65, 0.25}, kGerman, std::size(kGerman)},
        {{"fr", 165, 55, 1.0}, kFrench, std::size(kFrench)},
        {{"fr+f4", 145, 80, 0.6}, kFrench, std::size(kFrench)},
        {{"es", 170, 50, 1.2}, kSpanish, std::size(kSpanish)},
        {{"en+klatt3", 155, 40, 0.8}, kEnglish, std::size(kEnglish)},
        {{"en+whisper", 150, 50, 1.5}, kEnglish, std::size(kEnglish)},
        {{"en-us+m7", 180, 20, 0.4}, kEnglish, std::size(kEnglish)},
    };
    return readings;
}

// Deterministic choices, so that a failure can be replayed.
class Lcg {
public:
    std::uint32_t Next(std::uint32_t range) {
        m_state = m_state * 1664525u + 1013904223u;
        return (m_state >> 8) % range;
    }

private:
    std::uint32_t m_state = 20240229u;
};

struct TalkOff {
    std::string skipReason;
    std::vector<unsigned char> pcm;  // 16-bit mono
    double seconds = 0.0;
    std::vector<std::size_t> dAnswerEnds;  // a lone D in a pause, 100 ms before the talking resumes
    int keysInPauses = 0;
    int keysOverSpeech = 0;
    std::set<std::string> voicesHeard;
};

// One text in one voice at 8000 Hz, as sox resamples espeak-ng's output.
std::vector<float> Speak(const std::filesystem::path& folder, const Voice& voice, const char* text, bool& ok) {
    std::vector<unsigned char> pcm;
    ok = speech::Speak(folder / "text.txt", voice.name, voice.wordsPerMinute, voice.pitch, "", text, pcm);
    std::vector<float> samples;
    samples.reserve(pcm.size() / 2);
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2)
        samples.push_back(static_cast<float>(static_cast<std::int16_t>(pcm[i] | (pcm[i + 1] << 8))) / 32767.0f);
    for (float& s : samples) s *= static_cast<float>(voice.gain);
    return samples;
}

std::vector<float> Keys(const std::string& keys, double levelDbfs, double toneMs, double gapMs) {
    DtmfGenerator::Options options;
    options.levelDbfs = levelDbfs;
    options.twistDb = 2.0;
    options.toneMs = toneMs;
    options.gapMs = gapMs;
    SignalTimeline t(kRate);
    EXPECT_EQ(DtmfGenerator(options).Append(t, keys), S_OK);
    return {t.Samples().begin(), t.Samples().end()};
}

void Mix(std::vector<float>& into, std::size_t at, const std::vector<float>& what) {
    for (std::size_t i = 0; i < what.size() && at + i < into.size(); ++i) into[at + i] += what[i];
}

// Pauses in the speech: runs of at least minSamples samples below a whisper.
std::vector<std::pair<std::size_t, std::size_t>> Pauses(const std::vector<float>& s, std::size_t minSamples) {
    std::vector<std::pair<std::size_t, std::size_t>> pauses;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        if (i < s.size() && std::fabs(s[i]) < 0.003f) continue;
        if (i - start >= minSamples) pauses.emplace_back(start, i);
        start = i + 1;
    }
    return pauses;
}

const TalkOff& Signal() {
    static const TalkOff signal = [] {
        TalkOff t;
        if (!speech::ToolsAvailable()) {
            t.skipReason = "espeak-ng and sox are needed to make the speech";
            return t;
        }
        std::string pattern = (std::filesystem::temp_directory_path() / "vornix-talkoff-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            t.skipReason = "no scratch folder";
            return t;
        }
        const std::filesystem::path folder = pattern;
        const std::string keys = DtmfGenerator::kKeys;
        Lcg random;
        std::vector<float> all;
        all.reserve(static_cast<std::size_t>((kMinutes * 60 + 60) * kRate));
        const auto target = static_cast<std::size_t>(kMinutes * 60 * kRate);
        // Round after round every voice reads its next text, so that all of them are
        // heard whatever length the texts come out at.
        for (std::size_t round = 0; all.size() < target; ++round) {
            for (std::size_t r = 0; r < Readings().size() && all.size() < target; ++r) {
                const Reading& reading = Readings()[r];
                bool ok = false;
                std::vector<float> speech = Speak(folder, reading.voice, reading.texts[(round + r) % reading.count], ok);
                t.voicesHeard.insert(reading.voice.name);
                if (!ok) {
                    t.skipReason = std::string("espeak-ng could not speak with voice ") + reading.voice.name;
                    std::filesystem::remove_all(folder);
                    return t;
                }
                // The pauses between sentences and phrases carry the keys: a D answer
                // 100 ms before the talking resumes (what a call-waiting terminal sends
                // before its caller ID), or a short burst of any keys.
                for (const auto& [begin, end] : Pauses(speech, 2400)) {
                    switch (random.Next(4)) {
                        case 0:
                        case 1: {
                            if (end == speech.size()) break;  // no talk after it
                            const auto d = Keys("D", -13.0 + random.Next(7), kAnswerSamples / 8.0, 0.0);
                            Mix(speech, end - kAnswerGap - d.size(), d);
                            t.dAnswerEnds.push_back(all.size() + end - kAnswerGap);
                            break;
                        }
                        case 2: {
                            std::string burst;
                            for (std::uint32_t k = 0, n = 1 + random.Next(4); k < n; ++k)
                                burst += keys[random.Next(16)];
                            const auto b = Keys(burst, -8.0 - random.Next(12), 50.0 + random.Next(40), 60.0);
                            if (b.size() + 400 < end - begin) {
                                Mix(speech, begin + 400, b);
                                t.keysInPauses += static_cast<int>(burst.size());
                            }
                            break;
                        }
                        default:
                            break;
                    }
                }
                // And a few keys pressed while talking.
                for (int k = 0; k < 3; ++k) {
                    const auto key = Keys(std::string(1, keys[random.Next(16)]), -10.0 - random.Next(10), 80.0, 0.0);
                    Mix(speech, random.Next(static_cast<std::uint32_t>(speech.size() - key.size())), key);
                    ++t.keysOverSpeech;
                }
                all.insert(all.end(), speech.begin(), speech.end());
                all.insert(all.end(), static_cast<std::size_t>(0.3 * kRate), 0.0f);
            }
        }
        std::filesystem::remove_all(folder);
        t.seconds = static_cast<double>(all.size()) / kRate;
        SignalTimeline timeline(kRate);
        timeline.AppendSamples(all);
        PcmRenderer renderer(PcmRenderer::Format{16, 1, 0, kRate});
        EXPECT_EQ(renderer.Render(timeline, t.pcm), S_OK);
        return t;
    }();
    return signal;
}

struct Counts {
    int decoded = 0;       // caller-ID messages with a right checksum
    int badChecksums = 0;  // and with a wrong one
    std::string messagesShown;
    int formatNotices = 0;  // a message type byte seen (SDMF or MDMF)
    int otherStatuses = 0;
    int vmwiMessages = 0;
    int vmwiNotices = 0;
    int candidates = 0;  // the front end went on to measure the mark: a seizure or a D seen
    int receptions = 0;  // and found it: the demodulator started
    int dtmfKeys = 0;
    int dAnswersOpen = 0;   // D answers that began while the front end was searching
    int dAnswersHeard = 0;  // and right after which it measured the mark
};

std::string Shown(const CallerIdHarness::CallerId& id) {
    std::string text = "status " + std::to_string(id.status) + " at " + std::to_string(id.position / kRate) +
                       " s, number " + id.number.value_or("(none)") + ", raw";
    char byte[4];
    for (std::uint8_t b : id.raw) {
        std::snprintf(byte, sizeof byte, " %02X", b);
        text += byte;
    }
    return text + "\n";
}

// Decodes the talk-off signal and, after it, one genuine transmission, block by block;
// messages gets what the genuine one gave.
Counts Decode(const CallerIdHarness::Options& options, const std::vector<unsigned char>& genuine,
              std::vector<CallerIdHarness::CallerId>& messages) {
    CallerIdHarness harness(kRate, 16, options);
    Counts c;
    int previous = CDecCIDEx::kSearching;
    std::vector<std::size_t> candidateAt;
    std::vector<std::pair<std::size_t, int>> states{{0, CDecCIDEx::kSearching}};  // from which sample on
    const auto feed = [&](const std::vector<unsigned char>& pcm) {
        for (std::size_t at = 0; at < pcm.size(); at += 2 * kBlock) {
            const std::size_t n = std::min<std::size_t>(2 * kBlock, pcm.size() - at);
            ASSERT_EQ(harness.Feed(std::span(pcm).subspan(at, n)), S_OK);
            const int state = harness.Decoder().GetDetectorState();
            if (state == previous) continue;
            if (state == CDecCIDEx::kMeasuringMark) {
                ++c.candidates;
                candidateAt.push_back((at + n) / 2);
            }
            if (state == CDecCIDEx::kReceiving || state == CDecCIDEx::kReceivingJapanese) ++c.receptions;
            previous = state;
            states.emplace_back((at + n) / 2, state);
        }
    };
    feed(Signal().pcm);
    // A D answer can only be heard by a front end that is searching when it begins (not
    // one still receiving talk). It notices that the D has ended in the first sub-block
    // that is above the silence level and has lost the pair: when the talk is back, which
    // for a soft onset can be a syllable after the pause ends.
    for (std::size_t end : Signal().dAnswerEnds) {
        const std::size_t start = end - kAnswerSamples;
        const auto next = std::upper_bound(states.begin(), states.end(), std::make_pair(start, 1 << 30));
        if (std::prev(next)->second != CDecCIDEx::kSearching) continue;
        ++c.dAnswersOpen;
        const auto heard = std::lower_bound(candidateAt.begin(), candidateAt.end(), start);
        c.dAnswersHeard += heard != candidateAt.end() && *heard <= end + kAnswerGap + kRate / 4;
    }
    for (const auto& id : harness.AllCallerIds()) {
        if (id.status == CDecCIDFMT::kDecoded || id.status == CDecCIDFMT::kBadChecksum) {
            ++(id.status == CDecCIDFMT::kDecoded ? c.decoded : c.badChecksums);
            c.messagesShown += Shown(id);
        } else if (id.status == CDecCIDFMT::kSdmfStarted || id.status == CDecCIDFMT::kMdmfStarted) {
            ++c.formatNotices;
        } else {
            ++c.otherStatuses;
            c.messagesShown += Shown(id);
        }
    }
    for (const auto& v : harness.Vmwis()) ++(v.status == CDecCIDFMT::kVmwiStarted ? c.vmwiNotices : c.vmwiMessages);
    for (int id : harness.MessageIds()) c.dtmfKeys += id == DM_DTMF;
    const std::size_t before = harness.Messages().size();
    feed(genuine);
    harness.Flush();
    const auto after = harness.Messages();
    messages.assign(after.begin() + static_cast<std::ptrdiff_t>(before), after.end());
    return c;
}

std::vector<std::uint8_t> GenuineMessage() {
    std::vector<std::uint8_t> data{0x01, 8};
    for (char ch : std::string("06011200")) data.push_back(static_cast<std::uint8_t>(ch));
    data.push_back(0x02);
    data.push_back(7);
    for (char ch : std::string("5550142")) data.push_back(static_cast<std::uint8_t>(ch));
    return fsk_reference::Message(0x80, data);
}

// A second of quiet, then a genuine transmission built from the line framing: on hook
// with its seizure, or call waiting, opened by the D answer 100 ms before the marks.
std::vector<unsigned char> GenuineCall(bool callWaiting) {
    using namespace fsk_reference;
    std::vector<float> s(kRate, 0.0f);
    if (callWaiting) {
        const auto d = Keys("D", -13.0, kAnswerSamples / 8.0, 0.0);
        s.insert(s.end(), d.begin(), d.end());
        s.resize(s.size() + kAnswerGap, 0.0f);
    }
    AppendBits(s, kRate, Line{}, OnHookBits(GenuineMessage(), callWaiting ? 0 : 300, callWaiting ? 80 : 180));
    s.resize(s.size() + kRate / 2, 0.0f);
    SignalTimeline t(kRate);
    t.AppendSamples(s);
    std::vector<unsigned char> pcm;
    EXPECT_EQ(PcmRenderer(PcmRenderer::Format{16, 1, 0, kRate}).Render(t, pcm), S_OK);
    return pcm;
}

void Report(const char* pass, const Counts& c) {
    const double minutes = Signal().seconds / 60.0;
    std::cout << "[ talk-off, " << pass << " ] " << minutes << " min of speech in " << Signal().voicesHeard.size()
              << " voices with " << Signal().dAnswerEnds.size()
              << " D answers, " << Signal().keysInPauses << " keys in pauses and " << Signal().keysOverSpeech
              << " over speech: caller-ID messages " << c.decoded << " decoded, " << c.badChecksums
              << " with a bad checksum; message waiting " << c.vmwiMessages << "; format notices " << c.formatNotices
              << ", message-waiting notices " << c.vmwiNotices << ", other statuses " << c.otherStatuses
              << "; front end: " << c.candidates << " mark measurements, " << c.receptions << " receptions, "
              << c.dAnswersHeard << " of " << c.dAnswersOpen << " D answers heard while searching; DTMF keys "
              << c.dtmfKeys << "\n"
              << c.messagesShown;
    ::testing::Test::RecordProperty("minutes", std::to_string(minutes));
    ::testing::Test::RecordProperty("badChecksums", c.badChecksums);
    ::testing::Test::RecordProperty("formatNotices", c.formatNotices);
    ::testing::Test::RecordProperty("vmwiNotices", c.vmwiNotices);
    ::testing::Test::RecordProperty("markMeasurements", c.candidates);
    ::testing::Test::RecordProperty("receptions", c.receptions);
}

class CallerIdTalkOff : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Signal().skipReason.empty()) GTEST_SKIP() << Signal().skipReason;
        ASSERT_GE(Signal().seconds, kMinutes * 60);
        ASSERT_EQ(Signal().voicesHeard.size(), Readings().size());
    }
};

TEST_F(CallerIdTalkOff, OnHookCallerIdAndMessageWaitingIgnoreTenMinutesOfTalkAndKeys) {
    CallerIdHarness::Options options;
    options.vmwi = true;
    std::vector<CallerIdHarness::CallerId> after;
    const Counts c = Decode(options, GenuineCall(false), after);
    Report("on hook", c);
    // Talk can pass the seizure and mark tests and frame a byte that reads as a message
    // type; what follows never makes a message of the right length and checksum.
    EXPECT_EQ(c.decoded, 0) << c.messagesShown;
    EXPECT_EQ(c.badChecksums, 0) << c.messagesShown;
    EXPECT_EQ(c.otherStatuses, 0) << c.messagesShown;
    EXPECT_EQ(c.vmwiMessages, 0);
    // Still listening: the caller ID that follows the talk is received.
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].status, CDecCIDFMT::kDecoded);
    EXPECT_EQ(after[0].raw, GenuineMessage());
}

TEST_F(CallerIdTalkOff, CallWaitingWithDtmfOnIgnoresTenMinutesOfTalkAndKeys) {
    CallerIdHarness::Options options;
    options.vmwi = true;
    options.callWaiting = true;
    options.dtmf = true;
    std::vector<CallerIdHarness::CallerId> after;
    const Counts c = Decode(options, GenuineCall(true), after);
    Report("call waiting", c);
    // Talk after a D answer is demodulated as if it were FSK until the reception idles
    // out, without making a message.
    EXPECT_EQ(c.decoded, 0) << c.messagesShown;
    EXPECT_EQ(c.badChecksums, 0) << c.messagesShown;
    EXPECT_EQ(c.otherStatuses, 0) << c.messagesShown;
    EXPECT_EQ(c.vmwiMessages, 0);
    // Every D answer that found the front end searching set it measuring the mark, so the
    // talk after each one went the way a call-waiting transmission goes.
    EXPECT_GT(c.dAnswersOpen, static_cast<int>(Signal().dAnswerEnds.size()) / 2);
    EXPECT_EQ(c.dAnswersHeard, c.dAnswersOpen);
    ASSERT_EQ(after.size(), 1u) << "the call-waiting caller ID that follows the talk";
    EXPECT_EQ(after[0].status, CDecCIDFMT::kDecoded);
    EXPECT_EQ(after[0].raw, GenuineMessage());
}

}  // namespace
