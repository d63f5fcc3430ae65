// DTMF conformance figures: what the detector accepts and rejects, measured by feeding it
// synthetic key sequences (and speech, and other in-band signalling) through the whole
// decoder aggregate, configured as the control object configures it. Prints one table per
// detector profile. Nothing here is timed; the throughput lives in vornix_bench.
//
//   vornix_dtmf_conformance [--quick] [--noise-keys N] [--talk-minutes M] [--no-talkoff]
//                           [--cache DIR] [--recordings DIR]...
//   vornix_dtmf_conformance --decode SOUNDFILE     (one file through both profiles)
//
// --quick shortens the expensive parts (noise runs, alignment sweeps, talk-off) for a
// smoke run. The talk-off speech is made once with espeak-ng and sox and kept in the
// cache folder (default /tmp), so reruns only decode it; so is the recorded speech found
// in the --recordings folders (by default the packaged collections named in main).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/CBaseDecoder.h"
#include "decoder/DecoderMessages.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"
#include "synth/WhiteNoise.h"
#include "tones/CDecDTMF.h"

namespace {

constexpr int kRate = 8000;
constexpr int kBlock = 102;  // the detector's long-mode block at 8 kHz
const std::string kGrid = "123A456B789C*0#D";

// ---------------------------------------------------------------------------------------
// The detector under test.

struct Profile {
    const char* name;
    CDecDTMF::Profile value;
};

// Adding a profile to the table is one line here.
std::vector<Profile> Profiles() {
    return {{"exact", CDecDTMF::Profile::kExact}, {"robust", CDecDTMF::Profile::kRobust}};
}

struct Key {
    char key;
    std::int64_t position;
};

// The decoder aggregate with only the DTMF detector on, at the control object's defaults.
class Detector {
public:
    explicit Detector(const Profile& profile) {
        m_decoder.SetHandle(DecoderEventProc{&Detector::Record, this}, nullptr);
        m_decoder.SetParameters(kRate, 16, -45.0f, CBaseDecoder::kMono);
        m_decoder.EnableXDec(DEC_DTMF, 1);
        CDecDTMF::GetDefaultFreqs(m_rows, m_cols);
        m_decoder.SetFreqs(m_rows, m_cols);
        m_decoder.SetTwist(0.0f, 0.0f);
        // The profile takes effect at the next SetParameters.
        m_decoder.SetProfile(profile.value);
        if (m_decoder.CDecDTMF::SetParameters(-65.0f, 12.0f, 40, 40, 15.1f, 1.2f, -1) != S_OK) {
            std::fprintf(stderr, "detector refused the default parameters\n");
            std::exit(2);
        }
    }

    void Feed(std::span<const unsigned char> bytes) {
        constexpr std::size_t kBuffer = 4096;
        for (std::size_t at = 0; at < bytes.size(); at += kBuffer) {
            const std::size_t n = std::min(kBuffer, bytes.size() - at);
            m_decoder.InputData2(bytes.data() + at, static_cast<int>(n));
        }
    }
    void Flush() { m_decoder.putSamples(nullptr, 0, 1); }
    const std::vector<Key>& Keys() const { return m_keys; }

private:
    static void Record(void* context, int msg, std::uint64_t wParam, std::int64_t lParam) {
        if (msg == DM_DTMF)
            static_cast<Detector*>(context)->m_keys.push_back({static_cast<char>(wParam & 0xFF), lParam});
    }

