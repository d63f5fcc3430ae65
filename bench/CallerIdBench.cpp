// Throughput of the caller-ID decoder alone, on speech (where it must stay searching) and
// on caller-ID transmissions back to back (where it receives most of the time), with the
// DTMF detector on the same speech for comparison. Each figure is a real-time factor:
// seconds of audio decoded per second of CPU, 8 kHz 16-bit mono fed in 4096-byte buffers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchDecoder.h"
#include "decoder/CBaseDecoder.h"
#include "decoder/DecoderMessages.h"

namespace {

constexpr int kRate = 8000;
constexpr int kSeconds = 60;
constexpr std::size_t kSamples = static_cast<std::size_t>(kSeconds) * kRate;
constexpr int kBufferBytes = 4096;
constexpr double kTwoPi = 6.283185307179586476925;

struct Audio {
    std::vector<unsigned char> pcm;  // 16-bit little-endian mono
    std::string label;
    int transmissions = 0;
};

void Put(std::vector<unsigned char>& pcm, double x) {
    const auto s = static_cast<std::int16_t>(std::lround(std::clamp(x, -1.0, 1.0) * 32767.0));
    pcm.push_back(static_cast<unsigned char>(s & 0xFF));
    pcm.push_back(static_cast<unsigned char>((s >> 8) & 0xFF));
}

// Read prose of a few hundred words, so that the speech is varied rather than one
// sentence over and over.
constexpr const char* kProse =
    "The telephone network carries far more than voices. Between the rings, before the handset is "
    "lifted, "
    "a short burst of tones tells the called party who is calling, and a lamp on the set may light "
    "to say "
    "that a message is waiting. A receiver that listens for these signals has to stay quiet "
    "through hours of "
    "ordinary conversation, music on hold, announcements and noise, and still wake within a few "
    "milliseconds "
    "when the line starts to alternate between its two tones. Most of the time nothing of interest "
    "is on the "
    "line at all, which is why the cost of listening matters more than the cost of decoding. "
    "People speak "
    "with pitch that wanders between eighty and three hundred cycles a second, with bursts of "
    "energy in the "
    "vowels and hiss in the consonants, and every one of those sounds has some energy near the "
    "tones the "
    "receiver watches. A good detector rejects them all without effort. It measures the energy "
    "midway "
    "between mark and space, it waits for a steady run of blocks before it believes what it hears, "
    "and it "
    "gives up quickly when the run breaks. When a real transmission does arrive, the demodulator "
    "takes over "
    "and follows every sample, deciding bits at each transition, framing characters from start and "
    "stop "
    "bits, and handing complete messages to the parser, which checks the sum of every byte before "
    "it trusts "
    "a single digit of the number. Afterwards the line goes back to speech, and the detector goes "
    "back to "
    "waiting, as it will for the rest of the day. On a busy exchange there may be thousands of "
    "such lines, "
    "each with its own detector, and every one of them spends nearly all of its life listening to "
    "people "
    "talk about the weather, the price of bread and the next appointment.";

// One minute of espeak-ng speech at 8 kHz, cut to length or looped if it comes out short; a
// synthetic voiced signal (a buzz at a gliding pitch through two moving formants, with syllable
// pauses) when espeak-ng or sox is missing.
const Audio& Speech() {
    static const Audio audio = [] {
        Audio a;
        const std::string command =
            std::string("espeak-ng --stdout -v en -s 160 \"") + kProse +
            "\" 2>/dev/null | sox -t wav - -r 8000 -b 16 -c 1 -e signed-integer -t raw - "
            "2>/dev/null";
        std::vector<unsigned char> spoken;
        if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
            unsigned char chunk[65536];
            std::size_t n = 0;
            while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
                spoken.insert(spoken.end(), chunk, chunk + n);
            ::pclose(pipe);
        }
        spoken.resize(spoken.size() & ~std::size_t{1});
        if (spoken.size() >= static_cast<std::size_t>(kRate) * 2 * 5) {
            while (a.pcm.size() < kSamples * 2)
                a.pcm.insert(a.pcm.end(), spoken.begin(),
                             spoken.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                  spoken.size(), kSamples * 2 - a.pcm.size())));
            const std::size_t spokenSeconds = spoken.size() / 2 / kRate;
            a.label = "espeak-ng speech, " +
                      (spokenSeconds >= kSeconds
                           ? "the first 60 s of " + std::to_string(spokenSeconds) + " s"
                           : std::to_string(spokenSeconds) + " s looped to 60 s");
            return a;
        }
        double phase = 0.0;
        for (std::size_t n = 0; n < kSamples; ++n) {
            const double t = static_cast<double>(n) / kRate;
            const double syllable = std::fmod(t, 0.25);
            if (syllable > 0.18) {  // the pause between syllables
                Put(a.pcm, 0.0);
                continue;
            }
            const double pitch = 120.0 + 40.0 * std::sin(kTwoPi * 0.7 * t);
            phase += pitch / kRate;
            double x = 0.0;
            const double f1 = 500.0 + 300.0 * std::sin(kTwoPi * 1.3 * t);
            const double f2 = 1500.0 + 700.0 * std::sin(kTwoPi * 0.9 * t);
            for (int h = 1; h * pitch < 3400.0; ++h) {
                const double f = h * pitch;
                const double gain = 1.0 / (1.0 + std::pow((f - f1) / 150.0, 2)) +
                                    0.5 / (1.0 + std::pow((f - f2) / 200.0, 2));
                x += gain * std::sin(kTwoPi * h * phase) / h;
            }
            Put(a.pcm, 0.15 * x);
        }
        a.label = "synthetic voiced signal (espeak-ng or sox missing)";
        return a;
    }();
    return audio;
}

