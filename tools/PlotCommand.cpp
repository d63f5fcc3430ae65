#include "PlotCommand.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <vector>

#include <CLI/CLI.hpp>

#include "Bounded.h"
#include "EventLanes.h"
#include "EventPrinter.h"
#include "EventRecord.h"
#include "ExitCode.h"
#include "PlotLayout.h"
#include "RecordingReader.h"
#include "Spectrogram.h"
#include "audio/StreamFormats.h"
#include "vornix/PhoneVornix.h"
#if VORNIX_WITH_CAIRO
#include "RecordingPlot.h"
#endif

using namespace Orvane::VornixNet;

#if VORNIX_WITH_CAIRO
namespace {

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace
#endif

PlotCommand::PlotCommand(CLI::App& parent) {
    m_command = parent.add_subcommand("plot", "Draw a recording's spectrogram and its events as a PNG picture");
    m_command->add_option("FILE", m_file, "Sound file (RIFF wave, MP3, .raw/.pcm)")->required();
    m_command->add_option("-o,--output", m_output, "PNG file to write")->required();
    m_command->add_option("--width", m_width, "Width of the picture in pixels")->check(Bounded(400, 8192))->capture_default_str()->group("Picture");
    m_command->add_option("--height-spectrogram", m_spectrogramHeight, "Height of the spectrogram in pixels")
        ->check(Bounded(50, 4000))
        ->capture_default_str()
        ->group("Picture");
    m_command->add_option("--max-frequency", m_maxFrequency, "Top of the spectrogram in Hz (default: half the sample rate)")
        ->check(Bounded(1, 1e6))
        ->group("Picture");
    m_command->add_option("--from", m_from, "Start of the stretch drawn, in seconds (default: the start)")->check(Bounded(0, 1e7))->group("Picture");
    m_command->add_option("--to", m_to, "End of the stretch drawn, in seconds (default: the end)")->check(Bounded(0, 1e7))->group("Picture");
    m_options.Register(*m_command);
    m_detectOption = m_command->get_option("--detect");
    m_command->add_option("--format-index", m_formatIndex, "Format of raw PCM (.raw, .pcm) by number (WaveFormatIndex, 0-64)")
        ->check(Bounded(0, 64))
        ->capture_default_str()
        ->group("Raw input");
}

bool PlotCommand::Selected() const {
    return m_command->parsed();
}

int PlotCommand::Run() {
#if !VORNIX_WITH_CAIRO
    std::cerr << "vornix plot: this build has no plotting (built without cairo)\n";
    return kExitFailure;
#else
    if (m_to && *m_to <= m_from.value_or(0.0)) {
        std::cerr << "vornix plot: --to must be later than --from\n";
        return kExitUsage;
    }
    PhoneVornix component;
    try {
        m_options.Apply(component);
        component.WaveFormatIndex(static_cast<WAVE_FORMAT_INDEX>(m_formatIndex));
    } catch (const VornixException& e) {
        std::cerr << "vornix plot: " << e.what() << '\n';
        return kExitUsage;
    }
    const auto fail = [this](const std::string& text) {
        std::cerr << "vornix: " << m_file << ": " << text << '\n';
        return kExitFailure;
    };
    std::vector<std::uint8_t> rawFormat;
    if (FAILED(SpConvertStreamFormatEnum(m_formatIndex, &rawFormat))) return fail("no raw format " + std::to_string(m_formatIndex));
    const auto& raw = *reinterpret_cast<const WAVEFORMATEX*>(rawFormat.data());
    const bool right = component.DecodeChannel() == RIGHT_CHANNEL;

    // First the length, so the stretch drawn is known before the spectrogram is made.
    std::int64_t total = 0;
    int rate = 0;
    int channels = 0;
    {
        RecordingReader reader(m_file, raw, right);
        std::vector<float> samples;
        while (reader.Read(samples)) total += static_cast<std::int64_t>(samples.size());
        if (!reader.IsOK()) return fail(reader.Error());
        rate = reader.SampleRate();
        channels = reader.Channels();
    }
    if (total == 0) return fail("the recording holds no samples");
    const double duration = static_cast<double>(total) / rate;
    const double from = m_from.value_or(0.0);
    const double to = std::min(m_to.value_or(duration), duration);
    if (from >= duration) return fail("--from " + Fixed(from, 3) + " s is past the end (" + Fixed(duration, 3) + " s)");
    const std::vector<std::string> detectors = m_detectOption->as<std::vector<std::string>>();

    EventLanes lanes(detectors);
    EventPrinter collector([&lanes](const EventRecord& record, std::optional<double> seconds) { lanes.Add(record, seconds); });
    collector.Attach(component);
    try {
        component.Source(m_file);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    collector.Flush();
    lanes.Finish(duration);

    const double halfRate = rate / 2.0;
    const PlotLayout layout(m_width, m_spectrogramHeight, static_cast<int>(lanes.Lanes().size()), from, to,
                            std::min(m_maxFrequency.value_or(halfRate), halfRate));
    const auto first = static_cast<std::int64_t>(from * rate);
    const auto count = std::max<std::int64_t>(static_cast<std::int64_t>(to * rate) - first, 1);
    Spectrogram spectrogram(rate, first, count, layout.Spectrogram().width);
    {
        RecordingReader reader(m_file, raw, right);
        std::vector<float> samples;
        while (reader.Read(samples)) spectrogram.Feed(samples);
        if (!reader.IsOK()) return fail(reader.Error());
        spectrogram.Finish();
    }

    RecordingPlot plot(layout, spectrogram, lanes);
    std::string subtitle = Fixed(duration, 3) + " s at " + std::to_string(rate) + " Hz";
    if (m_from || to < duration) subtitle += "  \u00b7  showing " + Fixed(from, 3) + " to " + Fixed(to, 3) + " s";
    if (channels > 1) subtitle += right ? "  \u00b7  right channel" : "  \u00b7  left channel";
    subtitle += "  \u00b7  frames of " + std::to_string(spectrogram.FrameSize()) + " samples";
    plot.Title(std::filesystem::path(m_file).filename().string(), subtitle);
    std::string error;
    if (!plot.WritePng(m_output, error)) {
        std::cerr << "vornix: " << m_output << ": " << error << '\n';
        return kExitFailure;
    }
    return kExitSuccess;
#endif
}
