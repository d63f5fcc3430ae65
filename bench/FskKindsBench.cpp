// Throughput of the TTY, SAME and FSK data decoders, each alone, DTMF alone for comparison,
// and the whole decoder with every detector switched on. Every line decodes the same minute
// of 8 kHz 16-bit mono through InputData2 in 4096-byte buffers: speech with a line of TTY
// text (Baudot, 45.45 baud), a SAME message (three headers, three end-of-message markers),
// a burst of 1200 baud 8-N-1 FSK data (1200/2200 Hz) and a few DTMF keys taking turns
// between the phrases, in light noise, so that each decoder spends most of its time
// rejecting talk and some of it reporting. Each figure is a real-time factor: seconds of
// audio decoded per second of CPU.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchDecoder.h"
#include "BenchSpeech.h"
#include "decoder/CBaseDecoder.h"
#include "decoder/DecoderMessages.h"
#include "synth/DtmfGenerator.h"
#include "synth/FskDataGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SameGenerator.h"
#include "synth/SignalTimeline.h"
#include "synth/TtyGenerator.h"

namespace {

constexpr int kRate = 8000;
constexpr std::size_t kSamples = static_cast<std::size_t>(60) * kRate;
constexpr int kBufferBytes = 4096;

constexpr const char* kTtyText = "GA PLS CALL 555 0123 SK";
constexpr const char* kSameHeader = "ZCZC-WXR-TOR-039173+0030-1591829-KEAX/NWS-";
constexpr const char* kFskText = "ACCOUNT 4471 BALANCE 12.50 DUE 01/07\r\n";
constexpr const char* kProse =
    "Good afternoon, you are through to the relay service. Please stay on the line while we "
    "connect your call. If you are using a text telephone, type your message and end each turn "
    "with the letters G A, so the other side knows it is their turn to speak. Weather warnings "
    "for the county are read out after the tone. Messages left after six in the evening are "
    "answered the next working day; for anything urgent, please call the number given at the "
    "end of this message, which is open day and night, every day of the year.";

struct Audio {
    std::vector<unsigned char> pcm;
    std::string label;
};

// Three seconds of speech, then one of four signals in turn (TTY text, a SAME message,
// FSK data, DTMF keys), to the full minute, with white noise at -50 dBFS over all of it.
const Audio& Line() {
    static const Audio audio = [] {
        Audio a;
        const std::vector<float> speech = SpeechSamples(kProse, a.label);
        SignalTimeline t(kRate);
        t.Reserve(kSamples + 16 * kRate);
        std::size_t spoken = 0;
        for (int turn = 0; t.Size() < kSamples; ++turn) {
            std::vector<float> phrase(static_cast<std::size_t>(3 * kRate));
            for (float& x : phrase) x = speech[spoken++ % speech.size()];
            t.AppendSamples(phrase);
            t.AppendSilence(t.SamplesForMs(200.0));
            switch (turn % 4) {
                case 0:
                    TtyGenerator().Append(t, kTtyText);
                    break;
                case 1:
                    SameGenerator().Append(t, kSameHeader);
                    break;
                case 2: {
                    const std::string text = kFskText;
                    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
                    FskDataGenerator().Append(t, bytes);
                    break;
                }
                default:
                    DtmfGenerator().Append(t, "5551234#");
                    break;
            }
            t.AppendSilence(t.SamplesForMs(200.0));
        }
        SignalTimeline minute(kRate);
        minute.AppendSamples(t.Samples().first(kSamples));
        minute.AddNoise(-50.0, 13);
        PcmRenderer(PcmRenderer::Format{16, 1, 0, kRate}).Render(minute, a.pcm);
        a.label += " with TTY, SAME, 1200 baud FSK data and DTMF signals, noise at -50 dBFS";
        return a;
    }();
    return audio;
}

struct Counts {
    long tty = 0, sameElements = 0, sameHeaders = 0, fsk = 0, dtmf = 0, others = 0;
};

void Count(void* context, int msg, std::uint64_t, std::int64_t) {
    auto& c = *static_cast<Counts*>(context);
    switch (msg) {
        case DM_TTY_CHAR: ++c.tty; break;
        case DM_SAME_ELEMENT: ++c.sameElements; break;
        case DM_RAW_SAME: ++c.sameHeaders; break;
        case DM_FSK_DATA: ++c.fsk; break;
        case DM_DTMF: ++c.dtmf; break;
        case DM_CALLERID:
        case DM_VMWI:
        case DM_TONE:
        case DM_MF_KEY:
        case DM_ZVEI_KEY:
        case DM_SIT: ++c.others; break;
        default: break;
    }
}

// What each line switches on.
enum Detector : int {
    kDtmf = 1,
    kTty = 2,
    kSame = 4,
    kFsk = 8,
    kToneAndCallerId = 16,  // caller ID with call waiting and message waiting, custom tones, MF, paging, SIT
};

void Configure(CBaseDecoder& decoder, int detectors, float rows[4], float cols[4]) {
    decoder.SetParameters(kRate, 16, -45.0f, CBaseDecoder::kMono);
    if (detectors & kDtmf) {
        SwitchOnDtmf(decoder, rows, cols);
    }
    if (detectors & kTty) {
        decoder.EnableXDec(DEC_TTY, 1);
        static_cast<CDecBaudotCode&>(decoder).SetRate(CDecBaudotCode::kRate45_45, CDecBaudotCode::kBaudot);
        static_cast<CDecBaudotCode&>(decoder).SetFreqs(1400.0f, 1800.0f);
    }
    if (detectors & kSame) {
        decoder.EnableXDec(DEC_SAME, 1);
        static_cast<CDecSAME&>(decoder).SetParameters(kRate, 1562.5f, 2083.3f, 520.83f);
    }
    if (detectors & kFsk) {
        decoder.EnableXDec(DEC_FSK, 1);
        CDecFSKData& fsk = decoder;
        static_cast<CDecAFSK&>(fsk).SetParameters(kRate, 2200.0f, 1200.0f, 1200.0f);
        fsk.SetCOMMParams(8, CDecFSKData::kStopBitOne, CDecFSKData::kParityNo, 0, 1);
    }
    if (detectors & kToneAndCallerId) {
        decoder.EnableXDec(DEC_CALLERID, 1);
        decoder.EnableXDec(DEC_CIDCW, 1);
        decoder.EnableXDec(DEC_VMWI, 1);
        decoder.SetCallWaiting(true);
        decoder.SetParameters2(1200, 1200.0f, 2200.0f);
        decoder.SetSampleRate(kRate);

        decoder.EnableXDec(DEC_MONITORTONES, 1);
        auto& tones = static_cast<CMonitorTones&>(decoder);
        tones.Clear();
        const std::int32_t busy[] = {480, 620}, ringback[] = {440, 480}, dial[] = {350, 440}, fax[] = {1100};
        tones.AddTone(1, 500, 500, busy, 0.0, -30.0, 0.06f);
        tones.AddTone(2, 2000, 4000, ringback, 0.0, -30.0, 0.06f);
        tones.AddTone(3, 1000, 0, dial, 0.0, -30.0, 0.06f);
        tones.AddTone(4, 500, 3000, fax, 0.0, -30.0, 0.06f);

        decoder.EnableXDec(DEC_MF, 1);
        static_cast<CMFDetector&>(decoder).SetParameters();
        decoder.EnableXDec(DEC_TONEPAGING, 1);
        static_cast<CZVEIDetector&>(decoder).SetParameters(CZVEIDetector::ZVEI_CCIR, true, 10, -25.0f);
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
        decoder.EndOfStream();
    }
    const double audioSeconds = static_cast<double>(audio.pcm.size() / 2) / kRate;
    state.counters["realtime_x"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsIterationInvariantRate);
    const auto runs = static_cast<double>(state.iterations());
    // Events per minute decoded, so a decoder that stopped working shows here.
    const auto put = [&](const char* name, long n, int flag) {
        if (detectors & flag) state.counters[name] = static_cast<double>(n) / runs;
    };
    put("tty_chars", counts.tty, kTty);
    put("same_elements", counts.sameElements, kSame);
    put("same_headers", counts.sameHeaders, kSame);
    put("fsk_bytes", counts.fsk, kFsk);
    put("dtmf_keys", counts.dtmf, kDtmf);
    put("other_events", counts.others, kToneAndCallerId);
    state.SetLabel(audio.label);
}

void BM_FskKinds_NoDetector(benchmark::State& state) { Run(state, 0); }
void BM_FskKinds_TtyBaudot45(benchmark::State& state) { Run(state, kTty); }
void BM_FskKinds_Same(benchmark::State& state) { Run(state, kSame); }
void BM_FskKinds_FskData1200(benchmark::State& state) { Run(state, kFsk); }
void BM_FskKinds_Dtmf(benchmark::State& state) { Run(state, kDtmf); }
void BM_FskKinds_Everything(benchmark::State& state) { Run(state, kDtmf | kTty | kSame | kFsk | kToneAndCallerId); }
BENCHMARK(BM_FskKinds_NoDetector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FskKinds_TtyBaudot45)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FskKinds_Same)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FskKinds_FskData1200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FskKinds_Dtmf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FskKinds_Everything)->Unit(benchmark::kMillisecond);

}  // namespace
