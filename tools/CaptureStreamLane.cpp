#include "CaptureStreamLane.h"

#include <chrono>

#include "DecodeOptions.h"
#include "StreamFeeder.h"
#include "audio/StreamFormats.h"
#include "audio/WaveFormat.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

CaptureStreamLane::CaptureStreamLane(const DecodeOptions& options, EventPrinter& printer,
                                     const RtpSession::StreamInfo& info, std::function<void(const std::string&)> debug)
    : m_component(std::make_unique<PhoneVornix>()), m_printer(printer), m_firstTimeNs(info.firstTimeNs) {
    options.Apply(*m_component);
    m_stream.labels.emplace_back("Stream", info.Name());
    if (!info.callId.empty()) m_stream.labels.emplace_back("CallID", info.callId);
    m_stream.keySource = true;
    m_stream.clock = [this](std::int64_t position) -> std::optional<std::chrono::system_clock::time_point> {
        if (m_rate <= 0) return std::nullopt;
        // Whole seconds and the rest apart, so an hour-long stream keeps its nanoseconds.
        // A capture's time may be anything its file says: one beyond what a clock holds
        // gives no "Time".
        std::int64_t offsetNs, timeNs;
        if (__builtin_mul_overflow(position / m_rate, std::int64_t{1'000'000'000}, &offsetNs) ||
            __builtin_add_overflow(offsetNs, position % m_rate * 1'000'000'000 / m_rate, &offsetNs) ||
            __builtin_add_overflow(m_firstTimeNs, offsetNs, &timeNs))
            return std::nullopt;
        return std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::nanoseconds(timeNs)));
    };
    m_printer.Attach(*m_component, m_stream);
    if (debug)
        m_component->OnDebug += [debug](PhoneVornix&, const OnDebugArgs& e) { debug("debug: " + e.InfoMsg().value_or("")); };
}

CaptureStreamLane::~CaptureStreamLane() = default;

void CaptureStreamLane::OnStart(int sampleRate) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = static_cast<std::uint32_t>(sampleRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    m_component->WaveFormatID(WaveFmtToString(&format, sizeof format));
    m_feeder = std::make_unique<StreamFeeder>(std::vector<StreamFeeder::Lane>{{m_component.get(), &m_stream.positions}}, format);
    m_feeder->Start();
    m_rate = sampleRate;
}

void CaptureStreamLane::OnAudio(std::span<const std::int16_t> samples) {
    if (!m_feeder || m_refused || samples.empty()) return;
    // The decoder reads little-endian 16-bit samples, which is how this machine holds them.
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(samples.data()), samples.size_bytes());
    if (!m_feeder->Feed(bytes)) m_refused = true;
}

void CaptureStreamLane::OnKey(char key, std::int64_t position, std::int64_t /*timeNs*/) {
    m_printer.PrintOutOfBandKey(*m_component, m_stream, key, position);
}

void CaptureStreamLane::End() {
    if (m_feeder) m_feeder->End();
}

double CaptureStreamLane::AudioSeconds() const {
    return m_feeder && m_rate > 0 ? static_cast<double>(m_feeder->FramesFed()) / m_rate : 0.0;
}