    float m_rows[4] = {};
    float m_cols[4] = {};
    CBaseDecoder m_decoder;
    std::vector<Key> m_keys;
};

std::vector<unsigned char> Render(const SignalTimeline& signal) {
    std::vector<unsigned char> pcm;
    PcmRenderer(PcmRenderer::Format{16, 1, 0, kRate}).Render(signal, pcm);
    return pcm;
}

std::string Decode(const SignalTimeline& signal, const Profile& profile) {
    auto detector = std::make_unique<Detector>(profile);
    detector->Feed(Render(signal));
    detector->Flush();
    std::string text;
    for (const Key& k : detector->Keys()) text.push_back(k.key);
    return text;
}

// ---------------------------------------------------------------------------------------
// Scoring one run against the keys sent.

struct Score {
    std::size_t sent = 0;
    std::size_t hits = 0;    // keys matched in order (longest common subsequence)
    std::size_t extras = 0;  // keys decoded beyond those: wrong, split or invented
    bool Perfect() const { return hits == sent && extras == 0; }
    Score& operator+=(const Score& o) {
        sent += o.sent;
        hits += o.hits;
        extras += o.extras;
        return *this;
    }
};

Score Compare(const std::string& sent, const std::string& got) {
    std::vector<std::size_t> row(got.size() + 1, 0), next(got.size() + 1, 0);
    for (char s : sent) {
        for (std::size_t j = 0; j < got.size(); ++j)
            next[j + 1] = s == got[j] ? row[j] + 1 : std::max(row[j + 1], next[j]);
        std::swap(row, next);
    }
    const std::size_t hits = row[got.size()];
    return {sent.size(), hits, got.size() - hits};
}

// One character per condition: '+' every key right, '.' nothing decoded, 'p' some keys
// missed (none wrong), '!' keys decoded that were not sent.
char Mark(const Score& s) {
    if (s.Perfect()) return '+';
    if (s.extras > 0) return '!';
    return s.hits == 0 ? '.' : 'p';
}

// ---------------------------------------------------------------------------------------
// Signals.

// The keys one after another at the given options, after a lead-in of `lead` samples.
SignalTimeline KeySignal(const DtmfGenerator::Options& options, const std::string& keys, std::size_t lead) {
    SignalTimeline t(kRate);
    t.AppendSilence(lead);
    DtmfGenerator generator(options);
    for (char k : keys) generator.AppendKey(t, k);
    t.AppendSilence(static_cast<std::size_t>(0.2 * kRate));
    return t;
}

Score Run(const DtmfGenerator::Options& options, const std::string& keys, std::size_t lead,
          const Profile& profile) {
    return Compare(keys, Decode(KeySignal(options, keys, lead), profile));
}

// Deterministic key choices, so that every run of the table is the same.
std::string RandomKeys(std::size_t count, std::uint64_t seed) {
    WhiteNoise random(seed);
    std::string keys;
    for (std::size_t i = 0; i < count; ++i) keys.push_back(kGrid[random.NextBits() % 16]);
    return keys;
}

struct Settings {
    bool quick = false;
    std::size_t noiseKeys = 1000;
    double talkMinutes = 60.0;
    bool talkOff = true;
    std::filesystem::path cache = "/tmp";
    std::vector<std::filesystem::path> recordings;  // folders of recorded speech
    int alignmentStep = 8;
};

// Contiguous run of '+' around the nominal index, as indices [lo, hi]; lo > hi when the
// nominal condition itself fails.
std::pair<int, int> RunAround(const std::string& marks, int nominal) {
    if (marks[static_cast<std::size_t>(nominal)] != '+') return {1, 0};
    int lo = nominal, hi = nominal;
    while (lo > 0 && marks[static_cast<std::size_t>(lo - 1)] == '+') --lo;
    while (hi + 1 < static_cast<int>(marks.size()) && marks[static_cast<std::size_t>(hi + 1)] == '+') ++hi;
    return {lo, hi};
}

// ---------------------------------------------------------------------------------------
// 1. Frequency acceptance band of each tone.

void FrequencyBand(const Profile& profile) {
    std::printf("\n1. Frequency acceptance per tone: offset of that tone (the other tone of each key\n"
                "   nominal), -10 dBFS per tone, 50 ms tone / 50 ms gap; the four keys on that tone,\n"
                "   three times each (the 100 ms period moves each key to another block alignment).\n"
                "   '+' all 12 right, 'p' some missed, '.' none, '!' wrong keys decoded.\n");
    std::printf("   offset %%  ");
    for (int step = -10; step <= 10; ++step) std::printf("%c", step == 0 ? '0' : (step % 2 == 0 ? '|' : ' '));
    std::printf("   (-5.0 .. +5.0 %% in 0.5 %% steps)  accepted band / any key decoded\n");
    for (int tone = 0; tone < 8; ++tone) {
        const bool row = tone < 4;
        const double hz = row ? DtmfGenerator::kRowHz[tone] : DtmfGenerator::kColHz[tone - 4];
        std::string keys;
        for (int rep = 0; rep < 3; ++rep)
            for (int other = 0; other < 4; ++other)
                keys.push_back(row ? kGrid[static_cast<std::size_t>(4 * tone + other)]
                                   : kGrid[static_cast<std::size_t>(4 * other + tone - 4)]);
        std::string marks;
        for (int step = -10; step <= 10; ++step) {
            DtmfGenerator::Options options;
            (row ? options.rowOffsetPercent : options.colOffsetPercent) = 0.5 * step;
            marks.push_back(Mark(Run(options, keys, 0, profile)));
        }
        const auto [lo, hi] = RunAround(marks, 10);
        const auto first = marks.find_first_not_of('.');
        const auto last = marks.find_last_not_of('.');
        std::printf("   %4.0f Hz   %s   ", hz, marks.c_str());
        if (lo <= hi)
            std::printf("%+.1f .. %+.1f %%", 0.5 * (lo - 10), 0.5 * (hi - 10));
        else
            std::printf("nominal fails");
        if (first != std::string::npos)
            std::printf("  /  %+.1f .. %+.1f %%", 0.5 * (static_cast<int>(first) - 10),
                        0.5 * (static_cast<int>(last) - 10));
        std::printf("\n");
    }
}

// ---------------------------------------------------------------------------------------
// 2. Shortest tone and shortest gap, over every block alignment.

// Marks for one duration over all lead-ins: '+' when every alignment is perfect, '.'
// when none decodes anything, '!' when some decodes a wrong key, else 'p'.
char SweepAlignments(const DtmfGenerator::Options& options, const std::string& keys, const Profile& profile,
                     const Settings& settings, int& perfectAlignments, int& alignments, Score& total) {
    total = Score{};
    perfectAlignments = 0;
    alignments = 0;
    for (int lead = 0; lead < kBlock; lead += settings.alignmentStep) {
        const Score s = Run(options, keys, static_cast<std::size_t>(lead), profile);
        perfectAlignments += s.Perfect();
        ++alignments;
        total += s;
    }
    return Mark(total);
}

void Durations(const Profile& profile, const Settings& settings) {
    std::printf("\n2. Shortest tone and gap, -10 dBFS per tone, start swept over one 102-sample block\n"
                "   in steps of %d samples; a duration is accepted when every key is right in every\n"
                "   alignment.\n",
                settings.alignmentStep);
    {
        std::string marks;
        std::vector<int> perfect;
        std::vector<Score> totals;
        int alignments = 0;
        for (int ms = 10; ms <= 60; ++ms) {
            DtmfGenerator::Options options;
            options.toneMs = ms;
            options.gapMs = 60.0;
            int p = 0;
            Score total;
            marks.push_back(SweepAlignments(options, kGrid, profile, settings, p, alignments, total));
            perfect.push_back(p);
            totals.push_back(total);
        }
        const auto lastBad = marks.find_last_not_of('+');
        const auto lastNone = marks.rfind('.');
        std::printf("   tone (gap 60 ms), 16 keys:  10 ms %s 60 ms\n", marks.c_str());
        std::printf("     accepted from %s; rejected in every alignment up to %s\n",
                    lastBad == std::string::npos ? "10 ms (all)"
                                                 : (std::to_string(10 + lastBad + 1) + " ms").c_str(),
                    lastNone == std::string::npos ? "(none rejected)"
                                                  : (std::to_string(10 + lastNone) + " ms").c_str());
        std::printf("     alignments (of %d) with every key right, per ms from 20 ms:", alignments);
        for (int ms = 20; ms <= 50; ++ms) std::printf(" %d", perfect[static_cast<std::size_t>(ms - 10)]);
        std::printf("\n     keys decoded (of %zu sent) per ms from 10 ms to 30 ms:", totals[0].sent);
        for (int ms = 10; ms <= 30; ++ms) std::printf(" %zu", totals[static_cast<std::size_t>(ms - 10)].hits);
        std::printf("\n");
    }
    {
        std::string keys;
        for (char k : kGrid) keys += std::string(2, k);  // each key twice: the gap must split them
        std::string marks;
        int alignments = 0;
        for (int ms = 0; ms <= 60; ++ms) {
            DtmfGenerator::Options options;
            options.toneMs = 50.0;
            options.gapMs = ms;
            int p = 0;
            Score total;
            marks.push_back(SweepAlignments(options, keys, profile, settings, p, alignments, total));
        }
        const auto lastBad = marks.find_last_not_of('+');
        std::printf("   gap (tone 50 ms), 16 keys each twice:  0 ms %s 60 ms\n", marks.c_str());
        std::printf("     accepted from %s\n", lastBad == std::string::npos
                                                   ? "0 ms (all)"
                                                   : (std::to_string(lastBad + 1) + " ms").c_str());
    }
}

// ---------------------------------------------------------------------------------------
// 3. Twist, 4. level.

void Twist(const Profile& profile) {
    std::string keys = kGrid + kGrid + kGrid;
    std::string marks;
    for (int twist = -15; twist <= 15; ++twist) {
        DtmfGenerator::Options options;
        options.twistDb = twist;
        options.levelDbfs = -10.0 - std::max(twist, 0);  // the stronger tone at -10 dBFS
        marks.push_back(Mark(Run(options, keys, 0, profile)));
    }
    const auto [lo, hi] = RunAround(marks, 15);
    std::printf("\n3. Twist (high group minus low group, dB; the stronger tone at -10 dBFS), 48 keys:\n"
                "   -15 dB %s +15 dB\n", marks.c_str());
    if (lo <= hi)
        std::printf("   accepted %+d .. %+d dB\n", lo - 15, hi - 15);
    else
        std::printf("   nominal fails\n");
}

void Levels(const Profile& profile) {
    std::string keys = kGrid + kGrid + kGrid;
    std::string marks;
    for (int level = 0; level >= -70; --level) {
        DtmfGenerator::Options options;
        options.levelDbfs = level;
        marks.push_back(Mark(Run(options, keys, 0, profile)));
    }
    // marks[i] is the level -i dBFS.
    const auto [lo, hi] = RunAround(marks, 10);
    std::printf("\n4. Level, both tones equal, 48 keys (above -6 dBFS per tone the pair clips):\n"
                "   0 dBFS %s -70 dBFS\n", marks.c_str());
    if (lo <= hi)
        std::printf("   every key right from %d down to %d dBFS per tone (%.0f dB range)\n", -lo, -hi,
                    static_cast<double>(hi - lo));
}

// ---------------------------------------------------------------------------------------
// 5. Noise.

void Noise(const Profile& profile, const Settings& settings) {
    const std::string keys = RandomKeys(settings.noiseKeys, 1234);
    std::printf("\n5. White noise (0-4 kHz), %zu random keys, -10 dBFS per tone, 50 ms / 50 ms.\n"
                "   SNR = one tone's power over the whole band's noise power (the pair's is 3 dB more).\n"
                "   SNR dB:  missed / extra keys\n   ",
                keys.size());
    std::vector<std::pair<int, Score>> results;
    int lowestPerfect = 99;
    for (int snr = 30; snr >= -6; --snr) {
        SignalTimeline t = KeySignal(DtmfGenerator::Options{}, keys, 0);
        t.AddNoise(-10.0 - snr, 77 + static_cast<std::uint64_t>(snr + 100));
        const Score s = Compare(keys, Decode(t, profile));
        if (s.Perfect() && lowestPerfect == snr + 1) lowestPerfect = snr;
        if (results.empty() && s.Perfect()) lowestPerfect = snr;
        results.emplace_back(snr, s);
        if (s.hits * 2 < s.sent) break;  // well past the knee
    }
    // From a few dB above the first failure down to where half the keys are lost.
    int shown = 0;
    for (const auto& [snr, s] : results) {
        if (snr > lowestPerfect + 3) continue;
        std::printf("%+3d: %zu/%zu  ", snr, s.sent - s.hits, s.extras);
        if (++shown % 6 == 0) std::printf("\n   ");
    }
    if (lowestPerfect == 99)
        std::printf("\n   keys lost even at +30 dB\n");
    else
        std::printf("\n   every key right at each SNR from +30 dB down to %+d dB per tone (%+d dB for the pair)\n",
                    lowestPerfect, lowestPerfect + 3);
}

// ---------------------------------------------------------------------------------------
// 6. Talk-off: espeak-ng speech.

const char* const kEnglish[] = {
    "Good morning, this is a message for the accounts department. We received your invoice on "
    "Tuesday, but the total does not match the order. Could you please check line fourteen and "
    "send a corrected copy before the end of the week? My extension is four three seven two.",
    "The weather tonight will be mostly cloudy, with scattered showers moving in from the west "
    "after midnight. Winds will be light and variable. Tomorrow starts grey and damp, but the "
    "afternoon should brighten, with highs around sixty-two degrees and a gentle breeze.",
    "Thank you for calling. All of our agents are busy at the moment. Your call is important to "
    "us, and it will be answered in the order it was received. You are number six in the queue. "
    "The expected waiting time is approximately eleven minutes. Please stay on the line.",
    "Whistling softly, the shepherd crossed the fresh snow, his sheep shuffling slowly behind "
    "him. Six thick thistle sticks. She sells sea shells by the sea shore. Oh, really? Yes! "
    "Eeeh, aaah, ooooh, mmmm. Seventeen, twenty-nine, thirty-three, ninety-nine, one two one two.",
};
const char* const kGerman[] = {
    "Guten Tag, hier ist der Anrufbeantworter der Praxis. Unsere Sprechzeiten sind montags bis "
    "freitags von acht bis zwölf Uhr und donnerstags zusätzlich von fünfzehn bis achtzehn Uhr. "
    "In dringenden Fällen wählen Sie bitte die Nummer des ärztlichen Bereitschaftsdienstes.",
    "Fischers Fritz fischt frische Fische, frische Fische fischt Fischers Fritz. Zwischen zwei "
    "Zwetschgenzweigen zwitschern zwei Schwalben. Es grünt so grün, wenn Spaniens Blüten blühen.",
};
const char* const kFrench[] = {
    "Bonjour, vous êtes bien au service clients. Pour connaître le solde de votre compte, tapez "
    "un. Pour signaler une perte ou un vol, tapez deux. Pour toute autre demande, restez en "
    "ligne, un conseiller va vous répondre dans quelques instants. Merci de votre patience.",
    "Les chaussettes de l'archiduchesse sont-elles sèches, archi-sèches? Un chasseur sachant "
    "chasser doit savoir chasser sans son chien. Il était une fois, dans un petit village au bord "
    "de la mer, une vieille femme qui chantait tous les matins.",
};
const char* const kSpanish[] = {
    "Hola, buenas tardes. Le llamo del taller para decirle que su coche ya está listo. Hemos "
    "cambiado el aceite, los filtros y las pastillas de freno. Puede pasar a recogerlo mañana "
    "entre las nueve y las siete. El importe total es de doscientos cuarenta y ocho euros.",
    "Tres tristes tigres tragaban trigo en un trigal. El perro de San Roque no tiene rabo porque "
    "Ramón Ramírez se lo ha cortado. ¿Quién es? ¡Ay, qué bonito! Uno, dos, tres, cuatro, cinco.",
};
const char* const kItalian[] = {
    "Buongiorno, ha chiamato lo studio dentistico. In questo momento siamo chiusi. Il nostro "
    "orario è dal lunedì al venerdì, dalle nove alle tredici e dalle quindici alle diciannove. "
    "Per un appuntamento urgente lasci il suo nome e il suo numero dopo il segnale acustico.",
    "Sopra la panca la capra campa, sotto la panca la capra crepa. Trentatré trentini entrarono a "
    "Trento tutti e trentatré trotterellando. Che bella giornata! Andiamo al mare domenica?",
};
const char* const kPortuguese[] = {
    "Olá, obrigado por ligar para a farmácia central. O nosso horário de funcionamento é das "
    "oito e meia às vinte horas, de segunda a sábado. Aos domingos e feriados estamos abertos "
    "apenas de manhã. Para encomendas, por favor deixe a sua mensagem após o sinal.",
    "O rato roeu a roupa do rei de Roma, e a rainha com raiva resolveu remendar. Três pratos de "
    "trigo para três tigres tristes. Quantos anos tens? Vinte e sete, quase vinte e oito.",
};
const char* const kDutch[] = {
    "Goedemiddag, u spreekt met de klantenservice van het energiebedrijf. Al onze medewerkers "
    "zijn op dit moment in gesprek. Wilt u een meterstand doorgeven, toets dan een. Voor vragen "
    "over uw jaarafrekening blijft u aan de lijn. Er zijn nog vier wachtenden voor u.",
    "Achter de kerk staat een ouwe schuur, waar de wind door de gaten fluit. Scheveningen, "
    "Groningen, Utrecht en Eindhoven. Hoe laat is het? Het is kwart over zeven, nog vroeg genoeg.",
};
const char* const kPolish[] = {
    "Dzień dobry, dodzwonili się Państwo do biura obsługi klienta. Wszyscy konsultanci są "
    "obecnie zajęci. Prosimy pozostać na linii lub zadzwonić ponownie w godzinach od ósmej do "
    "szesnastej. Dziękujemy za cierpliwość i życzymy miłego dnia.",
    "W Szczebrzeszynie chrząszcz brzmi w trzcinie i Szczebrzeszyn z tego słynie. Stół z "
    "powyłamywanymi nogami. Czy to prawda? Tak, oczywiście, jutro o siódmej trzydzieści.",
};
const char* const kSwedish[] = {
    "Hej, du har kommit till vårdcentralens telefonsvarare. Vi har öppet vardagar mellan åtta "
    "och sexton. Om du vill boka en tid, tryck ett. Om du vill förnya ett recept, tryck två. "
    "Vid akuta besvär, ring larmnumret eller uppsök närmaste akutmottagning.",
    "Sju sjösjuka sjömän på skeppet Shanghai sköttes av sju sköna sjuksköterskor. Kvistfritt "
    "kvastskaft. Vad kostar det? Det kostar nittionio kronor och femtio öre, tack så mycket.",
};

struct Language {
    const char* voice;  // espeak-ng voice; a variant is appended
    const char* const* texts;
    std::size_t count;
};

const std::vector<Language>& Languages() {
    static const std::vector<Language> languages = {
        {"en-gb", kEnglish, std::size(kEnglish)},   {"en-us", kEnglish, std::size(kEnglish)},
        {"de", kGerman, std::size(kGerman)},        {"fr-fr", kFrench, std::size(kFrench)},
        {"es", kSpanish, std::size(kSpanish)},      {"it", kItalian, std::size(kItalian)},
        {"pt", kPortuguese, std::size(kPortuguese)}, {"nl", kDutch, std::size(kDutch)},
        {"pl", kPolish, std::size(kPolish)},        {"sv", kSwedish, std::size(kSwedish)},
    };
    return languages;
}

// Each round reads every text once more in another variant, speed, pitch and level, so
// an hour is never the same sentence twice in the same voice.
struct Variant {
    const char* suffix;
    int wordsPerMinute;
    int pitch;
    double gain;  // espeak-ng peaks near -4 dBFS: from clipping loud to quiet
};
constexpr Variant kVariants[] = {
    {"", 160, 50, 1.0},        {"+f3", 175, 70, 0.5},   {"+m3", 140, 35, 1.5},   {"+f2", 185, 60, 0.8},
    {"+klatt2", 150, 40, 1.0}, {"+m7", 180, 20, 0.35}, {"+f4", 145, 80, 1.2},   {"+m1", 170, 45, 0.6},
    {"+klatt3", 155, 55, 1.4}, {"+f1", 165, 65, 0.25}, {"+croak", 150, 30, 1.0}, {"+m5", 190, 50, 0.9},
};

struct Segment {
    std::size_t start;  // first sample
    std::string voice;
};

struct Speech {
    std::string what;
    std::filesystem::path file;  // 16-bit little-endian mono at 8 kHz
    std::size_t samples = 0;
    std::vector<Segment> segments;
    std::set<std::string> voices, baseVoices, languages;
    double Hours() const { return static_cast<double>(samples) / kRate / 3600.0; }
    bool recorded = false;
    const Segment* SegmentAt(std::size_t sample) const {
        auto it = std::upper_bound(segments.begin(), segments.end(), sample,
                                   [](std::size_t s, const Segment& seg) { return s < seg.start; });
        return it == segments.begin() ? nullptr : &*std::prev(it);
    }
    // Voice and time into its reading (for recordings, the file).
    std::string Where(std::size_t sample) const {
        const Segment* seg = SegmentAt(sample);
        if (seg == nullptr) return "?";
        char at[32];
        std::snprintf(at, sizeof at, ", %.2f s into it", static_cast<double>(sample - seg->start) / kRate);
        return seg->voice + at;
    }
    // What the false keys are summed by: the voice, or a recording's language.
    std::string Group(std::size_t sample) const {
        const Segment* seg = SegmentAt(sample);
        if (seg == nullptr) return "?";
        if (!recorded) return seg->voice;
        const std::string folder = std::filesystem::path(seg->voice).parent_path().filename().string();
        return folder.size() == 2 ? folder : "en";
    }
};

bool Speak(const std::string& voice, const Variant& v, const char* text, std::vector<unsigned char>& pcm) {
    const std::string scratch = (std::filesystem::temp_directory_path() / "vornix-conformance-text.txt").string();
    std::ofstream(scratch) << text;
    const std::string command = "espeak-ng --stdout -v " + voice + " -s " + std::to_string(v.wordsPerMinute) +
                                " -p " + std::to_string(v.pitch) + " -f '" + scratch +
                                "' 2>/dev/null | sox -D -t wav - -t raw -r 8000 -e signed-integer -b 16 -c 1 "
                                "-L - vol " + std::to_string(v.gain) + " 2>/dev/null";
    pcm.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    unsigned char chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) pcm.insert(pcm.end(), chunk, chunk + n);
    pcm.resize(pcm.size() & ~std::size_t{1});
    return ::pclose(pipe) == 0 && !pcm.empty();
}

