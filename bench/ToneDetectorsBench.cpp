// Throughput of the tone-monitor detectors (MF, paging, special information tones and the
// host's custom tones), each alone, the four together, DTMF alone for comparison, and the
// whole decoder with every detector switched on. Every line decodes the same minute of
// 8 kHz 16-bit mono through InputData2 in 4096-byte buffers: speech with the signals of
// every detector between the phrases, in light noise, so that each detector spends most
// of its time rejecting talk and some of it reporting. Each figure is a real-time factor:
// seconds of audio decoded per second of CPU.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "BenchDecoder.h"
#include "BenchSpeech.h"
#include "decoder/CBaseDecoder.h"
#include "decoder/DecoderMessages.h"
#include "synth/CadencedToneGenerator.h"
#include "synth/DtmfGenerator.h"
#include "synth/MfGenerator.h"
#include "synth/PagingGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"
#include "synth/SitGenerator.h"

namespace {

constexpr int kRate = 8000;
constexpr std::size_t kSamples = static_cast<std::size_t>(60) * kRate;
constexpr int kBufferBytes = 4096;

constexpr const char* kProse =
    "Thank you for calling the service desk. If you are calling about an order placed in the last "
    "seven days, please have your reference number ready. It starts with two letters and is "
    "followed by nine digits. Our opening hours are eight in the morning until six in the evening, "
    "Monday to Friday, and nine until one on Saturdays. You can also find most answers on our "
    "website, where you can track a delivery, change an address or arrange a return without "
    "waiting on the line. If your call is about a fault, please switch the equipment off at the "
    "wall, wait for thirty seconds and switch it back on before you speak to an adviser, because "
    "that clears most problems by itself. We are sorry to keep you waiting; your call will be "
    "answered as soon as someone is free.";

CadencedToneGenerator Cadenced(std::vector<double> hz, double onMs, double offMs, int count) {
    CadencedToneGenerator::Options o;
    o.frequenciesHz = std::move(hz);
    o.levelDbfs = -16.0;
    o.onMs = onMs;
    o.offMs = offMs;
    o.count = count;
    return CadencedToneGenerator(o);
}

struct Audio {
    std::vector<unsigned char> pcm;
    std::string label;
};

// Three seconds of speech, then one of eight signals in turn (MF keys, CCIR paging, a
// special information tone, busy, ringback, dial tone, the fax calling tone, DTMF keys),
// to the full minute, with white noise at -50 dBFS over all of it.
const Audio& Line() {
    static const Audio audio = [] {
        Audio a;
        const std::vector<float> speech = SpeechSamples(kProse, a.label);
        SignalTimeline t(kRate);
        t.Reserve(kSamples + 8 * kRate);
        std::size_t spoken = 0;
        for (int turn = 0; t.Size() < kSamples; ++turn) {
            std::vector<float> phrase(static_cast<std::size_t>(3 * kRate));
            for (float& x : phrase) x = speech[spoken++ % speech.size()];
            t.AppendSamples(phrase);
            t.AppendSilence(t.SamplesForMs(200.0));
            switch (turn % 8) {
                case 0:
                    MfGenerator().Append(t, "KP0123456789ST");
                    break;
                case 1:
                    PagingGenerator().Append(t, turn % 16 == 1 ? "12345" : "67890");
                    break;
                case 2: {
                    SitGenerator::Options o;
                    o.announcementMs = 300.0;
                    SitGenerator(o).Append(t, static_cast<SitGenerator::Kind>((turn / 8) % SitGenerator::kKinds));
                    break;
                }
                case 3:
                    Cadenced({480, 620}, 500, 500, 2).Append(t);
                    break;
                case 4:
                    Cadenced({440, 480}, 2000, 4000, 1).Append(t);
                    break;
                case 5:
                    Cadenced({350, 440}, 1500, 0, 1).Append(t);
                    break;
                case 6:
                    Cadenced({1100}, 500, 3000, 1).Append(t);
                    break;
                default:
                    DtmfGenerator().Append(t, "5551234#");
                    break;
            }
            t.AppendSilence(t.SamplesForMs(200.0));
        }
        SignalTimeline minute(kRate);
        minute.AppendSamples(t.Samples().first(kSamples));
        minute.AddNoise(-50.0, 11);
        PcmRenderer(PcmRenderer::Format{16, 1, 0, kRate}).Render(minute, a.pcm);
        a.label += " with MF, paging, SIT, call-progress and DTMF signals, noise at -50 dBFS";
        return a;
    }();
    return audio;
}

struct Counts {
    long mf = 0, paging = 0, sit = 0, tones = 0, dtmf = 0, callerIds = 0;
};

void Count(void* context, int msg, std::uint64_t, std::int64_t) {
    auto& c = *static_cast<Counts*>(context);
    switch (msg) {
        case DM_MF_KEY: ++c.mf; break;
        case DM_ZVEI_KEY: ++c.paging; break;
        case DM_SIT: ++c.sit; break;
        case DM_TONE: ++c.tones; break;
        case DM_DTMF: ++c.dtmf; break;
        case DM_CALLERID: ++c.callerIds; break;
        default: break;
    }
}

// What each line switches on.
enum Detector : int {
    kDtmf = 1,
    kCallerId = 2,  // with call waiting and message waiting
    kCustomTones = 4,
    kMf = 8,
    kPaging = 16,
    kSit = 32,
};

// Busy, ringback, dial tone and the fax calling tone, as a host would define them.
void AddCustomTones(CBaseDecoder& decoder) {
    auto& tones = static_cast<CMonitorTones&>(decoder);
    tones.Clear();
    const std::int32_t busy[] = {480, 620}, ringback[] = {440, 480}, dial[] = {350, 440}, fax[] = {1100};
    tones.AddTone(1, 500, 500, busy, 0.0, -30.0, 0.06f);
    tones.AddTone(2, 2000, 4000, ringback, 0.0, -30.0, 0.06f);
    tones.AddTone(3, 1000, 0, dial, 0.0, -30.0, 0.06f);
    tones.AddTone(4, 500, 3000, fax, 0.0, -30.0, 0.06f);
}

void Configure(CBaseDecoder& decoder, int detectors, float rows[4], float cols[4]) {
    decoder.SetParameters(kRate, 16, -45.0f, CBaseDecoder::kMono);
    if (detectors & kDtmf) {
        SwitchOnDtmf(decoder, rows, cols);
    }
    if (detectors & kCallerId) {
        decoder.EnableXDec(DEC_CALLERID, 1);
        decoder.EnableXDec(DEC_CIDCW, 1);
        decoder.EnableXDec(DEC_VMWI, 1);
        decoder.SetCallWaiting(true);
        decoder.SetParameters2(1200, 1200.0f, 2200.0f);
        decoder.SetSampleRate(kRate);
    }
    if (detectors & kCustomTones) {
        decoder.EnableXDec(DEC_MONITORTONES, 1);
        AddCustomTones(decoder);
    }
    if (detectors & kMf) {
        decoder.EnableXDec(DEC_MF, 1);
        static_cast<CMFDetector&>(decoder).SetParameters();
    }
    if (detectors & kPaging) {
        decoder.EnableXDec(DEC_TONEPAGING, 1);
        static_cast<CZVEIDetector&>(decoder).SetParameters(CZVEIDetector::ZVEI_CCIR, true, 10, -25.0f);
    }
    if (detectors & kSit) {
        decoder.EnableXDec(DEC_SIT, 1);
        static_cast<CSITDetector&>(decoder).SetParameters();
    }
}

void Run(benchmark::State& state, int detectors) {
    const Audio& audio = Line();
    CBaseDecoder decoder;
    Counts counts;
    float rows[4], cols[4];
    for (auto _ : state) {
        decoder.SetHandle({&Count, &counts}, nullptr);
        Configure(decoder, detectors, rows, cols);
        FeedInBuffers(decoder, audio.pcm, kBufferBytes);
    }
    const double audioSeconds = static_cast<double>(audio.pcm.size() / 2) / kRate;
    state.counters["realtime_x"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsIterationInvariantRate);
    const auto runs = static_cast<double>(state.iterations());
    // Events per minute decoded, so a detector that stopped working shows here.
    const auto put = [&](const char* name, long n, int flag) {
        if (detectors & flag) state.counters[name] = static_cast<double>(n) / runs;
    };
    put("mf_keys", counts.mf, kMf);
    put("paging_keys", counts.paging, kPaging);
    put("sit", counts.sit, kSit);
    put("tones", counts.tones, kCustomTones);
    put("dtmf_keys", counts.dtmf, kDtmf);
    put("callerid_events", counts.callerIds, kCallerId);
    state.SetLabel(audio.label);
}

void BM_Tones_NoDetector(benchmark::State& state) { Run(state, 0); }
void BM_Tones_Dtmf(benchmark::State& state) { Run(state, kDtmf); }
void BM_Tones_Mf(benchmark::State& state) { Run(state, kMf); }
void BM_Tones_PagingCcir(benchmark::State& state) { Run(state, kPaging); }
void BM_Tones_Sit(benchmark::State& state) { Run(state, kSit); }
void BM_Tones_CustomTones(benchmark::State& state) { Run(state, kCustomTones); }
void BM_Tones_FourTogether(benchmark::State& state) { Run(state, kCustomTones | kMf | kPaging | kSit); }
void BM_Tones_Everything(benchmark::State& state) {
    Run(state, kDtmf | kCallerId | kCustomTones | kMf | kPaging | kSit);
}
BENCHMARK(BM_Tones_NoDetector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tones_Dtmf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tones_Mf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tones_PagingCcir)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tones_Sit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tones_CustomTones)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tones_FourTogether)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tones_Everything)->Unit(benchmark::kMillisecond);

}  // namespace
