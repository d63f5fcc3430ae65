// Throughput of the decoding path from a host's PCM buffer to events, reported as a
// real-time factor: seconds of audio decoded per second of CPU.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "decoder/CBaseDecoder.h"

namespace {

constexpr int kRate = 8000;

// One minute of 16-bit mono at 8 kHz: the sixteen keys over and over (50 ms on, 50 ms
// off, -20 dBFS per tone) in light white noise.
const std::vector<unsigned char>& KeysInNoise() {
    static const std::vector<unsigned char> pcm = [] {
        constexpr double kRows[4] = {697, 770, 852, 941};
        constexpr double kCols[4] = {1209, 1336, 1477, 1633};
        const int samples = 60 * kRate;
        std::vector<unsigned char> bytes(static_cast<std::size_t>(samples) * 2);
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, 0.003);
        const double amplitude = std::pow(10.0, -20.0 / 20.0);
        for (int i = 0; i < samples; ++i) {
            const int slot = i / 400;  // 400 samples = 50 ms
            const int key = (slot / 2) % 16;
            double x = noise(random);
            if (slot % 2 == 0) {
                const double t = static_cast<double>(i) / kRate;
                x += amplitude * (std::sin(2 * M_PI * kRows[key / 4] * t) +
                                  std::sin(2 * M_PI * kCols[key % 4] * t));
            }
            const auto s = static_cast<std::int16_t>(std::lround(std::clamp(x, -1.0, 1.0) * 32767.0));
            bytes[2 * i] = static_cast<unsigned char>(s & 0xFF);
            bytes[2 * i + 1] = static_cast<unsigned char>((s >> 8) & 0xFF);
        }
        return bytes;
    }();
    return pcm;
}

void CountEvent(void* context, int, std::uint64_t, std::int64_t) { ++*static_cast<long*>(context); }

void ConfigureDtmf(CBaseDecoder& decoder, float rows[4], float cols[4], CDecDTMF::Profile profile) {
    decoder.SetProfile(profile);
    CDecDTMF::GetDefaultFreqs(rows, cols);
    decoder.SetFreqs(rows, cols);
    decoder.SetTwist(0.0f, 0.0f);
    decoder.CDecDTMF::SetParameters(-65.0f, 12.0f, 40, 40, 15.1f, 1.2f, -1);
}

void BM_InputData2_Dtmf_8k16Mono(benchmark::State& state) {
    const auto& pcm = KeysInNoise();
    const int bufferBytes = static_cast<int>(state.range(0));
    CBaseDecoder decoder;
    long events = 0;
    float rows[4], cols[4];
    for (auto _ : state) {
        decoder.SetHandle({&CountEvent, &events}, nullptr);
        decoder.SetParameters(kRate, 16, -45.0f, CBaseDecoder::kMono);
        decoder.EnableXDec(DEC_DTMF, 1);
        ConfigureDtmf(decoder, rows, cols, state.range(1) == 1 ? CDecDTMF::Profile::kRobust : CDecDTMF::Profile::kExact);
        for (std::size_t at = 0; at < pcm.size(); at += static_cast<std::size_t>(bufferBytes)) {
            const int n = static_cast<int>(std::min<std::size_t>(bufferBytes, pcm.size() - at));
            decoder.InputData2(pcm.data() + at, n);
        }
        decoder.putSamples(nullptr, 0, 1);
    }
    benchmark::DoNotOptimize(events);
    const double audioSeconds = static_cast<double>(pcm.size() / 2) / kRate;
    state.counters["realtime_x"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["keys_per_run"] = static_cast<double>(events) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pcm.size() / 2));
}
// Arguments: buffer bytes, profile (0 exact, 1 robust).
BENCHMARK(BM_InputData2_Dtmf_8k16Mono)
    ->Args({320, 0})
    ->Args({16000, 0})
    ->Args({16000, 1})
    ->Unit(benchmark::kMillisecond);

// The stream alone, no detector: what conversion, DC removal and block statistics cost.
void BM_InputData2_NoDetector(benchmark::State& state) {
    const auto& pcm = KeysInNoise();
    CBaseDecoder decoder;
    for (auto _ : state) {
        decoder.SetParameters(kRate, 16, -45.0f, CBaseDecoder::kMono);
        decoder.InputData2(pcm.data(), static_cast<int>(pcm.size()));
    }
    const double audioSeconds = static_cast<double>(pcm.size() / 2) / kRate;
    state.counters["realtime_x"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_InputData2_NoDetector)->Unit(benchmark::kMillisecond);

}  // namespace
