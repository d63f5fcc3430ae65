// Live capture through ALSA. A test machine has no sound card, so recording is exercised
// on ALSA's null device, which records silence without hardware; the failures a user
// meets without a sound device are checked on a name no system defines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CaptureSourceMessageLog.h"
#include "component/AlsaCaptureSource.h"

namespace {

using namespace Orvane::VornixNet;

AlsaCaptureSource::Settings OnDevice(const std::string& device) {
    AlsaCaptureSource::Settings settings;
    settings.device = device;
    return settings;
}

TEST(AlsaCaptureSource, ADeviceThatCannotBeOpenedFailsTheStartWithItsNameInTheText) {
    AlsaCaptureSource source(OnDevice("vornix_no_such_device"));
    CaptureSourceMessageLog log;
    source.set_EventHandle(&log, &CaptureSourceMessageLog::Receive);
    EXPECT_FALSE(source.Start());
    EXPECT_NE(source.ErrorText().find("'vornix_no_such_device'"), std::string::npos) << source.ErrorText();
    EXPECT_FALSE(source.IsRunning());
    EXPECT_TRUE(log.Messages().empty());
}

TEST(AlsaCaptureSource, SettingsOutsideWhatTheComponentDecodesAreRefused) {
    AlsaCaptureSource::Settings settings = OnDevice("null");
    settings.bits = 12;
    AlsaCaptureSource source(settings);
    EXPECT_FALSE(source.Start());
    EXPECT_FALSE(source.ErrorText().empty());
    settings.bits = 16;
    settings.channels = 3;
    source.SetSettings(settings);
    EXPECT_FALSE(source.Start());
    EXPECT_FALSE(source.ErrorText().empty());
}

#if VORNIX_WITH_ALSA

class AlsaNullDevice : public ::testing::Test {
protected:
    void SetUp() override {
        AlsaCaptureSource::Settings settings = OnDevice("null");
        settings.sampleRate = 8000;
        settings.bits = 16;
        settings.bufferMs = 20;
        source.SetSettings(settings);
        source.set_EventHandle(&log, &CaptureSourceMessageLog::Receive);
        ASSERT_TRUE(source.Start()) << source.ErrorText();
        ASSERT_TRUE(log.WaitFor(AM_RECORD_DATA, 2));
    }

    CaptureSourceMessageLog log;
    AlsaCaptureSource source;
};

TEST_F(AlsaNullDevice, RecordsWholeFramesInTheReportedFormatUntilStopped) {
    EXPECT_FALSE(source.Start()) << "a second start while recording";
    EXPECT_TRUE(source.IsRunning());
    source.Stop();
    EXPECT_FALSE(source.IsRunning());

    const auto messages = log.Messages();
    EXPECT_EQ(messages.front().msg, AM_RECORD_START);
    EXPECT_EQ(messages.back().msg, AM_RECORD_END);
    EXPECT_EQ(log.Count(AM_RECORD_END), 1);
    for (const auto& m : messages) {
        if (m.msg == AM_RECORD_DATA) {
            EXPECT_EQ(m.bytes.size() % 2, 0u);
        }
    }
    WAVEFORMATEX format;
    std::memcpy(&format, source.get_RecordFormatEx(), sizeof format);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.nChannels, 1);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.nBlockAlign, 2);
    EXPECT_EQ(format.nAvgBytesPerSec, format.nSamplesPerSec * 2);
}

TEST_F(AlsaNullDevice, RecordsAgainAfterAStop) {
    source.Stop();
    ASSERT_TRUE(source.Start()) << source.ErrorText();
    ASSERT_TRUE(log.WaitFor(AM_RECORD_START, 2));
    source.Stop();
    EXPECT_EQ(log.Count(AM_RECORD_END), 2);
    EXPECT_EQ(log.Ids().back(), AM_RECORD_END);
}

TEST(AlsaCaptureSource, DestroyingTheSourceWhileItRecordsEndsTheRecording) {
    CaptureSourceMessageLog log;
    {
        AlsaCaptureSource source(OnDevice("null"));
        source.set_EventHandle(&log, &CaptureSourceMessageLog::Receive);
        ASSERT_TRUE(source.Start()) << source.ErrorText();
        ASSERT_TRUE(log.WaitFor(AM_RECORD_DATA, 1));
    }
    EXPECT_EQ(log.Ids().back(), AM_RECORD_END);
}

#else

TEST(AlsaCaptureSource, ABuildWithoutAlsaSaysSo) {
    AlsaCaptureSource source(OnDevice("null"));
    EXPECT_FALSE(source.Start());
    EXPECT_NE(source.ErrorText().find("no ALSA support"), std::string::npos) << source.ErrorText();
}

#endif

}  // namespace
