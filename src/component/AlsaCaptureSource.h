#pragma once

#include <cstdint>
#include <string>

#include "component/CaptureSourceBase.h"

struct _snd_pcm;

// A capture source that records from a sound device through ALSA on its own thread and
// hands each buffer to the attached component as it arrives.
//
// Start opens the device; when it cannot be opened (no sound card, a wrong name, a
// format the device refuses) Start returns false and ErrorText says why, naming the
// device. A device that fails while recording (unplugged, for example) ends the
// recording with AM_RECORD_END and leaves its reason in ErrorText. In a build without
// ALSA every Start fails with a text saying so.
class AlsaCaptureSource : public CaptureSourceBase {
public:
    struct Settings {
        std::string device = "default";
        std::uint32_t sampleRate = 8000;  // the device may give a near rate; the format says which
        std::uint16_t channels = 1;       // 1 or 2
        std::uint16_t bits = 16;          // 8, 16 or 32 (float)
        std::uint32_t bufferMs = 100;     // audio per AM_RECORD_DATA, 10 to 1000
    };

    AlsaCaptureSource();
    explicit AlsaCaptureSource(Settings settings);
    ~AlsaCaptureSource() override;

    const Settings& GetSettings() const { return m_settings; }
    // Used at the next Start; ignored while recording.
    void SetSettings(const Settings& settings);

    // Opens the device with the settings and starts recording.
    bool Start();

private:
    bool Open();
    void Record();
    void Close();

    Settings m_settings;
    _snd_pcm* m_pcm = nullptr;
    std::uint32_t m_periodFrames = 0;
};
