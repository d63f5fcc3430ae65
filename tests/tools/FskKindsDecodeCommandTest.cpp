// vornix decode with the TTY, SAME and FSK data detectors: their options and refusals, and
// their events on recordings made here from phase-continuous FSK.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandRunner.h"
#include "FskFraming.h"

namespace {

const std::string kVornix = VORNIX_CLI_PATH;
constexpr double kRate = 8000.0;

// Two-tone FSK as raw 16-bit mono PCM at 8 kHz (the format decode reads a .raw file in):
// bit 1 is the mark tone, bit 0 the space tone, and the oscillator's phase runs on across
// bit edges. Bit edges fall on the nearest sample of their exact time, so a rate that is no
// whole number of samples a bit keeps its rate over a long message.
class FskSignal {
public:
    FskSignal(double markHz, double spaceHz, double baud) : m_markHz(markHz), m_spaceHz(spaceHz), m_baud(baud) {}

    // bits bit lengths (a fraction allowed) of one tone.
    FskSignal& Tone(int bit, double bits) {
        m_clock += bits * kRate / m_baud;
        const double step = 2 * M_PI * (bit ? m_markHz : m_spaceHz) / kRate;
        while (static_cast<double>(m_pcm.size()) < std::round(m_clock)) {
            m_pcm.push_back(static_cast<std::int16_t>(std::lround(kAmplitude * 32767 * std::sin(m_phase))));
            m_phase = std::fmod(m_phase + step, 2 * M_PI);
        }
        return *this;
    }
    FskSignal& Bits(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) Tone((value >> i) & 1, 1);  // first bit = bit 0
        return *this;
    }
    FskSignal& Silence(double seconds) {
        m_clock += seconds * kRate;
        m_pcm.resize(static_cast<std::size_t>(std::round(m_clock)), 0);
        return *this;
    }
    void Write(const std::string& path) const {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(m_pcm.data()), static_cast<std::streamsize>(m_pcm.size() * 2));
    }

private:
    static constexpr double kAmplitude = 0.3;  // about -10 dBFS
    double m_markHz, m_spaceHz, m_baud;
    std::vector<std::int16_t> m_pcm;
    double m_clock = 0.0;  // where the last tone ends, in samples
    double m_phase = 0.0;
};

class FskKindsDecode : public ::testing::Test {
protected:
    // decode of in.raw with these options: its events (with --json) or its lines.
    std::vector<std::string> Decode(const FskSignal& signal, std::vector<std::string> options) const {
        signal.Write(run.Path("in.raw"));
        options.insert(options.begin(), "decode");
        options.push_back(run.Path("in.raw"));
        const auto r = run.Run(kVornix, options);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.OutLines();
    }
    std::vector<nlohmann::json> Events(const FskSignal& signal, std::vector<std::string> options,
                                       const std::string& only = "") const {
        options.push_back("--json");
        std::vector<nlohmann::json> events;
        for (const std::string& line : Decode(signal, options)) {
            auto e = nlohmann::json::parse(line);
            if (only.empty() || e["event"] == only) events.push_back(e);
        }
        return events;
    }
    // The readable lines after their file name and time.
    std::vector<std::string> Readable(const FskSignal& signal, const std::vector<std::string>& options) const {
        std::vector<std::string> texts;
        for (const std::string& line : Decode(signal, options)) {
            const std::size_t at = line.find(" s  ");
            EXPECT_NE(at, std::string::npos) << line;
            if (at != std::string::npos) texts.push_back(line.substr(at + 4));
        }
        return texts;
    }

    CommandRunner run;
};

TEST_F(FskKindsDecode, BaudotTtyAsEventsAndAsLinesOfText) {
    // 45.45 baud, mark 1400 Hz, space 1800 Hz: LTRS R Y space R Y CR LF FIGS 1 2 3, each
    // character a space start bit, five data bits and 1.5 stop bits, after idle mark.
    const std::vector<int> codes = {31, 10, 21, 4, 10, 21, 8, 2, 27, 23, 19, 1};
    FskSignal tty(1400, 1800, 45.45);
    tty.Silence(0.2).Tone(1, 20);
    for (int code : codes) tty.Tone(0, 1).Bits(code, 5).Tone(1, 1.5);
    tty.Tone(1, 10).Silence(0.5);

    for (const std::string detect : {"tty", "all"}) {
        const auto events = Events(tty, {"--detect", detect}, detect == "all" ? "OnTTY" : "");
        std::string text;
        std::vector<int> raw;
        for (const auto& e : events) {
            EXPECT_EQ(e["event"], "OnTTY") << "only the chosen detector reports";
            text += e["RecvChar"].get<std::string>();
            raw.push_back(e["RawCode"].get<int>());
        }
        EXPECT_EQ(raw, codes) << detect;
        // Shifts carry character 0, one JSON object each like every other character.
        EXPECT_EQ(text, std::string("\0RY RY\r\n\0" "123", 12)) << detect;
    }
    EXPECT_EQ(Readable(tty, {"--detect", "tty"}), (std::vector<std::string>{"TTY RY RY", "TTY 123"}));
}

