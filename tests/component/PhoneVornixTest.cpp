#include "vornix/PhoneVornix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>
#include <string>
#include <vector>

#include "decoder/DecoderMessages.h"
#include "tones/monitortone_tag.h"
#include "synth/CallerIdGenerator.h"
#include "synth/CallerIdMessage.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace {

using namespace Orvane::VornixNet;

// Collects what the component raises.
struct Listener {
    std::vector<std::pair<std::string, int>> debug;  // text (or "<null>") and code
    std::vector<KeyArgs> dtmf;
    std::vector<KeyArgs> tty;
    std::vector<OnCallerIDArgs> callerId;
    int vmwi = 0;
    int sit = 0;
    std::vector<OnFrequencyDetectedArgs> frequencies;

    explicit Listener(PhoneVornix& v) {
        v.OnDebug += [this](PhoneVornix&, const OnDebugArgs& e) {
            debug.emplace_back(e.InfoMsg().value_or("<null>"), e.RefCode());
        };
        v.OnDTMF += [this](PhoneVornix&, const KeyArgs& e) { dtmf.push_back(e); };
        v.OnTTY += [this](PhoneVornix&, const KeyArgs& e) { tty.push_back(e); };
        v.OnCallerID += [this](PhoneVornix&, const OnCallerIDArgs& e) { callerId.push_back(e); };
        v.OnVMWI += [this](PhoneVornix&, const OnVMWIArgs&) { ++vmwi; };
        v.OnSIT += [this](PhoneVornix&, const OnSITArgs&) { ++sit; };
        v.OnFrequencyDetected += [this](PhoneVornix&, const OnFrequencyDetectedArgs& e) { frequencies.push_back(e); };
    }
    bool Logged(const std::string& text, int code = 0) const {
        for (const auto& d : debug)
            if (d.first == text && d.second == code) return true;
        return false;
    }
};

std::vector<std::uint8_t> KeysPcm(const std::string& keys) {
    SignalTimeline timeline(8000);
    DtmfGenerator::Options options;
    options.toneMs = 60;
    options.gapMs = 60;
    DtmfGenerator(options).Append(timeline, keys);
    timeline.AppendSilence(800);
    std::vector<unsigned char> pcm;
    PcmRenderer({16, 1, 0, 8000}).Render(timeline, pcm);
    return pcm;
}

template <typename T>
std::uint64_t Address(const T* record) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(record));
}

TEST(Component, NewComponentDefaults) {
    PhoneVornix v;
    EXPECT_TRUE(v.MonitorDTMF());
    EXPECT_FALSE(v.SynchronizeEvents());
    EXPECT_FALSE(v.MonitorCallerID());
    EXPECT_EQ(v.WaveFormatIndex(), PCM_8kHz16BitMono);
    EXPECT_EQ(v.WaveFormatID(), "01000100401f0000803e0000020010000000");
    EXPECT_EQ(v.DecodeChannel(), LEFT_CHANNEL);
    EXPECT_EQ(v.SilenceThreshold(), -45.0f);
    EXPECT_EQ(v.Sample2Second(8000), 0.0);
    EXPECT_FALSE(v.AboutVersion().empty());
    EXPECT_EQ(&v.DTMFParams(), &v.DTMFParams());
}

TEST(Component, BadValuesThrowWithTheLastErrorText) {
    PhoneVornix v;
    try {
        v.DecodeChannel(static_cast<CHANNEL_OPT>(2));
        FAIL() << "no exception";
    } catch (const ArgumentException& e) {
        EXPECT_EQ(e.HResult(), static_cast<std::int32_t>(0x80070057u));
        EXPECT_STREQ(e.what(), "");  // nothing stored yet
    }
    v.MonitorTones_Add(1, 100, 100, 440, 0, 0, 0, -40, 0);
    v.MonitorTones_Add(1, 100, 100, 480, 0, 0, 0, -40, 0);  // duplicate: silent, but leaves its text
    try {
        v.SilenceThreshold(5.0f);
        FAIL() << "no exception";
    } catch (const ArgumentException& e) {
        EXPECT_STREQ(e.what(), "AppSpecific can't be duplicate");
    }
    EXPECT_THROW(v.TTYParams().Rate(static_cast<TTY_RATE>(7)), ArgumentException);
    v.TTYParams().Rate(BR_1200_BPS);
    EXPECT_EQ(v.TTYParams().Rate(), BR_1200_BPS);
}

