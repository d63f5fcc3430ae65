#include "component/AlsaCaptureSource.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#if VORNIX_WITH_ALSA
#include <alsa/asoundlib.h>
#endif

#include "platform/DebugOutput.h"

using Orvane::VornixNet::AM_RECORD_DATA;

namespace {

// How long the recording thread waits for audio before it looks for a stop request
// again: a device that stalls must not keep Stop waiting.
constexpr int kPollMs = 200;

}  // namespace

AlsaCaptureSource::AlsaCaptureSource() : AlsaCaptureSource(Settings{}) {}

AlsaCaptureSource::AlsaCaptureSource(Settings settings) {
    SetSettings(settings);
}

AlsaCaptureSource::~AlsaCaptureSource() {
    // The recording thread reads this object's device.
    Shutdown();
    Close();
}

void AlsaCaptureSource::SetSettings(const Settings& settings) {
    if (IsRunning()) return;
    m_settings = settings;
    m_settings.bufferMs = std::clamp<std::uint32_t>(settings.bufferMs, 10, 1000);
}

bool AlsaCaptureSource::Start() {
    if (RefuseIfRunning()) return false;
    Close();
    if (!Open()) {
        Close();
        return false;
    }
    return Launch([this] { Record(); });
}

#if VORNIX_WITH_ALSA

namespace {

// ALSA writes its own diagnostics to stderr by default, which would mix with a host's
// output; they go to the debug output instead, and Start's error text says what failed.
void AlsaDiagnostic(const char* file, int line, const char* function, int, const char* format, ...) {
    char text[512];
    int n = std::snprintf(text, sizeof text, "ALSA %s:%d (%s): ", file, line, function);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof text) n = 0;
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + n, sizeof text - static_cast<std::size_t>(n), format, args);
    va_end(args);
    DebugOutput(text);
}

}  // namespace

bool AlsaCaptureSource::Open() {
    static std::once_flag diagnostics;
    std::call_once(diagnostics, [] { snd_lib_error_set_handler(&AlsaDiagnostic); });

    const Settings& s = m_settings;
    const std::string where = "Sound device '" + s.device + "'";
    snd_pcm_format_t sampleFormat;
    std::uint16_t tag = WAVE_FORMAT_PCM;
    switch (s.bits) {
        case 8: sampleFormat = SND_PCM_FORMAT_U8; break;
        case 16: sampleFormat = SND_PCM_FORMAT_S16_LE; break;
        case 32: sampleFormat = SND_PCM_FORMAT_FLOAT_LE; tag = WAVE_FORMAT_IEEE_FLOAT; break;
        default: SetErrorText(where + ": 8, 16 or 32 bits per sample, not " + std::to_string(s.bits) + "."); return false;
    }
    if (s.channels != 1 && s.channels != 2) {
        SetErrorText(where + ": 1 or 2 channels, not " + std::to_string(s.channels) + ".");
        return false;
    }
    if (s.sampleRate < 1000 || s.sampleRate > 192000) {
        SetErrorText(where + ": a rate of 1000 to 192000 Hz, not " + std::to_string(s.sampleRate) + ".");
        return false;
    }

    // Non-blocking reads after a timed wait: the thread checks for a stop request at
    // least every kPollMs.
    int r = snd_pcm_open(&m_pcm, s.device.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (r < 0) {
        m_pcm = nullptr;
        SetErrorText(where + " cannot be opened for recording: " + snd_strerror(r) + ".");
        return false;
    }
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned rate = s.sampleRate;
    snd_pcm_uframes_t period = std::max<snd_pcm_uframes_t>(1, std::uint64_t{s.sampleRate} * s.bufferMs / 1000);
    snd_pcm_uframes_t buffer = period * 4;
    const char* step = "reading its capabilities";
    if ((r = snd_pcm_hw_params_any(m_pcm, hw)) >= 0 &&
        (step = "setting interleaved access", r = snd_pcm_hw_params_set_access(m_pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) >= 0 &&
        (step = "setting the sample format", r = snd_pcm_hw_params_set_format(m_pcm, hw, sampleFormat)) >= 0 &&
        (step = "setting the channel count", r = snd_pcm_hw_params_set_channels(m_pcm, hw, s.channels)) >= 0 &&
        (step = "setting the sample rate", r = snd_pcm_hw_params_set_rate_near(m_pcm, hw, &rate, nullptr)) >= 0 &&
        (step = "setting the period", r = snd_pcm_hw_params_set_period_size_near(m_pcm, hw, &period, nullptr)) >= 0 &&
        (step = "setting the buffer", r = snd_pcm_hw_params_set_buffer_size_near(m_pcm, hw, &buffer)) >= 0 &&
        (step = "applying the settings", r = snd_pcm_hw_params(m_pcm, hw)) >= 0 &&
        (step = "preparing it", r = snd_pcm_prepare(m_pcm)) >= 0 &&
        (step = "starting it", r = snd_pcm_start(m_pcm)) >= 0) {
        m_periodFrames = static_cast<std::uint32_t>(std::max<snd_pcm_uframes_t>(period, 1));
        const std::uint16_t align = static_cast<std::uint16_t>(s.channels * s.bits / 8);
        // The rate the device actually gave is the one the component must decode at.
        WAVEFORMATEX format{tag, s.channels, rate, rate * align, align, s.bits, 0};
        SetFormat(std::span(reinterpret_cast<const std::uint8_t*>(&format), sizeof format));
        return true;
    }
    SetErrorText(where + " failed while " + step + ": " + snd_strerror(r) + ".");
    return false;
}

void AlsaCaptureSource::Record() {
    const std::uint32_t frameBytes = Format().nBlockAlign;
    std::vector<std::uint8_t> buffer(std::size_t{m_periodFrames} * frameBytes);
    while (!StopRequested()) {
        int r = snd_pcm_wait(m_pcm, kPollMs);
        if (r == 0) continue;  // nothing yet; look for a stop request again
        snd_pcm_sframes_t n = r < 0 ? r : snd_pcm_readi(m_pcm, buffer.data(), m_periodFrames);
        if (n == -EAGAIN) continue;
        if (n < 0) {
            // An overrun (the receiver was too slow) or a suspend: the device is prepared
            // again and recording goes on with a gap. Anything else ends the recording.
            const int failure = static_cast<int>(n);
            const bool recovered = snd_pcm_recover(m_pcm, failure, 1) >= 0 &&
                                   (snd_pcm_state(m_pcm) != SND_PCM_STATE_PREPARED || snd_pcm_start(m_pcm) >= 0);
            if (!recovered) {
                SetErrorText("Sound device '" + m_settings.device + "' failed while recording: " +
                             snd_strerror(failure) + ".");
                break;
            }
            continue;
        }
        if (n > 0)
            Deliver(AM_RECORD_DATA, reinterpret_cast<std::uint64_t>(buffer.data()),
                    static_cast<std::int64_t>(n) * frameBytes);
    }
    Close();
}

void AlsaCaptureSource::Close() {
    if (m_pcm) snd_pcm_close(m_pcm);
    m_pcm = nullptr;
}

#else  // built without ALSA

bool AlsaCaptureSource::Open() {
    SetErrorText("Sound device '" + m_settings.device + "' cannot be opened: this build has no ALSA support.");
    return false;
}

void AlsaCaptureSource::Record() {}

void AlsaCaptureSource::Close() {}

#endif