// Makes the speech, or reads back the copy a previous run left in the cache.
bool MakeSpeech(const Settings& settings, Speech& speech) {
    const auto target = static_cast<std::size_t>(settings.talkMinutes * 60.0 * kRate);
    const std::string stem = "vornix-dtmf-talkoff-v1-" + std::to_string(static_cast<long>(settings.talkMinutes * 60));
    speech.file = settings.cache / (stem + ".raw");
    const auto index = settings.cache / (stem + ".idx");
    if (std::filesystem::exists(speech.file) && std::filesystem::exists(index)) {
        std::ifstream in(index);
        Segment seg;
        while (in >> seg.start && std::getline(in >> std::ws, seg.voice)) speech.segments.push_back(seg);
        speech.samples = std::filesystem::file_size(speech.file) / 2;
    } else {
        if (std::system("command -v espeak-ng >/dev/null 2>&1 && command -v sox >/dev/null 2>&1") != 0) return false;
        std::ofstream out(speech.file, std::ios::binary);
        std::ofstream idx(index);
        std::vector<unsigned char> pcm;
        const std::vector<unsigned char> pause(static_cast<std::size_t>(0.3 * kRate) * 2, 0);
        for (std::size_t round = 0; speech.samples < target; ++round) {
            for (std::size_t l = 0; l < Languages().size() && speech.samples < target; ++l) {
                const Language& lang = Languages()[l];
                const Variant& v = kVariants[(round + 5 * l) % std::size(kVariants)];
                const std::string voice = std::string(lang.voice) + v.suffix;
                for (std::size_t t = 0; t < lang.count && speech.samples < target; ++t) {
                    if (!Speak(voice, v, lang.texts[t], pcm)) {
                        std::fprintf(stderr, "espeak-ng could not speak with voice %s\n", voice.c_str());
                        out.close();
                        std::filesystem::remove(speech.file);
                        return false;
                    }
                    speech.segments.push_back({speech.samples, voice});
                    idx << speech.samples << ' ' << voice << '\n';
                    out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
                    out.write(reinterpret_cast<const char*>(pause.data()), static_cast<std::streamsize>(pause.size()));
                    speech.samples += (pcm.size() + pause.size()) / 2;
                }
            }
        }
    }
    speech.what = "espeak-ng speech";
    for (const Segment& s : speech.segments) {
        speech.voices.insert(s.voice);
        const std::string base = s.voice.substr(0, s.voice.find('+'));
        speech.baseVoices.insert(base);
        speech.languages.insert(base.substr(0, base.find('-')));
    }
    return speech.samples > 0;
}