TEST(Component, StreamInputEdges) {
    PhoneVornix v;
    try {
        v.WaveStreamInput({});
        FAIL() << "no exception";
    } catch (const ArgumentException& e) {
        EXPECT_STREQ(e.what(), "Please use WaveStreamStart() method to initialize the decoding first.");
    }
    v.WaveStreamStart();
    const std::uint8_t one = 0;
    EXPECT_EQ(v.WaveStreamInput({&one, 1}), 1);
}

TEST(Component, SourcesThatAreNotAudio) {
    PhoneVornix v;
    Listener l(v);
    try {
        v.Source(std::string("/nonexistent/folder/keys.wav"));
        FAIL() << "no exception";
    } catch (const VornixException& e) {
        ASSERT_FALSE(l.debug.empty());
        EXPECT_TRUE(l.Logged(e.what(), 100)) << e.what();
        EXPECT_NE(std::string(e.what()), "");
    }
    EXPECT_NO_THROW(v.Source(std::any(42)));
    EXPECT_THROW(v.Source(std::any()), ArgumentException);
    EXPECT_THROW(v.Source(std::any(static_cast<CAudioDataSource*>(nullptr))), ArgumentException);
}

TEST(Component, KeysFromAStreamWithTheirDebugLines) {
    PhoneVornix v;
    Listener l(v);
    v.WaveStreamStart();
    const auto pcm = KeysPcm("1#");
    v.WaveStreamInput(pcm);
    v.WaveStreamEnd();
    ASSERT_EQ(l.dtmf.size(), 2u);
    EXPECT_EQ(l.dtmf[0].RecvChar(), u'1');
    EXPECT_EQ(l.dtmf[1].RecvChar(), u'#');
    EXPECT_EQ(l.dtmf[1].RawCode(), '#');
    EXPECT_TRUE(l.Logged("DTMF tone detected, Key='1', position=" + std::to_string(l.dtmf[0].Position())));
    EXPECT_TRUE(l.Logged("End of decoding."));
    EXPECT_GT(v.Sample2Second(l.dtmf[1].Position()), 0.12);
}

std::vector<std::uint8_t> CallerIdPcm(const std::vector<std::uint8_t>& message, CallerIdGenerator::Options options = {}) {
    SignalTimeline timeline(8000);
    options.leadMs = 200;
    EXPECT_EQ(CallerIdGenerator(options).Append(timeline, message), S_OK);
    timeline.AppendSilence(800);
    std::vector<unsigned char> pcm;
    PcmRenderer({16, 1, 0, 8000}).Render(timeline, pcm);
    return pcm;
}

TEST(Component, CallerIdAndMessageWaitingEndToEnd) {
    CallerIdMessage::Caller caller;
    caller.date = "11301745";
    caller.number = "4165550123";
    caller.name = "CAF\xC9 ROYAL";  // Latin-1 on the line, UTF-8 for the host
    std::vector<std::uint8_t> message, waiting;
    ASSERT_EQ(CallerIdMessage::MdmfCaller(caller, message), S_OK);
    ASSERT_EQ(CallerIdMessage::MessageWaiting(true, waiting), S_OK);

    PhoneVornix v;
    Listener l(v);
    v.MonitorCallerID(true);
    v.WaveStreamStart();
    v.WaveStreamInput(CallerIdPcm(message));
    v.WaveStreamInput(CallerIdPcm(waiting));
    v.WaveStreamEnd();
    ASSERT_EQ(l.callerId.size(), 1u);
    const OnCallerIDArgs& e = l.callerId[0];
    EXPECT_EQ(e.Status(), CID_STATUS_OK);
    EXPECT_EQ(e.CallerNumber(), "4165550123");
    EXPECT_EQ(e.Name(), "CAF\xC3\x89 ROYAL");
    EXPECT_EQ(e.sDateTime(), "11-30 17:45");
    EXPECT_FALSE(e.CalledNumber());
    ASSERT_TRUE(e.RawData());
    EXPECT_EQ(*e.RawData(), message);
    EXPECT_TRUE(l.Logged("CID MDMF format detected."));
    EXPECT_TRUE(l.Logged("OnCallerID(), number=4165550123, name=CAF\xC3\x89 ROYAL, date=11-30 17:45, position=" +
                         std::to_string(e.Position())));
    EXPECT_EQ(l.vmwi, 0);  // message waiting is a switch of its own

    v.MonitorVMWI(true);
    v.WaveStreamStart();
    v.WaveStreamInput(CallerIdPcm(waiting));
    v.WaveStreamEnd();
    EXPECT_EQ(l.vmwi, 1);
    EXPECT_TRUE(l.Logged("VMWI signal detected."));
}

