// TTY, SAME and FSK data recordings modulated by minimodem, a modem we did not write (the
// commands and texts are in tests/fixtures/{tty,same,fsk}/make.sh), decoded as files through
// the public component. They catch what our generators and our decoders could share: a
// tone, bit order, framing or shift convention both sides get wrong the same way.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "vornix/PhoneVornix.h"

namespace {

using namespace Orvane::VornixNet;

std::string Fixture(const char* folder, const char* name) {
    return (std::filesystem::path(VORNIX_SOURCE_DIR) / "tests/fixtures" / folder / name).string();
}

// The characters of every OnTTY or OnFSK event, shifts left out.
struct Text {
    std::string chars;
    void Add(const KeyArgs& e) {
        if (e.RecvChar() != 0 || e.RawCode() == 0) chars += static_cast<char>(e.RecvChar());
    }
};

std::string Tty(const char* name, TTY_RATE rate, TTY_MODE mode) {
    PhoneVornix v;
    v.MonitorDTMF(false);
    v.MonitorTTY(true);
    v.TTYParams().Rate(rate);
    v.TTYParams().Mode(mode);
    Text text;
    v.OnTTY += [&](PhoneVornix&, const KeyArgs& e) { text.Add(e); };
    v.Source(Fixture("tty", name));
    return text.chars;
}

TEST(FskKindsRecordings, TtyBaudotAndAscii) {
    EXPECT_EQ(Tty("baudot_45_45.wav", BR_45_45_Baud, Baudot_Mode), "CALL ME AT 555-1234");
    EXPECT_EQ(Tty("baudot_50.wav", BR_50_Baud, Baudot_Mode), "ROOM 12B OK");
    // This modulator returns to letters after a space without sending LTRS; we stay in
    // figures, as the line code says, so the last word comes out in figures.
    EXPECT_EQ(Tty("baudot_45_45_usos.wav", BR_45_45_Baud, Baudot_Mode), "DIAL 555 1234 ,92");
    EXPECT_EQ(Tty("ascii7_110.wav", BR_110_Baud, ASCII7_Mode), "hello 7 bit TTY");
    EXPECT_EQ(Tty("ascii8_110.wav", BR_110_Baud, ASCII8_Mode), "Hi, 8 bit TTY!");
}

TEST(FskKindsRecordings, SameMessageAndHeadersOnly) {
    const std::string header = "ZCZC-WXR-TOR-039173+0030-1591829-KEAX/NWS-";
    for (const char* name : {"same_tor_message.wav", "same_rwt_headers.wav"}) {
        PhoneVornix v;
        v.MonitorDTMF(false);
        v.MonitorSAME(true);
        std::vector<int> states;
        std::vector<std::string> texts, confirmed;
        v.OnSAMEelement += [&](PhoneVornix&, const OnSAMEelementArgs& e) {
            states.push_back(e.Status());
            texts.push_back(e.Context());
        };
        v.OnSAME += [&](PhoneVornix&, const OnSAMEArgs& e) { confirmed.push_back(e.RawData()); };
        v.Source(Fixture("same", name));
        if (std::string(name) == "same_tor_message.wav") {
            EXPECT_EQ(states, (std::vector<int>{1, 2, 3, 6, 7, 8}));
            ASSERT_EQ(texts.size(), 6u);
            EXPECT_EQ(texts[0], header);
            EXPECT_EQ(texts[3], "NNNN");
            EXPECT_EQ(confirmed, std::vector<std::string>{header});
        } else {
            EXPECT_EQ(states, (std::vector<int>{1, 2, 3}));
            ASSERT_EQ(texts.size(), 3u);
            EXPECT_EQ(texts[2], "ZCZC-EAS-RWT-012057-012103+0015-0321700-WTSP/TV -");
            EXPECT_TRUE(confirmed.empty());
        }
    }
}

std::string Fsk(const char* name, float mark, float space, int baud, int dataBits, PARITY_TYPE parity) {
    PhoneVornix v;
    v.MonitorDTMF(false);
    v.MonitorFSK(true);
    v.FSKParams().MarkFreq(mark);
    v.FSKParams().SpaceFreq(space);
    v.FSKParams().BaudRate(baud);
    v.FSKParams().DataBits(dataBits);
    v.FSKParams().StopBits(STOPBIT_ONE);
    v.FSKParams().Parity(parity);
    Text text;
    v.OnFSK += [&](PhoneVornix&, const KeyArgs& e) { text.chars += static_cast<char>(e.RawCode()); };
    v.Source(Fixture("fsk", name));
    return text.chars;
}

TEST(FskKindsRecordings, FskData300And1200Baud) {
    EXPECT_EQ(Fsk("bell103_300_8n1.wav", 1270, 1070, 300, 8, PARITY_NO), "Hello, 300 baud 8N1!");
    EXPECT_EQ(Fsk("bell202_1200_8n1.wav", 1200, 2200, 1200, 8, PARITY_NO),
              std::string("FSK 1200 8N1\x00\x7F\x80\xFF", 16));
    EXPECT_EQ(Fsk("bell202_1200_7e1.wav", 1200, 2200, 1200, 7, PARITY_EVEN_), "Seven E1 7E1");
}

}  // namespace
