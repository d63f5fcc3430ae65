// The replay capture source: its messages at the seam with a receiver, its life cycle
// (stop, destroy and restart at any moment), and keys reaching a component through it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CaptureSourceMessageLog.h"
#include "audio/CSoundFile.h"
#include "component/ReplayCaptureSource.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"
#include "vornix/PhoneVornix.h"

namespace {

using namespace Orvane::VornixNet;
using namespace std::chrono_literals;

WAVEFORMATEX PcmFormat(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits) {
    const auto align = static_cast<std::uint16_t>(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

// Keys of 60 ms with 60 ms gaps and a trailing pause, on the given channel of the format.
std::vector<std::uint8_t> KeysPcm(const std::string& keys, const WAVEFORMATEX& f, int channel = 0) {
    SignalTimeline timeline(static_cast<int>(f.nSamplesPerSec));
    DtmfGenerator::Options options;
    options.toneMs = 60;
    options.gapMs = 60;
    options.leadMs = 100;
    EXPECT_EQ(DtmfGenerator(options).Append(timeline, keys), S_OK);
    timeline.AppendSilence(timeline.SamplesForMs(200));
    std::vector<std::uint8_t> pcm;
    PcmRenderer({f.wBitsPerSample, f.nChannels, channel, static_cast<int>(f.nSamplesPerSec)}).Render(timeline, pcm);
    return pcm;
}

// Counting bytes: any corruption or reordering of the replayed data shows.
std::vector<std::uint8_t> Ramp(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vornix-replay-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteWave(const std::string& path, WAVEFORMATEX format, const std::vector<std::uint8_t>& bytes) {
    CSoundFile file(path.c_str(), &format, sizeof format);
    ASSERT_TRUE(file.IsOK()) << file.GetLastErrorText();
    ASSERT_TRUE(file.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    ASSERT_TRUE(file.Close());
}

// --------------------------------------------------------------- messages

TEST(ReplayCaptureSource, ABufferArrivesWholeInBlockAlignedPiecesBetweenStartAndEnd) {
    const WAVEFORMATEX format = PcmFormat(8000, 2, 16);  // 32000 bytes a second
    const auto bytes = Ramp(32000 + 1000);               // 1.03 s: a short last piece
    ReplayCaptureSource source;
    CaptureSourceMessageLog log;
    source.set_EventHandle(&log, &CaptureSourceMessageLog::Receive);
    ASSERT_TRUE(source.LoadBuffer(bytes, format));
    source.RealTime(false);
    source.BufferMs(100);
    ASSERT_TRUE(source.Start());
    source.Wait();

    const auto messages = log.Messages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages.front().msg, AM_RECORD_START);
    EXPECT_EQ(messages.back().msg, AM_RECORD_END);
    for (std::size_t i = 1; i + 1 < messages.size(); ++i) {
        EXPECT_EQ(messages[i].msg, AM_RECORD_DATA);
        EXPECT_LE(messages[i].bytes.size(), 3200u);
        EXPECT_EQ(messages[i].bytes.size() % 4, 0u) << "a frame split between two messages";
        EXPECT_NE(messages[i].thread, std::this_thread::get_id());
    }
    EXPECT_EQ(log.Bytes(), bytes);
    WAVEFORMATEX recorded;
    std::memcpy(&recorded, source.get_RecordFormatEx(), sizeof recorded);
    EXPECT_EQ(std::memcmp(&recorded, &format, sizeof format), 0);
    EXPECT_FALSE(source.IsRunning());
}

TEST(ReplayCaptureSource, AFileIsPlayedInItsOwnFormatAndARawFileInTheRawFormat) {
    TempDir dir;
    const WAVEFORMATEX stereo8 = PcmFormat(11025, 2, 8);
    const auto bytes = Ramp(11025 * 2 + 6);
    WriteWave(dir.File("a.wav"), stereo8, bytes);
    {
        ReplayCaptureSource source;
        CaptureSourceMessageLog log;
        source.set_EventHandle(&log, &CaptureSourceMessageLog::Receive);
        source.LoadFile(dir.File("a.wav"));
        source.RealTime(false);
        ASSERT_TRUE(source.Start()) << source.ErrorText();
        source.Wait();
        EXPECT_EQ(log.Bytes(), bytes);
        EXPECT_EQ(std::memcmp(source.get_RecordFormatEx(), &stereo8, sizeof stereo8), 0);
    }
    {
        FILE* raw = std::fopen(dir.File("b.raw").c_str(), "wb");
        ASSERT_NE(raw, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), raw);
        std::fclose(raw);
        const WAVEFORMATEX mono16 = PcmFormat(16000, 1, 16);
        ReplayCaptureSource source;
        CaptureSourceMessageLog log;
        source.set_EventHandle(&log, &CaptureSourceMessageLog::Receive);
        source.LoadFile(dir.File("b.raw"));
        source.RawFormat(mono16);
        source.RealTime(false);
        ASSERT_TRUE(source.Start()) << source.ErrorText();
        source.Wait();
        EXPECT_EQ(log.Bytes(), bytes);
        EXPECT_EQ(std::memcmp(source.get_RecordFormatEx(), &mono16, sizeof mono16), 0);
    }
}

TEST(ReplayCaptureSource, StartFailsWithATextAndSendsNothingWhenThereIsNothingToPlay) {
    ReplayCaptureSource source;
    CaptureSourceMessageLog log;
    source.set_EventHandle(&log, &CaptureSourceMessageLog::Receive);
    EXPECT_FALSE(source.Start());
    EXPECT_FALSE(source.ErrorText().empty());

    source.LoadFile("/nonexistent-folder/missing-recording.wav");
    EXPECT_FALSE(source.Start());
    EXPECT_NE(source.ErrorText().find("missing-recording.wav"), std::string::npos) << source.ErrorText();
    EXPECT_FALSE(source.IsRunning());
    EXPECT_TRUE(log.Messages().empty());
}

TEST(ReplayCaptureSource, FormatRecordsThatCannotDescribeTheBytesAreRefused) {
    ReplayCaptureSource source;
    const auto bytes = Ramp(100);
    WAVEFORMATEX format = PcmFormat(8000, 1, 16);
    format.cbSize = 10;  // promises ten bytes the record does not have
    EXPECT_FALSE(source.LoadBuffer(bytes, std::span(reinterpret_cast<const std::uint8_t*>(&format), sizeof format)));
    EXPECT_FALSE(source.LoadBuffer(bytes, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&format), 10)));
    format = PcmFormat(8000, 1, 16);
    format.nBlockAlign = 0;
    EXPECT_FALSE(source.LoadBuffer(bytes, format));
    EXPECT_FALSE(source.Start()) << "a refused buffer must not count as loaded";
}

// --------------------------------------------------------------- life cycle

class ReplayWhileRunning : public ::testing::Test {
protected:
    void SetUp() override {
        // Ten seconds in real time: every test below acts while it is still playing.
        source.set_EventHandle(&log, &CaptureSourceMessageLog::Receive);
        ASSERT_TRUE(source.LoadBuffer(bytes, PcmFormat(8000, 1, 16)));
        source.BufferMs(20);
        ASSERT_TRUE(source.Start());
        ASSERT_TRUE(log.WaitFor(AM_RECORD_DATA, 1));
    }

