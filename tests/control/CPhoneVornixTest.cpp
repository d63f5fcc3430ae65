#include "control/CPhoneVornix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "audio/CSoundFile.h"
#include "decoder/DecoderMessages.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"
#include "vornix/Version.h"

namespace {

struct Message {
    int msg;
    std::uint64_t wParam;
    std::int64_t lParam;
    std::string text;  // debug lines
};

// Receives the control object's messages the way the component does.
class Host {
public:
    std::vector<Message> messages;
    std::function<void(const Message&)> onMessage;
    CPhoneVornix control{{&Host::Receive, this}};

    std::string Keys() const {
        std::string keys;
        for (const Message& m : messages)
            if (m.msg == DM_DTMF) keys += static_cast<char>(m.wParam);
        return keys;
    }
    std::vector<std::pair<char, std::int64_t>> KeyPositions() const {
        std::vector<std::pair<char, std::int64_t>> keys;
        for (const Message& m : messages)
            if (m.msg == DM_DTMF) keys.emplace_back(static_cast<char>(m.wParam), m.lParam);
        return keys;
    }
    std::vector<std::string> DebugLines() const {
        std::vector<std::string> lines;
        for (const Message& m : messages)
            if (m.msg == DM_DEBUG_TEXT) lines.push_back(m.text);
        return lines;
    }
    int Count(int msg) const {
        int n = 0;
        for (const Message& m : messages) n += m.msg == msg;
        return n;
    }

private:
    static void Receive(void* context, int msg, std::uint64_t w, std::int64_t l) {
        auto* host = static_cast<Host*>(context);
        Message m{msg, w, l, msg == DM_DEBUG_TEXT ? reinterpret_cast<const char*>(w) : ""};
        host->messages.push_back(m);
        if (host->onMessage) host->onMessage(m);
    }
};

// Keys as 16-bit mono PCM at 8 kHz in light noise.
std::vector<unsigned char> KeysPcm(const std::string& keys, int bits = 16, int channels = 1,
                                   int signalChannel = 0, int rate = 8000) {
    SignalTimeline timeline(rate);
    DtmfGenerator::Options options;
    options.levelDbfs = -12.0;
    options.toneMs = 60;
    options.gapMs = 60;
    options.leadMs = 30;
    DtmfGenerator(options).Append(timeline, keys);
    timeline.AppendSilence(timeline.SamplesForMs(200));
    std::vector<unsigned char> pcm;
    PcmRenderer({bits, channels, signalChannel, rate}).Render(timeline, pcm);
    return pcm;
}

WAVEFORMATEX PcmFormat(int bits, int channels, int rate, std::uint16_t tag = WAVE_FORMAT_PCM) {
    const auto align = static_cast<std::uint16_t>(channels * bits / 8);
    return {tag, static_cast<std::uint16_t>(channels), static_cast<std::uint32_t>(rate),
            static_cast<std::uint32_t>(rate) * align, align, static_cast<std::uint16_t>(bits), 0};
}

std::string WriteWave(const std::filesystem::path& path, WAVEFORMATEX format,
                      const std::vector<unsigned char>& pcm) {
    CSoundFile file(path.c_str(), &format, sizeof format);
    EXPECT_TRUE(file.IsOK()) << file.GetLastErrorText();
    file.Write(pcm.data(), static_cast<std::uint32_t>(pcm.size()));
    file.Close();
    return path.string();
}

class TempFolder {
public:
    TempFolder() {
        m_path = std::filesystem::temp_directory_path() /
                 ("vornix-control-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() { std::filesystem::remove_all(m_path); }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// ----------------------------------------------------------------- settings

TEST(ControlSettings, NewObjectDefaults) {
    Host host;
    CPhoneVornix& c = host.control;
    VARIANT_BOOL b = 0;
    c.get_MonitorDTMF(&b);
    EXPECT_EQ(b, VARIANT_TRUE);
    for (auto getter : {&CPhoneVornix::get_MonitorCallerID, &CPhoneVornix::get_MonitorTTY,
                        &CPhoneVornix::get_MonitorCustomTone, &CPhoneVornix::get_EnableSpectrumConversion,
                        &CPhoneVornix::get_MonitorMF, &CPhoneVornix::get_MonitorTonePaging,
                        &CPhoneVornix::get_MonitorSAME, &CPhoneVornix::get_MonitorCIDCW,
                        &CPhoneVornix::get_MonitorVMWI, &CPhoneVornix::get_MonitorSIT,
                        &CPhoneVornix::get_MonitorFSK, &CPhoneVornix::get_SynchronizeEvents}) {
        b = 1;
        (c.*getter)(&b);
        EXPECT_EQ(b, VARIANT_FALSE);
    }
    std::int32_t i = 0;
    float f = 0;
    c.get_FFT_Size(&i);
    EXPECT_EQ(i, 1024);
    c.get_PagingType(&i);
    EXPECT_EQ(i, 1);
    c.get_Rate(&i);
    EXPECT_EQ(i, 0);
    c.get_Mode(&i);
    EXPECT_EQ(i, 0);
    c.get_Sensitive(&f);
    EXPECT_EQ(f, -65.0f);
    c.get_SilenceThreshold(&f);
    EXPECT_EQ(f, -45.0f);
    c.get_RelativePeakTest(&b);
    EXPECT_EQ(b, VARIANT_TRUE);
    // The DTMF detector already listens: the switch reads true and acts true.
    EXPECT_EQ(c.Decoder().EnabledMask(), DEC_DTMF);
    EXPECT_EQ(std::memcmp(c.RawFormat(), "\x01\x00\x01\x00\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00\x00\x00", 18), 0);
}

TEST(ControlSettings, RangeChecksLeaveTheValueAlone) {
    Host host;
    CPhoneVornix& c = host.control;
    float f = 0;
    std::int32_t i = 0;

    EXPECT_EQ(c.put_Frequency_index(2), S_OK);
    c.get_Frequency_row(&f);
    EXPECT_EQ(f, 852.0f);
    c.get_Frequency_col(&f);
    EXPECT_EQ(f, 1477.0f);
    EXPECT_EQ(c.put_Frequency_index(4), E_INVALIDARG);
    EXPECT_EQ(c.put_Frequency_index(-1), E_INVALIDARG);
    EXPECT_EQ(c.put_Frequency_row(0.0f), E_INVALIDARG);

    EXPECT_EQ(c.put_SilenceThreshold(0.0f), S_OK);
    c.get_SilenceThreshold(&f);
    EXPECT_EQ(f, -45.0f);
    EXPECT_EQ(c.put_SilenceThreshold(3.0f), E_INVALIDARG);
    EXPECT_EQ(c.put_SilenceThreshold(-30.0f), S_OK);
    c.get_SilenceThreshold(&f);
    EXPECT_EQ(f, -30.0f);

    EXPECT_EQ(c.put_MinAmpdB(0.0f), E_INVALIDARG);
    EXPECT_EQ(c.put_Sensitive(0.0f), S_OK);
    EXPECT_EQ(c.put_Sensitive(NAN), E_INVALIDARG);
    EXPECT_EQ(c.put_Sensitive(1.0f), E_INVALIDARG);
    c.get_Sensitive(&f);
    EXPECT_EQ(f, 0.0f);

    EXPECT_EQ(c.put_Rate(7), E_INVALIDARG);
    EXPECT_EQ(c.put_Rate(-1), E_INVALIDARG);
    EXPECT_EQ(c.put_Rate(6), S_OK);
    EXPECT_EQ(c.put_Mode(3), S_OK);
    EXPECT_EQ(c.put_Mode(4), S_OK);
    EXPECT_EQ(c.put_Mode(5), E_INVALIDARG);
    c.get_Mode(&i);
    EXPECT_EQ(i, 4);

    EXPECT_EQ(c.put_DecodeChannel(2), E_INVALIDARG);
    EXPECT_EQ(c.put_DecodeChannel(1), S_OK);
    EXPECT_EQ(c.put_MaxTonesDuration(0), E_INVALIDARG);
    EXPECT_EQ(c.put_MarkFreq(-1.0f), E_INVALIDARG);
    EXPECT_EQ(c.put_MarkFreq(NAN), S_OK);
    EXPECT_TRUE(c.ErrorText().empty());  // range checks leave no text
}

TEST(ControlSettings, StopRequestAndSampleCounter) {
    Host host;
    CPhoneVornix& c = host.control;
    std::int32_t i = 7;
    EXPECT_EQ(c.put_SampleProcessed(5), S_OK);
    c.get_SampleProcessed(&i);
    EXPECT_EQ(i, 0);
    c.put_SampleProcessed(-1);
    c.get_SampleProcessed(&i);
    EXPECT_EQ(i, -1);
    c.put_SampleProcessed(-1);
    c.get_SampleProcessed(&i);
    EXPECT_EQ(i, -1);
}

TEST(ControlSettings, DuplicateToneIsRefusedWithAText) {
    Host host;
    CPhoneVornix& c = host.control;
    c.put_Tolerance(0.1f);
    EXPECT_EQ(c.MonitorTones_Add(7, 100, 100, 350, 440, 0, 0, -40.0f, 0.0f), S_OK);
    EXPECT_EQ(c.MonitorTones_Add(7, 200, 200, 480, 620, 0, 0, -40.0f, 0.0f), E_INVALIDARG);
    EXPECT_EQ(c.ErrorText(), "AppSpecific can't be duplicate");
    ASSERT_EQ(c.Tones().size(), 1u);
    EXPECT_EQ(c.Tones()[0].Frequency2, 440);
    EXPECT_EQ(c.Tones()[0].Tolerance, 0.1f);
    EXPECT_EQ(c.Tones()[0].MinAmpdB, -40.0);
    EXPECT_EQ(c.MonitorTones_Clear(), S_OK);
    EXPECT_TRUE(c.Tones().empty());
}

TEST(ControlSettings, SampleToSecondFollowsTheRunRate) {
    Host host;
    double seconds = -1;
    host.control.Sample2Second(8000, &seconds);
    EXPECT_EQ(seconds, 0.0);
    ASSERT_EQ(host.control.WaveStreamStart(), S_OK);
    host.control.Sample2Second(8000, &seconds);
    EXPECT_EQ(seconds, 1.0);
}

TEST(ControlSettings, FskParameterChecks) {
    CFSKParams p;
    std::int32_t i = 0;
    EXPECT_EQ(p.put_DataBits(9), E_INVALIDARG);
    EXPECT_EQ(p.put_DataBits(-1), E_INVALIDARG);
    EXPECT_EQ(p.put_StopBits(4), E_INVALIDARG);
    EXPECT_EQ(p.put_Parity(5), E_INVALIDARG);
    EXPECT_EQ(p.put_Parity(-1), E_INVALIDARG);
    EXPECT_EQ(p.put_BaudRate(-1), E_INVALIDARG);
    EXPECT_EQ(p.put_DataBits(7), S_OK);
    p.get_DataBits(&i);
    EXPECT_EQ(i, 7);
    float f = 0;
    p.get_MarkFreq(&f);
    EXPECT_EQ(f, 1200.0f);
    p.get_SpaceFreq(&f);
    EXPECT_EQ(f, 2200.0f);
}

TEST(ControlSettings, SpectrumQueriesWithConversionOffAndWindowRange) {
    Host host;
    double a = 5, b = 5;
    EXPECT_EQ(host.control.GetCenterFreqs(&a, &b), -1);  // spectrum conversion is off
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(b, 0.0);
    EXPECT_EQ(host.control.GetCenterFreqs(&a, nullptr), E_POINTER);
    EXPECT_EQ(host.control.GetfrequencyDB(1000.0, &a), S_OK);
    EXPECT_EQ(a, -1.0);
    EXPECT_EQ(host.control.GetfrequencyDB(1000.0, nullptr), E_POINTER);
    std::int32_t window = 0;
    for (std::int32_t refused : {-1, 6, 1000}) EXPECT_EQ(host.control.put_FFT_Window(refused), E_INVALIDARG);
    host.control.get_FFT_Window(&window);
    EXPECT_EQ(window, 5);
    EXPECT_EQ(host.control.put_FFT_Window(0), S_OK);
    host.control.get_FFT_Window(&window);
    EXPECT_EQ(window, 0);
}

TEST(ControlSettings, DtmfPropertiesReachTheRunningDetector) {
    Host host;
    CPhoneVornix& c = host.control;
    ASSERT_EQ(c.WaveStreamStart(), S_OK);
    c.put_minDuration(30);  // short mode from now on
    EXPECT_EQ(static_cast<CDecDTMF&>(c.Decoder()).BlockLength(), 50);
    c.put_minDuration(40);
    EXPECT_EQ(static_cast<CDecDTMF&>(c.Decoder()).BlockLength(), 102);
}

TEST(ControlSettings, DtmfProfileIsExactByDefaultAndReachesTheDetector) {
    Host host;
    CPhoneVornix& c = host.control;
    std::int32_t profile = -1;
    c.get_DTMFProfile(&profile);
    EXPECT_EQ(profile, 0);
    EXPECT_EQ(c.put_DTMFProfile(2), E_INVALIDARG);
    EXPECT_EQ(c.put_DTMFProfile(-1), E_INVALIDARG);
    ASSERT_EQ(c.WaveStreamStart(), S_OK);
    CDecDTMF& dtmf = c.Decoder();
    EXPECT_EQ(dtmf.MinimumBlocks(), 3);
    EXPECT_EQ(c.put_DTMFProfile(1), S_OK);  // applied at once, like every DTMF setting
    EXPECT_EQ(dtmf.GetProfile(), CDecDTMF::Profile::kRobust);
    EXPECT_EQ(dtmf.MinimumBlocks(), 2);
    EXPECT_FLOAT_EQ(dtmf.EnergyThresholdInUse(), 35.0f);
    c.put_DTMFProfile(0);
    EXPECT_EQ(dtmf.MinimumBlocks(), 3);
    EXPECT_FLOAT_EQ(dtmf.EnergyThresholdInUse(), 12.0f);
}

// ----------------------------------------------------------------- runs

TEST(ControlRuns, StreamRunLogsItsFormatAndReportsTheKeys) {
    Host host;
    CPhoneVornix& c = host.control;
    c.put_DecodeChannel(1);  // ignored for mono
    ASSERT_EQ(c.WaveStreamStart(), S_OK);
    const auto pcm = KeysPcm("123#");
    std::int32_t taken = 0;
    EXPECT_EQ(c._WaveStreamInputEx(pcm.data(), 0, static_cast<std::int32_t>(pcm.size()), &taken), S_OK);
    EXPECT_EQ(taken, static_cast<std::int32_t>(pcm.size()));
    EXPECT_EQ(c.WaveStreamEnd(), S_OK);
    EXPECT_EQ(host.Keys(), "123#");
    std::string received;
    c.get_ReceivedDTMFs(&received);
    EXPECT_EQ(received, "123#");
    ASSERT_FALSE(host.DebugLines().empty());
    EXPECT_EQ(host.DebugLines()[0], "Start the decoding (format: 16bits, 8000Hz, Mono; v:" VORNIX_VERSION " x64).");
    EXPECT_EQ(host.messages.back().msg, DM_DECODE_END);
}

TEST(ControlRuns, EmptyInputAndEndWithoutStart) {
    Host host;
    CPhoneVornix& c = host.control;
    std::int32_t taken = 9;
    const std::uint8_t byte = 0;
    EXPECT_EQ(c._WaveStreamInputEx(&byte, 0, 0, &taken), S_OK);
    EXPECT_EQ(taken, 0);
    EXPECT_EQ(c._WaveStreamInputEx(&byte, -1, 1, &taken), E_INVALIDARG);
    EXPECT_EQ(c._WaveStreamInputEx(nullptr, 0, 4, &taken), E_POINTER);
    EXPECT_EQ(c.WaveStreamInputEx(0, 0, 0, &taken), E_NOTIMPL);
    EXPECT_EQ(c.WaveStreamEnd(), S_OK);
    EXPECT_EQ(host.Count(DM_DECODE_END), 1);
    EXPECT_EQ(host.Count(DM_DTMF), 0);
}

TEST(ControlRuns, RefusesFormatsItCannotDecodeSafely) {
    Host host;
    CPhoneVornix& c = host.control;
    WAVEFORMATEX f = PcmFormat(16, 3, 8000);
    EXPECT_EQ(c.WaveStreamStart2(&f), E_FAIL);
    EXPECT_NE(c.ErrorText().find("channels"), std::string::npos);
    f = PcmFormat(16, 1, 8000);
    f.nBlockAlign = 0;
    EXPECT_EQ(c.WaveStreamStart2(&f), E_FAIL);
    EXPECT_NE(c.ErrorText().find("block align"), std::string::npos);
    f = PcmFormat(4, 1, 8000);
    f.nBlockAlign = 1;
    EXPECT_EQ(c.WaveStreamStart2(&f), E_FAIL);
    f = PcmFormat(16, 1, 8000);
    f.wFormatTag = 0x7777;
    EXPECT_EQ(c.WaveStreamStart2(&f), E_FAIL);
    EXPECT_EQ(c.ErrorText(), "Format unsupported.");
    EXPECT_EQ(c.WaveStreamStart2(nullptr), E_POINTER);
}

TEST(ControlRuns, FileRunMatchesAStreamFedInRandomPieces) {
    TempFolder folder;
    const auto pcm = KeysPcm("0123456789*#ABCD");
    const std::string path = WriteWave(folder / "keys.wav", PcmFormat(16, 1, 8000), pcm);

    Host fileHost;
    ASSERT_EQ(fileHost.control.DecodeWaveFile(path.c_str()), S_OK);

    Host streamHost;
    ASSERT_EQ(streamHost.control.WaveStreamStart(), S_OK);
    std::mt19937 random(3);
    for (std::size_t at = 0; at < pcm.size();) {
        const auto n = std::min<std::size_t>(random() % 3000 + 1, pcm.size() - at);
        std::int32_t taken = 0;
        streamHost.control._WaveStreamInputEx(pcm.data() + at, 0, static_cast<std::int32_t>(n), &taken);
        at += n;
    }
    streamHost.control.WaveStreamEnd();

    EXPECT_EQ(fileHost.Keys(), "0123456789*#ABCD");
    EXPECT_EQ(fileHost.KeyPositions(), streamHost.KeyPositions());
    std::int32_t processed = 0;
    fileHost.control.get_SampleProcessed(&processed);
    EXPECT_EQ(processed, static_cast<std::int32_t>(pcm.size() / 2));
}

TEST(ControlRuns, ProgressOfAFileOfTwoAndAHalfSeconds) {
    TempFolder folder;
    const std::vector<unsigned char> pcm(8000 * 2 * 5 / 2, 0);
    const std::string path = WriteWave(folder / "quiet.wav", PcmFormat(16, 1, 8000), pcm);
    Host host;
    ASSERT_EQ(host.control.DecodeWaveFile(path.c_str()), S_OK);
    std::vector<std::pair<std::uint64_t, std::int64_t>> progress;
    for (const Message& m : host.messages)
        if (m.msg == DM_PROGRESS) progress.emplace_back(m.wParam, m.lParam);
    EXPECT_EQ(progress, (std::vector<std::pair<std::uint64_t, std::int64_t>>{
                            {0, 40000}, {16000, 40000}, {32000, 40000}, {40000, 40000}}));
    EXPECT_EQ(host.Count(DM_DECODE_END), 1);
}

TEST(ControlRuns, StopFromTheFirstProgressEndsTheRunCleanly) {
    TempFolder folder;
    const auto pcm = KeysPcm("123");
    const std::string path = WriteWave(folder / "keys.wav", PcmFormat(16, 1, 8000), pcm);
    Host host;
    host.onMessage = [&](const Message& m) {
        if (m.msg == DM_PROGRESS) host.control.put_SampleProcessed(-1);
    };
    EXPECT_EQ(host.control.DecodeWaveFile(path.c_str()), S_OK);
    EXPECT_EQ(host.Count(DM_PROGRESS), 1);
    EXPECT_EQ(host.Count(DM_DTMF), 0);
    EXPECT_EQ(host.messages.back().msg, DM_DECODE_END);
}

TEST(ControlRuns, MissingFileLogsAtLevel100) {
    Host host;
    EXPECT_EQ(host.control.DecodeWaveFile("/nonexistent/keys.wav"), E_FAIL);
    EXPECT_FALSE(host.control.ErrorText().empty());
    bool logged = false;
    for (const Message& m : host.messages)
        logged |= m.msg == DM_DEBUG_TEXT && m.lParam == 100 && m.text == host.control.ErrorText();
    EXPECT_TRUE(logged);
    EXPECT_EQ(host.control.DecodeWaveFile(""), E_INVALIDARG);
    EXPECT_EQ(host.control.DecodeWaveFile(nullptr), E_INVALIDARG);
}

// The same keys through every PCM width, stereo, and the codecs, encoded by ffmpeg.
class ControlCodecRuns : public ::testing::TestWithParam<const char*> {};

TEST_P(ControlCodecRuns, ReportTheSameKeys) {
    const std::string codec = GetParam();
    TempFolder folder;
    const std::string keys = "147*2580369#";
    std::string path;
    if (codec == "pcm_u8") {
        path = WriteWave(folder / "k.wav", PcmFormat(8, 1, 8000), KeysPcm(keys, 8));
    } else if (codec == "float") {
        path = WriteWave(folder / "k.wav", PcmFormat(32, 1, 8000, WAVE_FORMAT_IEEE_FLOAT), KeysPcm(keys, 32));
    } else if (codec == "stereo_right") {
        path = WriteWave(folder / "k.wav", PcmFormat(16, 2, 8000), KeysPcm(keys, 16, 2, 1));
    } else {
        if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
        const std::string source = WriteWave(folder / "src.wav", PcmFormat(16, 1, 8000), KeysPcm(keys));
        const bool mp3 = codec == "libmp3lame";
        path = (folder / (mp3 ? "k.mp3" : "k.wav")).string();
        const std::string rate = mp3 ? " -ar 16000" : "";
        const std::string command = "ffmpeg -v error -y -i " + source + " -c:a " + codec + rate + " " + path;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
#if !VORNIX_WITH_FFMPEG
        // Without the codec layer compressed audio is refused, never decoded to nothing.
        Host refusing;
        EXPECT_NE(refusing.control.DecodeWaveFile(path.c_str()), S_OK);
        EXPECT_EQ(std::string(refusing.control.ErrorText()), "Format unsupported.");
        return;
#endif
    }
    Host host;
    host.control.put_DecodeChannel(1);
    ASSERT_EQ(host.control.DecodeWaveFile(path.c_str()), S_OK) << host.control.ErrorText();
    EXPECT_EQ(host.Keys(), keys) << codec;
}

INSTANTIATE_TEST_SUITE_P(Formats, ControlCodecRuns,
                         ::testing::Values("pcm_u8", "float", "stereo_right", "pcm_alaw", "pcm_mulaw",
                                           "adpcm_ms", "adpcm_ima_wav", "libgsm_ms", "libmp3lame"));

}  // namespace

namespace {

// Handlers reached synchronously from inside a block may change settings, but must not
// start, feed or end the run that is delivering.
TEST(ControlReentrancy, HandlersMayRetuneButNotRestartTheRun) {
    Host host;
    CPhoneVornix& c = host.control;
    std::vector<HRESULT> refused;
    int keys = 0;
    host.onMessage = [&](const Message& m) {
        if (m.msg != DM_DTMF) return;
        ++keys;
        c.put_minDuration(keys % 2 ? 30 : 40);  // reconfigures the detector mid-block
        refused.push_back(c.WaveStreamStart());
        const std::uint8_t bytes[2] = {};
        std::int32_t taken = 0;
        refused.push_back(c._WaveStreamInputEx(bytes, 0, 2, &taken));
        refused.push_back(c.WaveStreamEnd());
    };
    ASSERT_EQ(c.WaveStreamStart(), S_OK);
    const auto pcm = KeysPcm("1234");
    std::int32_t taken = 0;
    c._WaveStreamInputEx(pcm.data(), 0, static_cast<std::int32_t>(pcm.size()), &taken);
    host.onMessage = nullptr;
    c.WaveStreamEnd();
    EXPECT_GE(keys, 2);
    for (HRESULT hr : refused) EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(c.ErrorText(), "A run cannot be started, fed or ended from inside one of its own events.");
}

}  // namespace
