#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
}
class SignalTimeline;

// vornix gen KIND: writes a test recording as a RIFF wave file. Each kind of signal is a
// subcommand with its own options; the output format, noise and file options are common
// to every kind. Only DTMF exists so far.
class GenCommand {
public:
    explicit GenCommand(CLI::App& parent);
    bool Selected() const;
    int Run();

private:
    void AddCommonOptions(CLI::App& kind);
    int RunDtmf();
    // Adds the noise, renders in the output format and writes the file.
    int Write(SignalTimeline& signal);

    CLI::App* m_command;
    CLI::App* m_dtmf;

    // Common to every kind.
    std::string m_output;
    double m_noiseDbfs = 0.0;
    bool m_noise = false;
    std::uint64_t m_seed = 1;
    int m_rate = 8000;
    int m_bits = 16;
    int m_channels = 1;
    std::string m_channel = "left";

    // dtmf
    std::string m_digits;
    double m_levelDbfs = -10.0;
    double m_twistDb = 0.0;
    double m_durationMs = 100.0;
    double m_gapMs = 100.0;
    double m_leadMs = 0.0;
};