// A character on the line: start bit, eight data bits least significant first, stop bit.
void AppendCharacter(std::vector<std::uint8_t>& bits, std::uint8_t byte) {
    bits.push_back(0);
    for (int i = 0; i < 8; ++i) bits.push_back((byte >> i) & 1);
    bits.push_back(1);
}

// A multiple-data caller-ID message: date, number, name, checksum.
std::vector<std::uint8_t> MdmfMessage(int index) {
    char number[16];
    std::snprintf(number, sizeof number, "555%07d", index);
    const std::string date = "12251430";
    const std::string name = "CALLER " + std::to_string(index % 1000);
    std::vector<std::uint8_t> data;
    for (const auto& [type, value] :
         {std::pair{std::uint8_t{0x01}, date}, std::pair{std::uint8_t{0x02}, std::string(number)},
          std::pair{std::uint8_t{0x07}, name}}) {
        data.push_back(type);
        data.push_back(static_cast<std::uint8_t>(value.size()));
        data.insert(data.end(), value.begin(), value.end());
    }
    std::vector<std::uint8_t> message(2 + data.size());
    message[0] = 0x80;
    message[1] = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), message.begin() + 2);
    unsigned sum = 0;
    for (std::uint8_t b : message) sum += b;
    message.push_back(static_cast<std::uint8_t>(-sum));
    return message;
}

// Caller-ID transmissions back to back for a minute: channel seizure (300 alternating
// bits), 180 mark bits, the message, a few trailing marks, 0.2 s of silence; Bell 202 at
// -13 dBFS peak, phase-continuous, bit k ending at sample round((k + 1) · 8000 / 1200).
const Audio& Transmissions() {
    static const Audio audio = [] {
        Audio a;
        const double amplitude = std::pow(10.0, -13.0 / 20.0);
        const double samplesPerBit = static_cast<double>(kRate) / 1200.0;
        while (true) {
            std::vector<std::uint8_t> bits;
            for (int i = 0; i < 300; ++i) bits.push_back(static_cast<std::uint8_t>(i & 1));
            bits.insert(bits.end(), 180, 1);
            for (std::uint8_t b : MdmfMessage(a.transmissions)) AppendCharacter(bits, b);
            bits.insert(bits.end(), 10, 1);
            const auto fskSamples = static_cast<std::size_t>(
                std::llround(static_cast<double>(bits.size()) * samplesPerBit));
            if (a.pcm.size() / 2 + fskSamples > kSamples) break;
            double phase = 0.0;
            for (std::size_t k = 0; k < bits.size(); ++k) {
                const auto begin = std::llround(static_cast<double>(k) * samplesPerBit);
                const auto end = std::llround(static_cast<double>(k + 1) * samplesPerBit);
                const double step = kTwoPi * (bits[k] ? 1200.0 : 2200.0) / kRate;
                for (auto n = begin; n < end; ++n) {
                    Put(a.pcm, amplitude * std::sin(phase));
                    phase = std::fmod(phase + step, kTwoPi);
                }
            }
            for (int n = 0; n < kRate / 5 && a.pcm.size() / 2 < kSamples; ++n) Put(a.pcm, 0.0);
            ++a.transmissions;
        }
        a.pcm.resize(kSamples * 2, 0);  // silence to the full minute
        a.label = std::to_string(a.transmissions) + " MDMF transmissions";
        return a;
    }();
    return audio;
}