TEST_F(FskKindsDecode, AsciiTtyAtTheOtherRateAndTones) {
    // 110 baud 8-bit ASCII on 1270/1070 Hz: start, eight data bits, two stop bits.
    FskSignal tty(1270, 1070, 110);
    tty.Silence(0.2).Tone(1, 30);
    for (unsigned char c : std::string("Hi\a!")) tty.Tone(0, 1).Bits(c, 8).Tone(1, 2);
    tty.Tone(1, 10).Silence(0.5);
    EXPECT_EQ(Readable(tty, {"--detect", "tty", "--tty-rate", "110", "--tty-mode", "ascii8", "--tty-mark", "1270",
                             "--tty-space", "1070"}),
              std::vector<std::string>{"TTY Hi\\x07!"});
}

TEST_F(FskKindsDecode, SameMessageElementsAndHeaderFields) {
    // 520.83 baud, mark 2083.3 Hz, space 1562.5 Hz; each burst 16 preamble bytes 0xAB and
    // the text, every byte least significant bit first with no start or stop bit; one
    // second between bursts.
    const std::string header = "ZCZC-WXR-TOR-048453-048491+0130-1231415-KEWX/NWS-";
    FskSignal same(2083.3, 1562.5, 520.83);
    same.Silence(0.2);
    for (const std::string& burst : {header, header, header, std::string("NNNN"), std::string("NNNN"), std::string("NNNN")}) {
        for (int i = 0; i < 16; ++i) same.Bits(0xAB, 8);
        for (unsigned char c : burst) same.Bits(c, 8);
        same.Silence(1.0);
    }

    const auto events = Events(same, {"--detect", "same"});
    std::vector<std::string> seen;
    for (const auto& e : events)
        seen.push_back(e["event"].get<std::string>() + " " + (e["event"] == "OnSAME" ? e["RawData"].dump()
                                                                                    : e["Status"].dump() + " " + e["Context"].dump()));
    const std::string h = nlohmann::json(header).dump();
    EXPECT_EQ(seen, (std::vector<std::string>{"OnSAMEelement 1 " + h, "OnSAMEelement 2 " + h, "OnSAMEelement 3 " + h,
                                              "OnSAMEelement 6 \"NNNN\"", "OnSAMEelement 7 \"NNNN\"",
                                              "OnSAMEelement 8 \"NNNN\"", "OnSAME " + h}));

    const auto lines = Readable(same, {"--detect", "same"});
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "SAME SAME_TEXT1 " + header);
    EXPECT_EQ(lines[5], "SAME SAME_NNNN_3 NNNN");
    EXPECT_EQ(lines[6], "SAME header originator=WXR event=TOR locations=048453,048491 duration=01:30 issued=day 123 "
                        "14:15 UTC sender=KEWX/NWS");
}

TEST_F(FskKindsDecode, RecordingsOfAnotherModulatorFileByFile) {
    // minimodem's Baudot (figures and back within the text) and 7-E-1 at 1200 baud, in one
    // run with both detectors: each file's text ends with its file, and the bytes the FSK
    // data decoder frames out of the TTY call leave the TTY line whole.
    const std::string fixtures = std::string(VORNIX_SOURCE_DIR) + "/tests/fixtures/";
    const auto r = run.Run(kVornix, {"decode", "--fsk-framing", "7E1", "--detect", "tty,fsk",
                                     fixtures + "tty/baudot_45_45.wav", fixtures + "fsk/bell202_1200_7e1.wav"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> tty, fsk;
    for (const std::string& line : r.OutLines()) {
        const std::string file = line.substr(0, line.find("  "));
        const std::string text = line.substr(line.find(" s  ") + 4);
        (text.starts_with("TTY") ? tty : fsk).push_back(file.substr(fixtures.size()) + ": " + text);
    }
    EXPECT_EQ(tty, std::vector<std::string>{"tty/baudot_45_45.wav: TTY CALL ME AT 555-1234"});
    ASSERT_FALSE(fsk.empty());
    EXPECT_EQ(fsk.back(), "fsk/bell202_1200_7e1.wav: FSK Seven E1 7E1");
}

TEST_F(FskKindsDecode, FskDataBytesWithTheirFraming) {
    // 300 baud, mark 1270 Hz, space 1070 Hz, 8N1 between idle mark.
    auto uart = [](const std::string& bytes, int dataBits, int parity) {
        FskSignal fsk(1270, 1070, 300);
        fsk.Silence(0.2).Tone(1, 30);
        for (unsigned char c : bytes) {
            fsk.Tone(0, 1).Bits(c, dataBits);
            if (parity >= 0) fsk.Tone((std::popcount(static_cast<unsigned>(c)) + parity) & 1, 1);
            fsk.Tone(1, 1);
        }
        fsk.Tone(1, 10).Silence(0.5);
        return fsk;
    };
    const std::vector<std::string> tones = {"--detect", "fsk", "--fsk-baud", "300", "--fsk-mark", "1270", "--fsk-space", "1070"};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), tones.begin(), tones.end());
        return more;
    };
    const FskSignal hello = uart(std::string("hello\nw\0\xff", 9), 8, -1);
    std::vector<int> bytes;
    for (const auto& e : Events(hello, with({"--fsk-framing", "8N1"}))) bytes.push_back(e["RawCode"].get<int>());
    EXPECT_EQ(bytes, (std::vector<int>{'h', 'e', 'l', 'l', 'o', '\n', 'w', 0, 0xFF}));
    EXPECT_EQ(Readable(hello, with({"--fsk-framing", "8N1"})), (std::vector<std::string>{"FSK hello\\x0a", "FSK w\\x00\\xff"}));
    // The same framing by its parts; the caller-ID name of the bit rate sets the same rate.
    std::vector<std::string> parts = {"--detect", "fsk", "--baud-rate", "300", "--fsk-mark", "1270", "--fsk-space", "1070",
                                      "--fsk-data-bits", "8", "--fsk-parity", "none", "--fsk-stop-bits", "1"};
    EXPECT_EQ(Readable(hello, parts).size(), 2u);

    // Seven data bits with even parity: the parity bit is framed, not read as data.
    const FskSignal seven = uart("7E1", 7, 0);
    EXPECT_EQ(Readable(seven, with({"--fsk-framing", "7E1"})), std::vector<std::string>{"FSK 7E1"});
    EXPECT_TRUE(Readable(seven, with({"--fsk-framing", "7O1"})).empty()) << "every character fails odd parity";
}