    std::vector<std::uint8_t> bytes = Ramp(160000);
    CaptureSourceMessageLog log;
    ReplayCaptureSource source;
};

TEST_F(ReplayWhileRunning, StopEndsTheRecordingWithEndBeforeItReturns) {
    source.Stop();
    EXPECT_FALSE(source.IsRunning());
    const auto ids = log.Ids();
    EXPECT_EQ(ids.back(), AM_RECORD_END);
    EXPECT_EQ(log.Count(AM_RECORD_END), 1);
    EXPECT_LT(log.Bytes().size(), bytes.size());
    source.Stop();  // a second stop finds nothing to do
    EXPECT_EQ(log.Ids(), ids);
}

TEST_F(ReplayWhileRunning, ASecondStartIsRefusedAndAStartAfterTheEndPlaysAgainFromTheBeginning) {
    EXPECT_FALSE(source.Start());
    EXPECT_NE(source.ErrorText().find("already"), std::string::npos);
    EXPECT_TRUE(source.IsRunning()) << "the refused start must leave the recording alone";
    source.Stop();

    const std::size_t firstMessages = log.Messages().size();
    source.RealTime(false);
    ASSERT_TRUE(source.Start());
    source.Wait();
    const auto messages = log.Messages();
    std::vector<std::uint8_t> second;
    for (std::size_t i = firstMessages; i < messages.size(); ++i)
        second.insert(second.end(), messages[i].bytes.begin(), messages[i].bytes.end());
    EXPECT_EQ(messages[firstMessages].msg, AM_RECORD_START);
    EXPECT_EQ(messages.back().msg, AM_RECORD_END);
    EXPECT_EQ(second, bytes);
    EXPECT_EQ(log.Count(AM_RECORD_START), 2);
    EXPECT_EQ(log.Count(AM_RECORD_END), 2);
}

TEST_F(ReplayWhileRunning, ADetachedReceiverGetsNothingMore) {
    source.set_EventHandle(nullptr, nullptr);
    const std::size_t n = log.Messages().size();
    source.Stop();
    EXPECT_EQ(log.Messages().size(), n);
}

TEST(ReplayCaptureSource, DestroyingTheSourceWhileItPlaysStillEndsTheRecording) {
    CaptureSourceMessageLog log;
    {
        ReplayCaptureSource source;
        source.set_EventHandle(&log, &CaptureSourceMessageLog::Receive);
        ASSERT_TRUE(source.LoadBuffer(Ramp(160000), PcmFormat(8000, 1, 16)));
        ASSERT_TRUE(source.Start());
        ASSERT_TRUE(log.WaitFor(AM_RECORD_DATA, 1));
    }
    EXPECT_EQ(log.Ids().back(), AM_RECORD_END);
    EXPECT_EQ(log.Count(AM_RECORD_END), 1);
}

TEST(ReplayCaptureSource, AStopFromTheReceiverEndsTheRecordingWithoutWaitingForItself) {
    ReplayCaptureSource source;
    CaptureSourceMessageLog log;
    log.onMessage = [&source](int msg) {
        if (msg == AM_RECORD_DATA) source.Stop();
    };
    source.set_EventHandle(&log, &CaptureSourceMessageLog::Receive);
    ASSERT_TRUE(source.LoadBuffer(Ramp(16000), PcmFormat(8000, 1, 16)));
    source.RealTime(false);
    ASSERT_TRUE(source.Start());
    source.Wait();
    EXPECT_EQ(log.Ids(), (std::vector<int>{AM_RECORD_START, AM_RECORD_DATA, AM_RECORD_END}));
}

// --------------------------------------------------------------- through the component

// What a component raised, from whichever thread raised it.
class Raised {
public:
    explicit Raised(PhoneVornix& v) {
        v.OnDTMF += [this](PhoneVornix& sender, const KeyArgs& e) {
            std::lock_guard lock(m_mutex);
            m_keys += static_cast<char>(e.RecvChar());
            m_threads.push_back(std::this_thread::get_id());
            m_seconds.push_back(sender.Sample2Second(e.Position()));
        };
        v.OnDebug += [this](PhoneVornix&, const OnDebugArgs& e) {
            std::lock_guard lock(m_mutex);
            if (e.InfoMsg() == "End of decoding.") ++m_ends;
        };
    }
    std::string Keys() const {
        std::lock_guard lock(m_mutex);
        return m_keys;
    }
    std::vector<std::thread::id> Threads() const {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }
    std::vector<double> Seconds() const {
        std::lock_guard lock(m_mutex);
        return m_seconds;
    }
    int Ends() const {
        std::lock_guard lock(m_mutex);
        return m_ends;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_keys;
    std::vector<std::thread::id> m_threads;
    std::vector<double> m_seconds;
    int m_ends = 0;
};

TEST(CaptureSourceComponent, KeysOfAReplayArriveThroughOnDTMFOnTheSourceThread) {
    PhoneVornix component;
    Raised raised(component);
    ReplayCaptureSource source;  // after the component: it stops before the component goes
    const WAVEFORMATEX format = PcmFormat(8000, 1, 16);
    ASSERT_TRUE(source.LoadBuffer(KeysPcm("147*0#", format), format));
    source.RealTime(false);
    component.Source(source);
    ASSERT_TRUE(source.Start());
    source.Wait();

    EXPECT_EQ(raised.Keys(), "147*0#");
    EXPECT_EQ(raised.Ends(), 1);
    for (std::thread::id t : raised.Threads()) EXPECT_NE(t, std::this_thread::get_id());
}

TEST(CaptureSourceComponent, TheComponentDecodesInTheFormatTheSourceReports) {
    // 8-bit stereo at 11025 Hz with the keys on the right only: keys come out only when
    // the component took channels, width and rate from the source's format record.
    TempDir dir;
    const WAVEFORMATEX format = PcmFormat(11025, 2, 8);
    WriteWave(dir.File("keys.wav"), format, KeysPcm("2580", format, 1));
    PhoneVornix component;
    Raised raised(component);
    component.DecodeChannel(RIGHT_CHANNEL);
    ReplayCaptureSource source;
    source.LoadFile(dir.File("keys.wav"));
    source.RealTime(false);
    component.Source(source);
    ASSERT_TRUE(source.Start()) << source.ErrorText();
    source.Wait();

    EXPECT_EQ(raised.Keys(), "2580");
    // Positions count samples at the source's rate: each key is recognised within its own
    // 120 ms slot after the 100 ms lead-in.
    const auto seconds = raised.Seconds();
    ASSERT_EQ(seconds.size(), 4u);
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        EXPECT_GE(seconds[i], 0.100 + 0.120 * static_cast<double>(i));
        EXPECT_LE(seconds[i], 0.100 + 0.120 * static_cast<double>(i + 1));
    }
}

TEST(CaptureSourceComponent, SynchronisedKeysOfAReplayArriveOnTheThreadThatOwnsTheEventWindow) {
    PhoneVornix component;
    Raised raised(component);
    component.SynchronizeEvents(true);
    // The event window belongs to the thread that starts the first synchronised run. A
    // capture run starts on the source's thread, which never dispatches, so this thread
    // runs an empty one first and takes that run's end off its queue.
    component.WaveStreamStart();
    component.WaveStreamEnd();
    component.DispatchEvents();
    const int endsBefore = raised.Ends();

    ReplayCaptureSource source;
    const WAVEFORMATEX format = PcmFormat(8000, 1, 16);
    ASSERT_TRUE(source.LoadBuffer(KeysPcm("3691", format), format));
    source.RealTime(false);
    component.Source(source);
    ASSERT_TRUE(source.Start());
    // The capture run's end is posted behind its keys; waiting is bounded so a lost end
    // fails the test instead of hanging it.
    const auto limit = std::chrono::steady_clock::now() + 30s;
    while (raised.Ends() == endsBefore && std::chrono::steady_clock::now() < limit) component.WaitEvents(100ms);
    source.Wait();

    EXPECT_EQ(raised.Ends(), endsBefore + 1);
    EXPECT_EQ(raised.Keys(), "3691");
    for (std::thread::id t : raised.Threads()) EXPECT_EQ(t, std::this_thread::get_id());
}

}  // namespace

namespace {

TEST(CaptureSourceComponent, ADestroyedComponentIsNeverCalledAgain) {
    ReplayCaptureSource source;  // outlives the component this time
    const WAVEFORMATEX format = PcmFormat(8000, 1, 16);
    ASSERT_TRUE(source.LoadBuffer(KeysPcm("123456789", format), format));
    source.RealTime(true);
    {
        PhoneVornix component;
        component.Source(source);
        ASSERT_TRUE(source.Start());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }  // destroyed mid-recording: it detaches first
    source.Stop();
    EXPECT_EQ(source.Owner(), nullptr);
}

}  // namespace

namespace {

TEST(CaptureSourceComponent, ASourceDestroyedFirstIsForgotten) {
    PhoneVornix component;
    {
        ReplayCaptureSource source;
        component.Source(source);
    }  // the component must not call it again, not even from its destructor
    EXPECT_NO_THROW(component.WaveStreamStart());
}

}  // namespace
