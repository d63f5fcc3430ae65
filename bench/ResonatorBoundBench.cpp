// The floor under the DTMF detector's cost: the bare resonator bank (s0 = c*s1 - s2 + x in
// double over all 20 lanes, the squares summed for the block energy) over one minute of
// 8 kHz audio, with nothing else — no sample conversion, no DC tracking, no block tests.
// BM_InputData2_Dtmf_8k16Mono divided by these gives the share of the decoder's time that
// the recurrence itself accounts for.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "synth/DtmfGenerator.h"
#include "synth/SignalTimeline.h"
#include "tones/ResonatorBank.h"

namespace {

constexpr int kRate = 8000;
constexpr int kSeconds = 60;
constexpr int kBlock = 102;  // the detector's long-mode block at 8 kHz
constexpr double kTwoPi = 6.283185307179586476925;

// The same one minute of keys (50 ms on, 50 ms off, -20 dBFS per tone) in light white
// noise that the decoder benchmark decodes, as the floats the detector would be handed.
const std::vector<float>& Samples() {
    static const std::vector<float> samples = [] {
        SignalTimeline t(kRate);
        t.Reserve(static_cast<std::size_t>(kSeconds) * kRate);
        DtmfGenerator::Options options;
        options.levelDbfs = -20.0;
        const DtmfGenerator generator(options);
        while (t.Size() < static_cast<std::size_t>(kSeconds) * kRate)
            generator.Append(t, DtmfGenerator::kKeys);
        t.AddNoise(-50.0, 7);
        return std::vector<float>(t.Samples().begin(), t.Samples().begin() + kSeconds * kRate);
    }();
    return samples;
}

// The detector's lanes at 8 kHz: rows, columns, their second harmonics, 1100 Hz and the
// 2000 Hz guard; the last two lanes idle.
void Coefficients(double c[ResonatorBank::kLanes]) {
    const double hz[18] = {697,  770,  852,  941,  1209, 1336, 1477, 1633, 1394,
                           1540, 1704, 1882, 2418, 2672, 2954, 3266, 1100, 2000};
    for (int i = 0; i < ResonatorBank::kLanes; ++i) c[i] = i < 18 ? 2.0 * std::cos(kTwoPi * hz[i] / kRate) : 0.0;
}

void Report(benchmark::State& state) {
    state.counters["realtime_x"] =
        benchmark::Counter(static_cast<double>(Samples().size()) / kRate, benchmark::Counter::kIsIterationInvariantRate);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Samples().size()));
    // The decoder picks the same implementation automatically, so the two compare like for like.
    state.SetLabel(ResonatorBank::InUse() == ResonatorBank::InstructionSet::Avx2 ? "avx2" : "baseline");
}

// The recurrence as the detector runs it: a restart and a read of every lane's power per
// 102-sample block.
void BM_ResonatorBound_Blocks(benchmark::State& state) {
    const auto& x = Samples();
    double c[ResonatorBank::kLanes];
    Coefficients(c);
    ResonatorBank bank;
    double power[ResonatorBank::kLanes];
    double sink = 0.0;
    for (auto _ : state) {
        for (std::size_t at = 0; at + kBlock <= x.size(); at += kBlock) {
            bank.Restart(c);
            double energy = 0.0;
            bank.Feed(x.data() + at, kBlock, energy);
            bank.Powers(power);
            sink += power[0] + energy;
        }
        benchmark::DoNotOptimize(sink);
    }
    Report(state);
}
BENCHMARK(BM_ResonatorBound_Blocks)->Unit(benchmark::kMillisecond);

// The recurrence alone: the whole minute in one Feed, no block bookkeeping at all.
void BM_ResonatorBound_OneFeed(benchmark::State& state) {
    const auto& x = Samples();
    double c[ResonatorBank::kLanes];
    Coefficients(c);
    ResonatorBank bank;
    for (auto _ : state) {
        bank.Restart(c);
        double energy = 0.0;
        bank.Feed(x.data(), static_cast<int>(x.size()), energy);
        benchmark::DoNotOptimize(energy);
        benchmark::DoNotOptimize(bank.Power(0));
    }
    Report(state);
}
BENCHMARK(BM_ResonatorBound_OneFeed)->Unit(benchmark::kMillisecond);

}  // namespace