// Recorded human speech from packaged, freely licensed collections: every sound file
// below each folder; where a folder keeps its dialogue in per-language subfolders (named
// by a two-letter code), only those, which leaves out music and effects.
std::vector<std::filesystem::path> RecordingFiles(const std::vector<std::filesystem::path>& roots) {
    std::vector<std::filesystem::path> all;
    for (const auto& root : roots) {
        std::error_code error;
        if (!std::filesystem::is_directory(root, error)) continue;
        std::vector<std::filesystem::path> files, dialogue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error)) {
            const auto ext = entry.path().extension();
            if (!entry.is_regular_file() || (ext != ".ogg" && ext != ".wav" && ext != ".flac")) continue;
            files.push_back(entry.path());
            if (entry.path().parent_path().filename().string().size() == 2) dialogue.push_back(entry.path());
        }
        auto& chosen = dialogue.empty() ? files : dialogue;
        std::sort(chosen.begin(), chosen.end());
        all.insert(all.end(), chosen.begin(), chosen.end());
    }
    return all;
}

bool MakeRecorded(const Settings& settings, Speech& speech) {
    const auto files = RecordingFiles(settings.recordings);
    if (files.empty() || std::system("command -v sox >/dev/null 2>&1") != 0) return false;
    const std::string stem = "vornix-dtmf-recorded-v1-" + std::to_string(files.size());
    speech.file = settings.cache / (stem + ".raw");
    const auto index = settings.cache / (stem + ".idx");
    if (std::filesystem::exists(speech.file) && std::filesystem::exists(index)) {
        std::ifstream in(index);
        Segment seg;
        while (in >> seg.start && std::getline(in >> std::ws, seg.voice)) speech.segments.push_back(seg);
        speech.samples = std::filesystem::file_size(speech.file) / 2;
    } else {
        std::ofstream out(speech.file, std::ios::binary);
        std::ofstream idx(index);
        const std::vector<unsigned char> pause(static_cast<std::size_t>(0.2 * kRate) * 2, 0);
        std::vector<unsigned char> pcm;
        unsigned char chunk[65536];
        for (const auto& f : files) {
            const std::string command = "sox -D '" + f.string() +
                                        "' -t raw -r 8000 -e signed-integer -b 16 -c 1 -L - 2>/dev/null";
            pcm.clear();
            if (FILE* pipe = ::popen(command.c_str(), "r")) {
                std::size_t n = 0;
                while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) pcm.insert(pcm.end(), chunk, chunk + n);
                ::pclose(pipe);
            }
            pcm.resize(pcm.size() & ~std::size_t{1});
            if (pcm.empty()) continue;
            speech.segments.push_back({speech.samples, f.string()});
            idx << speech.samples << ' ' << f.string() << '\n';
            out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
            out.write(reinterpret_cast<const char*>(pause.data()), static_cast<std::streamsize>(pause.size()));
            speech.samples += (pcm.size() + pause.size()) / 2;
        }
    }
    speech.what = "recorded speech";
    speech.recorded = true;
    for (const Segment& s : speech.segments) {
        const std::filesystem::path p = s.voice;
        const std::string folder = p.parent_path().filename().string();
        speech.languages.insert(folder.size() == 2 ? folder : "en");
        // The collection: the folder given on the command line that holds the file.
        for (const auto& root : settings.recordings)
            if (s.voice.rfind(root.string(), 0) == 0) speech.voices.insert(root.string());
    }
    return speech.samples > 0;
}

