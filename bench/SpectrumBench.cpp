// Throughput of the spectrum conversion (1024-point frames, Hann window) and of the
// frequency and silence detection (segments of up to 4 s), each alone and together, beside
// DTMF alone and no detector at all. Every line decodes the same minute of 8 kHz 16-bit
// mono through InputData2 in 4096-byte buffers: phrases of speech, each followed by quiet,
// DTMF keys or a tone pair and quiet again, in light noise, so that spectra, silences and
// segments all occur. Each figure is a real-time factor: seconds of audio decoded per
// second of CPU.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "BenchDecoder.h"
#include "BenchSpeech.h"
#include "decoder/CBaseDecoder.h"
#include "decoder/DecoderMessages.h"
#include "synth/CadencedToneGenerator.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace {

constexpr int kRate = 8000;
constexpr std::size_t kSamples = static_cast<std::size_t>(60) * kRate;
constexpr int kBufferBytes = 4096;

constexpr const char* kProse =
    "Please hold while we connect your call. The person you are calling is on another line. If you "
    "would like to leave a message, wait for the tone and speak clearly, giving your name, your "
    "number and the best time to call you back. To hear these options again, press the star key. "
    "To return to the main menu, press the hash key. Thank you for your patience.";

struct Audio {
    std::vector<unsigned char> pcm;
    std::string label;
};

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
            t.AppendSilence(t.SamplesForMs(300.0));
            if (turn % 2 == 0) {
                DtmfGenerator().Append(t, "5551234");
            } else {
                CadencedToneGenerator::Options o;
                o.frequenciesHz = {440, 480};
                o.levelDbfs = -16.0;
                o.onMs = 1500.0;
                CadencedToneGenerator(o).Append(t);
            }
            t.AppendSilence(t.SamplesForMs(300.0));
        }
        SignalTimeline minute(kRate);
        minute.AppendSamples(t.Samples().first(kSamples));
        minute.AddNoise(-60.0, 5);
        PcmRenderer(PcmRenderer::Format{16, 1, 0, kRate}).Render(minute, a.pcm);
        a.label += " with DTMF keys and tone pairs between phrases, noise at -60 dBFS";
        return a;
    }();
    return audio;
}

struct Counts {
    long spectra = 0, frequencies = 0, silences = 0, dtmf = 0;
};

void Count(void* context, int msg, std::uint64_t, std::int64_t) {
    auto& c = *static_cast<Counts*>(context);
    switch (msg) {
        case DM_FREQUENCY_DATA: ++c.spectra; break;
        case DM_FREQUENCY_DETECTED: ++c.frequencies; break;
        case DM_SILENCE_START: ++c.silences; break;
        case DM_DTMF: ++c.dtmf; break;
        default: break;
    }
}

enum Detector : int { kDtmf = 1, kSpectrum = 2, kFrequency = 4 };

void Configure(CBaseDecoder& decoder, int detectors, float rows[4], float cols[4]) {
    decoder.SetParameters(kRate, 16, -45.0f, CBaseDecoder::kMono);
    if (detectors & kDtmf) {
        SwitchOnDtmf(decoder, rows, cols);
    }
    if (detectors & kSpectrum) decoder.EnableXDec(DEC_SPECTRUM, 1);
    if (detectors & kFrequency) decoder.EnableXDec(DEC_CUSTOMTONE, 1);
    if (detectors & (kSpectrum | kFrequency)) {
        // The control object's defaults: 1024 points, 4000 ms, -30 dB, 60 ms of silence.
        CDetectToneFreqs& spectrum = decoder;
        spectrum.SetParameters(detectors & kSpectrum ? 1024 : 0, detectors & kFrequency ? 4000 : 0);
        spectrum.SetWindowType(CFFT::kHanning);
        spectrum.SetAmplitudeThreshold(-30.0f);
        spectrum.SetSilenceBlocks(kRate * 60 / 100000);
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
    const auto put = [&](const char* name, long n, int flag) {
        if (detectors & flag) state.counters[name] = static_cast<double>(n) / runs;
    };
    put("spectra", counts.spectra, kSpectrum);
    put("frequencies", counts.frequencies, kFrequency);
    put("silences", counts.silences, kFrequency);
    put("dtmf_keys", counts.dtmf, kDtmf);
    state.SetLabel(audio.label);
}

void BM_Spectrum_NoDetector(benchmark::State& state) { Run(state, 0); }
void BM_Spectrum_Dtmf(benchmark::State& state) { Run(state, kDtmf); }
void BM_Spectrum_Conversion1024(benchmark::State& state) { Run(state, kSpectrum); }
void BM_Spectrum_FrequencyAndSilence(benchmark::State& state) { Run(state, kFrequency); }
void BM_Spectrum_Both(benchmark::State& state) { Run(state, kSpectrum | kFrequency); }
BENCHMARK(BM_Spectrum_NoDetector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spectrum_Dtmf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spectrum_Conversion1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spectrum_FrequencyAndSilence)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spectrum_Both)->Unit(benchmark::kMillisecond);

}  // namespace