TEST(Component, CallWaitingSwitchAndRetunedTones) {
    std::vector<std::uint8_t> message;
    ASSERT_EQ(CallerIdMessage::Sdmf("01011200", "5550000", message), S_OK);
    CallerIdGenerator::Options waiting;
    waiting.callWaiting = true;
    waiting.ackGapMs = 10;
    PhoneVornix v;
    Listener l(v);
    v.MonitorCallerID(true);
    v.WaveStreamStart();
    v.WaveStreamInput(CallerIdPcm(message, waiting));
    v.WaveStreamEnd();
    EXPECT_TRUE(l.callerId.empty());
    v.MonitorCIDCW(true);
    v.WaveStreamStart();
    v.WaveStreamInput(CallerIdPcm(message, waiting));
    v.WaveStreamEnd();
    ASSERT_EQ(l.callerId.size(), 1u);
    EXPECT_EQ(l.callerId[0].CallerNumber(), "5550000");
    v.MonitorCIDCW(false);
    v.MonitorCallerID(false);
    v.WaveStreamStart();
    v.WaveStreamInput(CallerIdPcm(message));
    v.WaveStreamEnd();
    EXPECT_EQ(l.callerId.size(), 1u) << "every caller-ID switch is off";
}

TEST(Component, AHandlerExceptionSurfacesAfterTheFeedingCall) {
    PhoneVornix v;
    int keys = 0;
    v.OnDTMF += [&](PhoneVornix&, const KeyArgs&) {
        if (++keys == 1) throw std::runtime_error("handler failed");
    };
    v.WaveStreamStart();
    const auto pcm = KeysPcm("123");
    EXPECT_THROW(v.WaveStreamInput(pcm), std::runtime_error);
    EXPECT_EQ(keys, 3);  // decoding went on: the later keys still arrived
    EXPECT_NO_THROW(v.WaveStreamEnd());
}

TEST(Component, HandlersCanBeRemoved) {
    PhoneVornix v;
    int calls = 0;
    const auto handle = v.OnDTMF += [&](PhoneVornix&, const KeyArgs&) { ++calls; };
    v.InternalMessage(DM_DTMF, '5', 0);
    v.OnDTMF -= handle;
    v.InternalMessage(DM_DTMF, '6', 0);
    EXPECT_EQ(calls, 1);
}

TEST(ComponentDispatch, TtyShiftsAndCharacters) {
    PhoneVornix v;
    Listener l(v);
    v.InternalMessage(DM_TTY_CHAR, 27u << 16, 80);
    v.InternalMessage(DM_TTY_CHAR, (31u << 16), 90);
    v.InternalMessage(DM_TTY_CHAR, (3u << 16) | 'E', 100);
    v.InternalMessage(DM_TTY_CHAR, (4u << 16), 110);
    EXPECT_TRUE(l.Logged("OnTTY(), Receive figures shift"));
    EXPECT_TRUE(l.Logged("OnTTY(), Receive letters shift"));
    EXPECT_TRUE(l.Logged("OnTTY(), Receive char='E' (69), raw code=3 position=100"));
    EXPECT_TRUE(l.Logged("OnTTY(), Receive char=null, raw code=4 position=110"));
    ASSERT_EQ(l.tty.size(), 4u);
    EXPECT_EQ(l.tty[0].RecvChar(), 0);
    EXPECT_EQ(l.tty[0].RawCode(), 27);
}