std::vector<Key> DecodeFile(const std::filesystem::path& file, const Profile& profile) {
    auto detector = std::make_unique<Detector>(profile);
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> chunk(1 << 16);
    while (in) {
        in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
        detector->Feed(std::span(chunk).first(static_cast<std::size_t>(in.gcount())));
    }
    detector->Flush();
    return detector->Keys();
}

void TalkOff(const char* label, const Profile& profile, const Speech& speech) {
    const auto keys = DecodeFile(speech.file, profile);
    std::size_t dtmf = 0, fax = 0;
    std::map<char, int> perKey;
    for (const Key& k : keys) {
        if (k.key == CDecDTMF::kFaxCallingToneKey) {
            ++fax;
        } else {
            ++dtmf;
            ++perKey[k.key];
        }
    }
    std::printf("\n6%s. Talk-off: %.2f h of %s", label, speech.Hours(), speech.what.c_str());
    if (speech.baseVoices.empty())
        std::printf(" from %zu collections, %zu languages:\n", speech.voices.size(), speech.languages.size());
    else
        std::printf(", %zu voices (%zu voices with %zu variants), %zu languages:\n", speech.voices.size(),
                    speech.baseVoices.size(), std::size(kVariants), speech.languages.size());
    std::printf("   %zu false keys = %.1f per hour, %zu fax-tone reports = %.1f per hour\n", dtmf,
                static_cast<double>(dtmf) / speech.Hours(), fax, static_cast<double>(fax) / speech.Hours());
    if (!perKey.empty()) {
        std::printf("   keys:");
        for (const auto& [k, n] : perKey) std::printf(" %c x%d", k, n);
        std::printf("\n");
    }
    std::map<std::string, int> perVoice;
    for (const Key& k : keys) ++perVoice[speech.Group(static_cast<std::size_t>(k.position))];
    if (!perVoice.empty()) {
        std::printf("   by %s:", speech.recorded ? "language" : "voice");
        for (const auto& [v, n] : perVoice) std::printf(" %s %d", v.c_str(), n);
        std::printf("\n");
    }
    // Hours of speech per language (recordings) or per base voice.
    std::map<std::string, std::size_t> samplesPer;
    for (std::size_t i = 0; i < speech.segments.size(); ++i) {
        const std::size_t end = i + 1 < speech.segments.size() ? speech.segments[i + 1].start : speech.samples;
        std::string group = speech.Group(speech.segments[i].start);
        if (!speech.recorded) group = group.substr(0, group.find('+'));
        samplesPer[group] += end - speech.segments[i].start;
    }
    std::printf("   hours per %s:", speech.recorded ? "language" : "voice");
    for (const auto& [g, n] : samplesPer) std::printf(" %s %.2f", g.c_str(), static_cast<double>(n) / kRate / 3600.0);
    std::printf("\n");
    int shown = 0;
    for (const Key& k : keys) {
        if (shown++ == 12) {
            std::printf("   ...\n");
            break;
        }
        std::printf("   '%c' at %.3f s (%s)\n", k.key, static_cast<double>(k.position) / kRate,
                    speech.Where(static_cast<std::size_t>(k.position)).c_str());
    }
}