struct Counts {
    long callerIds = 0;  // decoded messages
    long keys = 0;
};

void Count(void* context, int msg, std::uint64_t, std::int64_t lParam) {
    auto& counts = *static_cast<Counts*>(context);
    if (msg == DM_DTMF) ++counts.keys;
    if (msg == DM_CALLERID &&
        (reinterpret_cast<const CallerIDStatus*>(lParam)->iflag & 0xFFFF) == 0)
        ++counts.callerIds;
}

void Feed(CBaseDecoder& decoder, const std::vector<unsigned char>& pcm) {
    FeedInBuffers(decoder, pcm, kBufferBytes);
}

void Report(benchmark::State& state, const Audio& audio, const Counts& counts) {
    const double audioSeconds = static_cast<double>(audio.pcm.size() / 2) / kRate;
    state.counters["realtime_x"] =
        benchmark::Counter(audioSeconds, benchmark::Counter::kIsIterationInvariantRate);
    const auto runs = static_cast<double>(state.iterations());
    state.counters["callerids_per_run"] = static_cast<double>(counts.callerIds) / runs;
    state.counters["keys_per_run"] = static_cast<double>(counts.keys) / runs;
    state.SetLabel(audio.label);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(audio.pcm.size() / 2));
}

// The caller-ID decoder as the control object sets it up for on-hook caller ID.
void RunCallerId(benchmark::State& state, const Audio& audio) {
    CBaseDecoder decoder;
    Counts counts;
    for (auto _ : state) {
        decoder.SetHandle({&Count, &counts}, nullptr);
        decoder.SetParameters(kRate, 16, -45.0f, CBaseDecoder::kMono);
        decoder.EnableXDec(DEC_CALLERID, 1);
        decoder.SetParameters2(1200, 1200.0f, 2200.0f);
        decoder.SetSampleRate(kRate);
        Feed(decoder, audio.pcm);
    }
    Report(state, audio, counts);
}

void BM_CallerId_Speech(benchmark::State& state) {
    RunCallerId(state, Speech());
}
BENCHMARK(BM_CallerId_Speech)->Unit(benchmark::kMillisecond);

void BM_CallerId_BackToBackMdmf(benchmark::State& state) {
    RunCallerId(state, Transmissions());
}
BENCHMARK(BM_CallerId_BackToBackMdmf)->Unit(benchmark::kMillisecond);

// The DTMF detector alone on the same speech, set up as DecoderBench sets it up.
void BM_Dtmf_Speech(benchmark::State& state) {
    const Audio& audio = Speech();
    CBaseDecoder decoder;
    Counts counts;
    float rows[4], cols[4];
    for (auto _ : state) {
        decoder.SetHandle({&Count, &counts}, nullptr);
        decoder.SetParameters(kRate, 16, -45.0f, CBaseDecoder::kMono);
        SwitchOnDtmf(decoder, rows, cols);
        Feed(decoder, audio.pcm);
    }
    Report(state, audio, counts);
}
BENCHMARK(BM_Dtmf_Speech)->Unit(benchmark::kMillisecond);

// The stream alone on the same speech: conversion, DC removal and block statistics,
// which every detector's figure includes.
void BM_NoDetector_Speech(benchmark::State& state) {
    const Audio& audio = Speech();
    CBaseDecoder decoder;
    Counts counts;
    for (auto _ : state) {
        decoder.SetParameters(kRate, 16, -45.0f, CBaseDecoder::kMono);
        Feed(decoder, audio.pcm);
    }
    Report(state, audio, counts);
}
BENCHMARK(BM_NoDetector_Speech)->Unit(benchmark::kMillisecond);

}  // namespace