TEST(ComponentDispatch, CallerIdStatusWords) {
    PhoneVornix v;
    Listener l(v);
    unsigned char raw[32];
    for (int i = 0; i < 32; ++i) raw[i] = static_cast<unsigned char>(i);
    CallerIDStrings strings{"ANNA", "5551234", "12071530", nullptr, raw};
    CallerIDStatus status{0x00200000, 4000};
    v.InternalMessage(DM_CALLERID, Address(&strings), static_cast<std::int64_t>(Address(&status)));
    ASSERT_EQ(l.callerId.size(), 1u);
    EXPECT_EQ(l.callerId[0].Status(), CID_STATUS_OK);
    ASSERT_TRUE(l.callerId[0].RawData().has_value());
    EXPECT_EQ(l.callerId[0].RawData()->size(), 32u);
    EXPECT_EQ(l.callerId[0].Name(), "ANNA");
    EXPECT_FALSE(l.callerId[0].CalledNumber().has_value());
    EXPECT_TRUE(l.Logged("OnCallerID(), number=5551234, name=ANNA, date=12071530, position=4000"));

    status.iflag = 4;
    v.InternalMessage(DM_CALLERID, Address(&strings), static_cast<std::int64_t>(Address(&status)));
    EXPECT_TRUE(l.Logged("CID SDMF format detected."));
    EXPECT_EQ(l.callerId.size(), 1u);

    status.iflag = 0x00050001;  // bad checksum, 5 raw bytes
    v.InternalMessage(DM_CALLERID, Address(&strings), static_cast<std::int64_t>(Address(&status)));
    ASSERT_EQ(l.callerId.size(), 2u);
    const OnCallerIDArgs& bad = l.callerId[1];
    EXPECT_EQ(bad.Status(), CID_STATUS_BAD_CHECKSUM);
    EXPECT_FALSE(bad.Name().has_value());
    EXPECT_FALSE(bad.CallerNumber().has_value());
    EXPECT_FALSE(bad.sDateTime().has_value());
    EXPECT_FALSE(bad.CalledNumber().has_value());
    EXPECT_EQ(bad.RawData()->size(), 5u);
}

TEST(ComponentDispatch, FrequenciesSitVmwiAndStrangers) {
    PhoneVornix v;
    Listener l(v);
    FrequencyPair pair{1004.5, -1.0};
    ToneTiming timing{1200, 250};
    v.InternalMessage(DM_FREQUENCY_DETECTED, Address(&pair), static_cast<std::int64_t>(Address(&timing)));
    EXPECT_TRUE(l.Logged("Frequency detected, 1004.5Hz, start position=1200, duration=250(ms)"));
    ASSERT_EQ(l.frequencies.size(), 1u);
    EXPECT_EQ(l.frequencies[0].secondFreq(), -1.0);
    EXPECT_EQ(l.frequencies[0].StartPos(), 1200);

    v.InternalMessage(DM_SIT, 7, 100);
    EXPECT_EQ(l.sit, 0);
    v.InternalMessage(DM_SIT, 1, 100);
    EXPECT_TRUE(l.Logged("SIT ('Vacant Code') tone detected, position=100."));

    VMWIInfo info{4, 50};
    v.InternalMessage(DM_VMWI, Address(&info), 0);
    EXPECT_TRUE(l.Logged("VMWI signal detected."));
    EXPECT_EQ(l.vmwi, 0);
    info.iFlag = 9;
    v.InternalMessage(DM_VMWI, Address(&info), 0);
    EXPECT_EQ(l.debug.back().first, "<null>");
    info.iFlag = 1;
    v.InternalMessage(DM_VMWI, Address(&info), 0);
    EXPECT_EQ(l.vmwi, 1);

    const auto before = l.debug.size();
    v.InternalMessage(2000, 1, 2);
    v.InternalMessage(1032, 1, 2);
    EXPECT_EQ(l.debug.size(), before);
}

