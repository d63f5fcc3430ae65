#include "BenchSpeech.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr int kSpeechRate = 8000;
constexpr double kTwoPi = 6.283185307179586476925;

}  // namespace

// Speech as float samples: espeak-ng through sox (the benchmark links no test support, so
// it speaks for itself), or a synthetic voiced signal (a buzz at a gliding pitch through
// two moving formants, with syllable pauses) when either tool is missing.
std::vector<float> SpeechSamples(const char* prose, std::string& label) {
    const std::string command = std::string("espeak-ng --stdout -v en-gb -s 160 \"") + prose +
                                "\" 2>/dev/null | sox -t wav - -r 8000 -b 16 -c 1 -e signed-integer -L -t raw - "
                                "2>/dev/null";
    std::vector<unsigned char> bytes;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        unsigned char chunk[65536];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
        ::pclose(pipe);
    }
    std::vector<float> speech;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        speech.push_back(static_cast<float>(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8))) / 32768.0f);
    if (speech.size() >= static_cast<std::size_t>(10 * kSpeechRate)) {
        label = "espeak-ng speech";
        return speech;
    }
    label = "synthetic voiced signal (espeak-ng or sox missing)";
    speech.clear();
    double phase = 0.0;
    for (std::size_t n = 0; n < static_cast<std::size_t>(30 * kSpeechRate); ++n) {
        const double t = static_cast<double>(n) / kSpeechRate;
        if (std::fmod(t, 0.25) > 0.18) {
            speech.push_back(0.0f);
            continue;
        }
        const double pitch = 120.0 + 40.0 * std::sin(kTwoPi * 0.7 * t);
        phase += pitch / kSpeechRate;
        const double f1 = 500.0 + 300.0 * std::sin(kTwoPi * 1.3 * t);
        const double f2 = 1500.0 + 700.0 * std::sin(kTwoPi * 0.9 * t);
        double x = 0.0;
        for (int h = 1; h * pitch < 3400.0; ++h) {
            const double f = h * pitch;
            const double gain = 1.0 / (1.0 + std::pow((f - f1) / 150.0, 2)) + 0.5 / (1.0 + std::pow((f - f2) / 200.0, 2));
            x += gain * std::sin(kTwoPi * h * phase) / h;
        }
        speech.push_back(static_cast<float>(0.15 * x));
    }
    return speech;
}
