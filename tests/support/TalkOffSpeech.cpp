#include "support/TalkOffSpeech.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "support/SpeechSynthesis.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace talkoff {

namespace {

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

// A short burst of genuine keys: 300 ms of quiet, the keys at 60 ms on / 60 ms off, and
// 300 ms of quiet before the next reading starts.
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

}  // namespace

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

const Spoken* SpokenReading(std::size_t n, std::string& failure) {
    static std::deque<Spoken> spoken;  // a deque: what was handed out stays put as it grows
    static std::string failed;
    while (spoken.size() <= n && failed.empty()) {
        if (!speech::ToolsAvailable()) {
            failed = "espeak-ng and sox are needed to make the speech";
            break;
        }
        std::string pattern = (std::filesystem::temp_directory_path() / "vornix-talkoff-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            failed = "no scratch folder";
            break;
        }
        const std::size_t i = spoken.size();
        const std::size_t round = i / Readings().size(), r = i % Readings().size();
        const Reading& reading = Readings()[r];
        Spoken s{&reading, {}};
        const bool ok = speech::Speak(std::filesystem::path(pattern) / "text.txt", reading.voice,
                                      reading.wordsPerMinute, reading.pitch, "vol " + std::to_string(reading.gain),
                                      reading.texts[(round + r) % reading.count], s.pcm);
        std::filesystem::remove_all(pattern);
        if (!ok) {
            failed = std::string("espeak-ng could not speak with voice ") + reading.voice;
            break;
        }
        spoken.push_back(std::move(s));
    }
    if (n < spoken.size()) return &spoken[n];
    failure = failed;
    return nullptr;
}

const SpeechWithKeys::Piece* SpeechWithKeys::PieceAt(std::int64_t position) const {
    auto it = std::upper_bound(pieces.begin(), pieces.end(), position,
                               [](std::int64_t p, const Piece& piece) { return p < piece.start; });
    return it == pieces.begin() ? nullptr : &*std::prev(it);
}

const SpeechWithKeys& SpeechAndKeys() {
    static const SpeechWithKeys result = [] {
        SpeechWithKeys t;
        std::int64_t position = 0;
        std::size_t keyIndex = 0;
        const auto add = [&](std::string label, bool keys, std::span<const unsigned char> pcm) {
            t.pieces.push_back({position, std::move(label), keys, pcm});
            position += static_cast<std::int64_t>(pcm.size() / 2);
            t.seconds += static_cast<double>(pcm.size() / 2) / kRate;
        };
        for (std::size_t n = 0; t.seconds < kTargetSeconds; ++n) {
            const Spoken* spoken = SpokenReading(n, t.skipReason);
            if (spoken == nullptr) return t;
            const std::string voice = spoken->reading->voice;
            t.languages.insert(voice.substr(0, voice.find('+')));
            add(voice, false, spoken->pcm);
            // Three keys, walking through the grid, at -10 to -22 dBFS.
            const std::size_t round = n / Readings().size(), r = n % Readings().size();
            std::string keys;
            for (int k = 0; k < 3; ++k) keys.push_back(DtmfGenerator::kKeys[keyIndex++ % 16]);
            t.bursts.push_back(KeyBurst(keys, -10.0 - static_cast<double>((round * 7 + r * 3) % 13)));
            t.keysSent += keys;
            add("keys " + keys, true, t.bursts.back());
        }
        return t;
    }();
    return result;
}

}  // namespace talkoff