TEST(ComponentGroups, DtmfFrequencies) {
    PhoneVornix v;
    CDTMFParams& p = v.DTMFParams();
    EXPECT_EQ(p.Frequency_row(), (std::vector<float>{697, 770, 852, 941}));
    EXPECT_EQ(p.Frequency_col(), (std::vector<float>{1209, 1336, 1477, 1633}));
    EXPECT_EQ(p.getFrequency(1), p.Frequency_row());
    const std::vector<float> odd = {0, -5, 1400, 1500};
    p.setFrequency(odd, 0);  // unchecked by design
    EXPECT_EQ(p.Frequency_col(), odd);
    const std::vector<float> two = {700, 780};
    EXPECT_THROW(p.Frequency_row(two), IndexOutOfRangeException);
    EXPECT_EQ(p.Frequency_row(), (std::vector<float>{700, 780, 852, 941}));
}

TEST(ComponentGroups, FskRefusalsAreSilent) {
    PhoneVornix v;
    CFSKParams& p = v.FSKParams();
    p.DataBits(7);
    EXPECT_NO_THROW(p.DataBits(9));
    EXPECT_EQ(p.DataBits(), 7);
    p.Parity(PARITY_SPACE_);
    EXPECT_EQ(p.Parity(), PARITY_SPACE_);
    EXPECT_NO_THROW(p.StopBits(static_cast<STOPBITS_TYPE>(4)));
    EXPECT_EQ(p.StopBits(), STOPBIT_NO);
}

TEST(ComponentFormats, IndexAndIdentifier) {
    PhoneVornix v;
    v.WaveFormatIndex(PCM_8kHz16BitStereo);
    EXPECT_EQ(v.WaveFormatID(), "01000200401f0000007d0000040010000000");
    EXPECT_THROW(v.WaveFormatIndex(static_cast<WAVE_FORMAT_INDEX>(66)), ArgumentException);
    v.WaveFormatIndex(WF_USER_DEFINED);
    EXPECT_EQ(v.WaveFormatID(), "01000200401f0000007d0000040010000000");
    v.WaveFormatID("0100010040");  // too short: ignored
    EXPECT_EQ(v.WaveFormatIndex(), WF_USER_DEFINED);
    EXPECT_EQ(v.WaveFormatID(), "01000200401f0000007d0000040010000000");
    v.WaveFormatIndex(PCM_8kHz16BitMono);
    v.WaveFormatID("0100010044ac000088580100020010000000");  // 44.1 kHz mono
    EXPECT_EQ(v.WaveFormatIndex(), WF_USER_DEFINED);
    EXPECT_EQ(v.WaveFormatID(), "0100010044ac000088580100020010000000");
    EXPECT_THROW(v.WaveFormatID("zz00010044ac000088580100020010000000"), ArgumentException);
}

}  // namespace

#include "vornix/DebugOutput.h"

namespace {

TEST(ComponentDebugOutput, AHostSeesWhatTheFileReaderSays) {
    std::vector<std::string> lines;
    Orvane::VornixNet::SetDebugOutput([&](const char* text) { lines.emplace_back(text); });
    PhoneVornix v;
    EXPECT_THROW(v.Source(std::string("/nonexistent/keys.wav")), Orvane::VornixNet::VornixException);
    Orvane::VornixNet::SetDebugOutput({});
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.front().find("/nonexistent/keys.wav"), std::string::npos) << lines.front();
}

}  // namespace