// ---------------------------------------------------------------------------------------
// 7. Other in-band signalling: the 1100 Hz report on trunk MF and on paging tones.

struct Tally {
    std::size_t fax = 0, keys = 0;
    std::string keyText;
};

Tally Count(const SignalTimeline& t, const Profile& profile) {
    Tally tally;
    for (char k : Decode(t, profile)) {
        if (k == CDecDTMF::kFaxCallingToneKey) {
            ++tally.fax;
        } else {
            ++tally.keys;
            if (tally.keyText.size() < 40) tally.keyText.push_back(k);
        }
    }
    return tally;
}

// Trunk MF: digits as pairs of 700/900/1100/1300/1500/1700 Hz, KP (1100+1700) 100 ms,
// digits and ST (1500+1700) 68 ms, 68 ms apart; a second between numbers.
SignalTimeline MfSequences(std::size_t numbers, std::size_t& signals) {
    static constexpr std::array<std::pair<double, double>, 10> kDigits = {{{1300, 1500},
                                                                          {700, 900},
                                                                          {700, 1100},
                                                                          {900, 1100},
                                                                          {700, 1300},
                                                                          {900, 1300},
                                                                          {1100, 1300},
                                                                          {700, 1500},
                                                                          {900, 1500},
                                                                          {1100, 1500}}};
    SignalTimeline t(kRate);
    WhiteNoise random(99);
    signals = 0;
    for (std::size_t n = 0; n < numbers; ++n) {
        const double level = -6.0 - static_cast<double>(random.NextBits() % 20);
        const auto pair = [&](double a, double b, double ms) {
            const SignalTimeline::Tone tones[2] = {{a, level, 0.0}, {b, level, 0.0}};
            t.AppendTones(tones, t.SamplesForMs(ms));
            t.AppendSilence(t.SamplesForMs(68));
            ++signals;
        };
        pair(1100, 1700, 100);  // KP
        for (int d = 0; d < 10; ++d) {
            const auto& [a, b] = kDigits[random.NextBits() % 10];
            pair(a, b, 68);
        }
        pair(1500, 1700, 68);  // ST
        t.AppendSilence(t.SamplesForMs(1000));
    }
    return t;
}