TEST(FskFraming, ShorthandParts) {
    struct Case {
        const char* text;
        int dataBits;
        const char* parity;
        const char* stopBits;
    };
    for (const Case& c : {Case{"8N1", 8, "none", "1"}, Case{"7e2", 7, "even", "2"}, Case{"5O1.5", 5, "odd", "1.5"},
                          Case{"6M0", 6, "mark", "0"}, Case{"8s1", 8, "space", "1"}}) {
        const auto f = FskFraming::Parse(c.text);
        ASSERT_TRUE(f) << c.text;
        EXPECT_EQ(f->dataBits, c.dataBits) << c.text;
        EXPECT_EQ(f->parity, c.parity) << c.text;
        EXPECT_EQ(f->stopBits, c.stopBits) << c.text;
    }
    for (const char* text : {"", "8N", "4N1", "9N1", "8X1", "8N3", "8N1.", "8N15", "8N1 ", "N81", "88N1"})
        EXPECT_FALSE(FskFraming::Parse(text)) << text;
}

TEST(FskKindsOptions, RefusedValuesAndCombinationsAreUsageErrors) {
    CommandRunner run;
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
             {"--detect", "tty,telex"}, {"--tty-rate", "45"}, {"--tty-rate", "1200"}, {"--tty-mode", "baudot-5"},
             {"--tty-mark", "0"}, {"--tty-space", "nan"}, {"--fsk-baud", "0"}, {"--fsk-mark", "-1"},
             {"--fsk-data-bits", "4"}, {"--fsk-data-bits", "9"}, {"--fsk-stop-bits", "3"}, {"--fsk-parity", "N"},
             {"--fsk-start-tone", "1"}, {"--fsk-stop-tone", "high"}, {"--fsk-framing", "8N3"},
             // The shorthand with one of its parts, and both names of one FSKParams setting.
             {"--fsk-framing", "8N1", "--fsk-stop-bits", "2"}, {"--fsk-data-bits", "7", "--fsk-framing", "7E1"},
             {"--fsk-parity", "odd", "--fsk-framing", "7E1"}, {"--fsk-mark", "1270", "--mark-freq", "1200"},
             {"--space-freq", "1070", "--fsk-space", "1070"}, {"--fsk-baud", "300", "--baud-rate", "300"}}) {
        std::vector<std::string> args = {"decode"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("missing.wav");  // status 1 unless refused while parsing
        const auto r = run.Run(kVornix, args);
        EXPECT_EQ(r.exitCode, 2) << options.back() << ": " << r.err;
        EXPECT_NE(r.err.find(options[options.size() - 2]), std::string::npos) << r.err;
    }
    // What the options accept: every rate and mode, a shorthand beside the tones and the
    // caller-ID name of another setting.
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
             {"--detect", "tty,same,fsk", "--tty-rate", "56.92", "--tty-mode", "baudot-3"},
             {"--tty-rate", "110", "--tty-mode", "ascii8", "--tty-mark", "1270", "--tty-space", "1070"},
             {"--fsk-framing", "7E1.5", "--fsk-mark", "1270", "--space-freq", "1070", "--fsk-start-tone", "mark"},
             // The file right after the list is a file, not a detector's name.
             {"--tty-rate", "50", "--detect", "tty"}}) {
        std::vector<std::string> args = {"decode"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(run.Path("missing.wav"));
        EXPECT_EQ(run.Run(kVornix, args).exitCode, 1) << options.back();
    }
}

}  // namespace