namespace {

// Sums of sines, 16-bit at 8 kHz: (frequencies, ms, dBFS per frequency); none is silence.
std::vector<std::uint8_t> TonesPcm(const std::vector<std::tuple<std::vector<double>, double, double>>& segments) {
    std::vector<std::uint8_t> pcm;
    for (const auto& [hz, ms, db] : segments) {
        const int n = static_cast<int>(ms * 8);
        for (int i = 0; i < n; ++i) {
            double x = 0.0;
            for (double f : hz) x += std::pow(10.0, db / 20.0) * std::sin(2.0 * M_PI * f * i / 8000.0);
            const auto s = static_cast<std::int16_t>(std::lround(x * 32767.0));
            pcm.push_back(static_cast<std::uint8_t>(s & 0xFF));
            pcm.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
        }
    }
    return pcm;
}

TEST(Component, CustomToneMfPagingAndInformationToneEndToEnd) {
    PhoneVornix v;
    Listener l(v);
    std::vector<OnToneDetectedArgs> tones;
    std::vector<KeyArgs> mf, paging;
    std::vector<OnSITArgs> sit;
    v.OnToneDetected += [&](PhoneVornix&, const OnToneDetectedArgs& e) { tones.push_back(e); };
    v.OnMF += [&](PhoneVornix&, const KeyArgs& e) { mf.push_back(e); };
    v.OnPaging += [&](PhoneVornix&, const KeyArgs& e) { paging.push_back(e); };
    v.OnSIT += [&](PhoneVornix&, const OnSITArgs& e) { sit.push_back(e); };
    v.MonitorDTMF(false);
    v.MonitorMF(true);
    v.MonitorSIT(true);
    v.MonitorTones_Add(42, 100, 0, 440, -1000, 0, 0, -30, 0);  // 440 Hz without 1000 Hz
    v.WaveStreamStart();
    v.WaveStreamInput(TonesPcm({{{440}, 110, -10}, {{}, 100, 0},
                                {{1100, 1700}, 68, -10}, {{}, 68, 0}, {{700, 900}, 68, -10}, {{}, 200, 0},
                                {{985}, 380, -20}, {{1370}, 276, -20}, {{1776}, 380, -20}, {{}, 300, 0}}));
    v.WaveStreamEnd();
    ASSERT_EQ(tones.size(), 1u);
    EXPECT_EQ(tones[0].AppSpecific(), 42);
    EXPECT_EQ(tones[0].Position(), 640);  // five 128-sample blocks
    EXPECT_TRUE(l.Logged("OnToneDetected, AppSpecific=42, Duration=100(ms), pos=640, Freq1=440dHz , Freq2=-1000dHz "));
    ASSERT_EQ(mf.size(), 2u);
    EXPECT_EQ(mf[0].RecvChar(), u'*');
    EXPECT_EQ(mf[1].RecvChar(), u'1');
    EXPECT_TRUE(l.Logged("MF signal detected, Key='*', position=" + std::to_string(mf[0].Position())));
    ASSERT_EQ(sit.size(), 1u);
    EXPECT_EQ(sit[0].SITType(), SIT_VC);
    EXPECT_EQ(sit[0].SITName(), "Vacant Code");

    // Paging, with a minimum gap long enough to matter and a set chosen by the group.
    v.MonitorMF(false);
    v.MonitorSIT(false);
    v.MonitorTones_Clear();
    v.MonitorTonePaging(true);
    v.TonePagingParams().PagingType(PT_ZVEI1);
    v.TonePagingParams().minGapDuration(0);
    EXPECT_EQ(v.TonePagingParams().minGapDuration(), 0);
    EXPECT_THROW(v.TonePagingParams().PagingType(static_cast<PAGING_TYPE>(7)), ArgumentException);
    EXPECT_EQ(v.TonePagingParams().PagingType(), PT_ZVEI1);
    v.WaveStreamStart();
    v.WaveStreamInput(TonesPcm({{{1060}, 70, -10}, {{1160}, 70, -10}, {{2600}, 70, -10}, {{}, 200, 0}}));
    v.WaveStreamEnd();
    std::u16string keys;
    for (const KeyArgs& k : paging) keys += k.RecvChar();
    EXPECT_EQ(keys, u"12E");
    EXPECT_EQ(tones.size(), 1u);  // the custom tone list was cleared
    EXPECT_TRUE(l.Logged("Paging signal detected, Key='1', position=" + std::to_string(paging[0].Position())));
}

TEST(ComponentDispatch, SilenceToneLineAndBlockLayout) {
    PhoneVornix v;
    Listener l(v);
    monitortone_tag silence;
    silence.AppSpecific = 3000000000u;  // printed unsigned
    silence.MinPeriodOn = 1000;
    silence.sampleCounter = 7296;
    v.InternalMessage(DM_TONE, Address(&silence), 0);
    EXPECT_TRUE(l.Logged("OnToneDetected, AppSpecific=3000000000, Duration=1000(ms), pos=7296[Silence]"));

    EXPECT_EQ(v.MonitorTonesParams().BlockLayout(), TONE_BLOCKS_EXACT);
    v.MonitorTonesParams().BlockLayout(TONE_BLOCKS_RATE_SCALED);
    EXPECT_EQ(v.MonitorTonesParams().BlockLayout(), TONE_BLOCKS_RATE_SCALED);
    EXPECT_THROW(v.MonitorTonesParams().BlockLayout(static_cast<TONE_BLOCK_LAYOUT>(2)), ArgumentException);
}

}  // namespace