// Selective-call paging: five-tone addresses, a repeated digit sent as the repeat tone.
struct ToneSet {
    const char* name;
    double toneMs;
    std::array<double, 11> hz;  // digits 0-9, then the repeat tone
};
constexpr ToneSet kToneSets[] = {
    {"CCIR 100 ms", 100, {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 2110}},
    {"ZVEI1 70 ms", 70, {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 2600}},
    {"ZVEI2 70 ms", 70, {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 885}},
    {"EEA 40 ms", 40, {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 1055}},
};

SignalTimeline Paging(const ToneSet& set, std::size_t addresses, std::size_t& tones, std::size_t& near1100) {
    SignalTimeline t(kRate);
    WhiteNoise random(7 + static_cast<std::uint64_t>(set.toneMs));
    tones = 0;
    near1100 = 0;
    for (std::size_t a = 0; a < addresses; ++a) {
        const double level = -6.0 - static_cast<double>(random.NextBits() % 20);
        int previous = -1;
        // Every digit alone and in pairs turns up among the first addresses.
        for (int i = 0; i < 5; ++i) {
            int digit = a < 10 ? static_cast<int>(a) : a < 110 ? static_cast<int>(i % 2 == 0 ? (a - 10) / 10 : (a - 10) % 10)
                                                              : static_cast<int>(random.NextBits() % 10);
            if (digit == previous) digit = 10;
            t.AppendTone(set.hz[static_cast<std::size_t>(digit)], level, t.SamplesForMs(set.toneMs));
            previous = digit;
            ++tones;
            near1100 += std::fabs(set.hz[static_cast<std::size_t>(digit)] / 1100.0 - 1.0) < 0.03;
        }
        t.AppendSilence(t.SamplesForMs(600));
    }
    return t;
}

