#include "GenCommand.h"

#include <iostream>

#include <CLI/CLI.hpp>

#include "Bounded.h"
#include "ExitCode.h"
#include "audio/CSoundFile.h"
#include "audio/WaveFormat.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace {

// The longest recording gen writes: RIFF sizes are 32-bit, and the signal is built in
// memory first.
constexpr double kMaxBytes = 2.0e9;

}  // namespace

GenCommand::GenCommand(CLI::App& parent) {
    m_command = parent.add_subcommand("gen", "Write a test recording");
    m_command->require_subcommand(1);

    m_dtmf = m_command->add_subcommand("dtmf", "DTMF keys");
    m_dtmf->add_option("DIGITS", m_digits, "Keys to dial: 0-9 * # A-D")->required();
    m_dtmf->add_option("--level", m_levelDbfs, "Level of the low-group tone in dBFS")->check(Bounded(-120, 0))->capture_default_str();
    m_dtmf->add_option("--twist", m_twistDb, "High-group level minus low-group level in dB")->check(Bounded(-40, 40))->capture_default_str();
    m_dtmf->add_option("--duration", m_durationMs, "Tone of each key in ms")->check(Bounded(0, 60000))->capture_default_str();
    m_dtmf->add_option("--gap", m_gapMs, "Silence after each key in ms")->check(Bounded(0, 60000))->capture_default_str();
    m_dtmf->add_option("--lead", m_leadMs, "Silence before the first key in ms")->check(Bounded(0, 3600000))->capture_default_str();
    AddCommonOptions(*m_dtmf);
}

void GenCommand::AddCommonOptions(CLI::App& kind) {
    kind.add_option("-o,--output", m_output, "Wave file to write")->required();
    kind.add_option("--noise", m_noiseDbfs, "White noise over the whole recording at this level in dBFS")
        ->check(Bounded(-200, 0))
        ->each([this](const std::string&) { m_noise = true; });
    kind.add_option("--seed", m_seed, "Seed of the noise (the same seed gives the same noise)")->capture_default_str();
    kind.add_option("--rate", m_rate, "Sample rate in Hz")->check(Bounded(1000, 192000))->capture_default_str();
    kind.add_option("--bits", m_bits, "Bits per sample: 8, 16 or 32 (float)")->check(CLI::IsMember({8, 16, 32}))->capture_default_str();
    kind.add_option("--channels", m_channels, "1 or 2")->check(CLI::IsMember({1, 2}))->capture_default_str();
    kind.add_option("--channel", m_channel, "Channel carrying the signal in stereo")
        ->check(CLI::IsMember({"left", "right"}))
        ->capture_default_str();
}

bool GenCommand::Selected() const {
    return m_command->parsed();
}

int GenCommand::Run() {
    if (m_dtmf->parsed()) return RunDtmf();
    return kExitUsage;
}

int GenCommand::RunDtmf() {
    for (char key : m_digits) {
        if (DtmfGenerator::KeyIndex(key) < 0) {
            std::cerr << "vornix gen dtmf: '" << key << "' is not a DTMF key (0-9 * # A-D)\n";
            return kExitUsage;
        }
    }
    const double seconds = (m_leadMs + static_cast<double>(m_digits.size()) * (m_durationMs + m_gapMs)) / 1000.0;
    if (seconds * m_rate * m_channels * (m_bits / 8) > kMaxBytes) {
        std::cerr << "vornix gen dtmf: the recording would be longer than a wave file can hold\n";
        return kExitUsage;
    }
    DtmfGenerator::Options options;
    options.levelDbfs = m_levelDbfs;
    options.twistDb = m_twistDb;
    options.toneMs = m_durationMs;
    options.gapMs = m_gapMs;
    options.leadMs = m_leadMs;
    SignalTimeline signal(m_rate);
    signal.Reserve(static_cast<std::size_t>(seconds * m_rate) + 1);
    if (DtmfGenerator(options).Append(signal, m_digits) != S_OK) {
        std::cerr << "vornix gen dtmf: the options do not describe a signal\n";
        return kExitUsage;
    }
    return Write(signal);
}

int GenCommand::Write(SignalTimeline& signal) {
    if (m_noise) signal.AddNoise(m_noiseDbfs, m_seed);
    const PcmRenderer::Format format{m_bits, m_channels, m_channel == "right" && m_channels == 2 ? 1 : 0, m_rate};
    PcmRenderer renderer(format);
    std::vector<unsigned char> pcm;
    if (renderer.Render(signal, pcm) != S_OK) {
        std::cerr << "vornix gen: the output format is not valid\n";
        return kExitUsage;
    }
    if (renderer.ClippedSamples() > 0)
        std::cerr << "vornix gen: warning: " << renderer.ClippedSamples() << " samples clipped\n";

    const auto align = static_cast<std::uint16_t>(renderer.BytesPerFrame());
    WAVEFORMATEX wave{m_bits == 32 ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM,
                      static_cast<std::uint16_t>(m_channels),
                      static_cast<std::uint32_t>(m_rate),
                      static_cast<std::uint32_t>(m_rate) * align,
                      align,
                      static_cast<std::uint16_t>(m_bits),
                      0};
    CSoundFile file(m_output.c_str(), &wave, sizeof wave);
    if (!file.IsOK() || !file.Write(pcm.data(), static_cast<std::uint32_t>(pcm.size())) || !file.Close()) {
        std::cerr << "vornix gen: " << m_output << ": " << file.GetLastErrorText() << '\n';
        return kExitFailure;
    }
    return kExitSuccess;
}