// Spectra read from inside OnSpectrumData, silences and a detected pair, with the group's
// settings taking effect at the run start and a window outside the six refused.
TEST(Component, SpectrumSilenceAndFrequenciesEndToEnd) {
    PhoneVornix v;
    Listener l(v);
    struct Peak {
        bool found;
        double first, second, levelAtFirst, levelBetween;
    };
    std::vector<Peak> spectra;
    std::vector<OnSilenceStartArgs> starts;
    std::vector<OnSilenceEndArgs> ends;
    v.OnSpectrumData += [&](PhoneVornix& sender, const EventArgs&) {
        Peak p{};
        p.found = sender.GetCenterFreqs(p.first, p.second);
        p.levelAtFirst = sender.GetfrequencyDB(p.first);
        p.levelBetween = sender.GetfrequencyDB(1000.0);
        EXPECT_EQ(sender.SpectrumDB().size(), 129u);
        spectra.push_back(p);
    };
    v.OnSilenceStart += [&](PhoneVornix&, const OnSilenceStartArgs& e) { starts.push_back(e); };
    v.OnSilenceEnd += [&](PhoneVornix&, const OnSilenceEndArgs& e) { ends.push_back(e); };
    v.MonitorDTMF(false);
    v.EnableSpectrumConversion(true);
    v.MonitorCustomTone(true);
    CCustomToneParams& group = v.CustomToneParams();
    group.FFT_Size(300);  // 256 points
    group.FFT_Window(WINDOW_HANNING);
    group.minSilenceDuration(100);  // 8 blocks
    EXPECT_THROW(group.FFT_Window(static_cast<FFT_WINDOW_TYPE>(6)), ArgumentException);
    EXPECT_EQ(group.FFT_Window(), WINDOW_HANNING);
    v.WaveStreamStart();
    v.WaveStreamInput(TonesPcm({{{}, 200, 0}, {{697, 1477}, 400, -10}, {{}, 200, 0}}));
    v.WaveStreamEnd();

    ASSERT_EQ(spectra.size(), 13u);  // 3200 loud samples: 12 frames of 256, then 128 padded
    for (const Peak& p : spectra) {
        EXPECT_TRUE(p.found);
        EXPECT_NEAR(p.first, 697.0, 8000.0 / 256);
        EXPECT_NEAR(p.second, 1477.0, 8000.0 / 256);
        EXPECT_GT(p.levelAtFirst, -25.0);
        EXPECT_LT(p.levelBetween, p.levelAtFirst - 20.0);
    }
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].StartPos(), 100);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].EndPos(), 1700);  // the 5th loud block, 1600..1699, less four
    EXPECT_EQ(ends[0].duration(), 200);
    EXPECT_TRUE(l.Logged("End of silence detected, end postion=1700,  duration=200(ms)"));
    ASSERT_EQ(l.frequencies.size(), 1u);
    EXPECT_NEAR(l.frequencies[0].Frequency(), 697.0, 8000.0 / 2048);
    EXPECT_NEAR(l.frequencies[0].secondFreq(), 1477.0, 8000.0 / 2048);
    EXPECT_EQ(l.frequencies[0].StartPos(), starts[1].StartPos() - 2800);
    EXPECT_TRUE(l.Logged("Start of silence detected, start position=" + std::to_string(starts[1].StartPos())));

    // Spectrum conversion off: the queries answer that there is no spectrum.
    v.EnableSpectrumConversion(false);
    v.WaveStreamStart();
    double a = 1, b = 1;
    EXPECT_FALSE(v.GetCenterFreqs(a, b));
    EXPECT_EQ(v.GetfrequencyDB(697.0), -1.0);
    EXPECT_TRUE(v.SpectrumDB().empty());
    v.WaveStreamEnd();
}