void Signalling(const Profile& profile, const Settings& settings) {
    std::printf("\n7. Other in-band signalling (levels -6..-25 dBFS per tone): fax-tone reports 'f'\n"
                "   and keys, none of which should be reported.\n");
    std::size_t signals = 0;
    const Tally mf = Count(MfSequences(settings.quick ? 40 : 300, signals), profile);
    std::printf("   trunk MF, %zu signals (KP 1100+1700 100 ms, digits 68 ms): 'f' %zu, keys %zu %s\n", signals,
                mf.fax, mf.keys, mf.keyText.c_str());
    for (const ToneSet& set : kToneSets) {
        std::size_t tones = 0, near1100 = 0;
        const Tally p = Count(Paging(set, settings.quick ? 120 : 400, tones, near1100), profile);
        std::printf("   paging %-12s %5zu tones (%4zu within 3 %% of 1100 Hz): 'f' %zu, keys %zu %s\n", set.name, tones,
                    near1100, p.fax, p.keys, p.keyText.c_str());
    }
    // The signal the report is for, as the reference: ten calling tones, 0.5 s on, 3 s off.
    SignalTimeline cng(kRate);
    for (int i = 0; i < 10; ++i) {
        cng.AppendTone(1100.0, -10.0 - 2.0 * i, cng.SamplesForMs(500));
        cng.AppendSilence(cng.SamplesForMs(3000));
    }
    const Tally c = Count(cng, profile);
    std::printf("   reference: 10 fax calling tones 1100 Hz 500 ms (-10..-28 dBFS): 'f' %zu, keys %zu\n", c.fax,
                c.keys);

    // What a lone tone must be to be reported as the calling tone: its frequency band at
    // 100 ms, and its shortest duration at 1100 Hz, each over every block alignment.
    const auto faxReports = [&](double hz, double ms) {
        std::size_t reports = 0, runs = 0;
        for (int lead = 0; lead < kBlock; lead += settings.alignmentStep, ++runs) {
            SignalTimeline t(kRate);
            t.AppendSilence(static_cast<std::size_t>(lead) + t.SamplesForMs(200));
            t.AppendTone(hz, -10.0, t.SamplesForMs(ms));
            t.AppendSilence(t.SamplesForMs(300));
            reports += Count(t, profile).fax > 0;
        }
        return std::make_pair(reports, runs);
    };
    std::printf("   lone 100 ms tone, -10 dBFS: alignments giving 'f', per frequency:\n    ");
    for (int hz = 1020; hz <= 1180; hz += 10) {
        const auto [r, n] = faxReports(hz, 100.0);
        std::printf(" %d:%zu/%zu", hz, r, n);
    }
    std::printf("\n   lone 1100 Hz tone, -10 dBFS: alignments giving 'f', per duration (ms):\n    ");
    for (int ms = 50; ms <= 130; ms += 5) {
        const auto [r, n] = faxReports(1100.0, ms);
        std::printf(" %d:%zu/%zu", ms, r, n);
    }
    std::printf("\n");
}

// One sound file through both profiles, for replaying a false key found above.
int DecodeOne(const std::string& file) {
    const std::string command = "sox -D '" + file + "' -t raw -r 8000 -e signed-integer -b 16 -c 1 -L - 2>/dev/null";
    std::vector<unsigned char> pcm;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        unsigned char chunk[65536];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) pcm.insert(pcm.end(), chunk, chunk + n);
        ::pclose(pipe);
    }
    pcm.resize(pcm.size() & ~std::size_t{1});
    if (pcm.empty()) {
        std::fprintf(stderr, "sox could not read %s\n", file.c_str());
        return 1;
    }
    std::printf("%s: %.2f s\n", file.c_str(), static_cast<double>(pcm.size() / 2) / kRate);
    for (const Profile& profile : Profiles()) {
        Detector detector(profile);
        detector.Feed(pcm);
        detector.Flush();
        std::printf("  %-6s %zu keys:", profile.name, detector.Keys().size());
        for (const Key& k : detector.Keys()) std::printf(" '%c' at %.3f s", k.key, static_cast<double>(k.position) / kRate);
        std::printf("\n");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--quick") {
            settings.quick = true;
            settings.noiseKeys = 200;
            settings.talkMinutes = 10;
            settings.alignmentStep = 17;
        } else if (a == "--noise-keys") {
            settings.noiseKeys = std::stoul(value());
        } else if (a == "--talk-minutes") {
            settings.talkMinutes = std::stod(value());
        } else if (a == "--no-talkoff") {
            settings.talkOff = false;
        } else if (a == "--cache") {
            settings.cache = value();
        } else if (a == "--decode") {
            return DecodeOne(value());
        } else if (a == "--recordings") {
            settings.recordings.push_back(value());
        } else {
            std::fprintf(stderr,
                         "usage: %s [--quick] [--noise-keys N] [--talk-minutes M] [--no-talkoff] [--cache DIR] "
                         "[--recordings DIR]... | --decode SOUNDFILE\n",
                         argv[0]);
            return 2;
        }
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    // Packaged recordings of people speaking, used where installed: game dialogue in Dutch
    // and Czech (GPL) and a speech recogniser's English test utterances (BSD).
    if (settings.recordings.empty())
        settings.recordings = {"/usr/share/games/fillets-ng/sound", "/usr/share/pocketsphinx/test/data"};
    Speech speech, recorded;
    const bool haveSpeech = settings.talkOff && MakeSpeech(settings, speech);
    const bool haveRecorded = settings.talkOff && MakeRecorded(settings, recorded);

    for (const Profile& profile : Profiles()) {
        std::printf("\n================ DTMF detector, %s profile ================\n", profile.name);
        FrequencyBand(profile);
        Durations(profile, settings);
        Twist(profile);
        Levels(profile);
        Noise(profile, settings);
        if (haveSpeech)
            TalkOff("a", profile, speech);
        else
            std::printf("\n6a. Talk-off: skipped (%s)\n", settings.talkOff ? "espeak-ng or sox missing" : "--no-talkoff");
        if (haveRecorded)
            TalkOff("b", profile, recorded);
        else
            std::printf("\n6b. Talk-off on recorded speech: skipped (%s)\n",
                        settings.talkOff ? "no recordings found" : "--no-talkoff");
        Signalling(profile, settings);
    }
    return 0;
}
