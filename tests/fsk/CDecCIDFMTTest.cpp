// Caller-ID framing and message formats, driven bit by bit with messages built here from
// the line framing (start bit, eight data bits least significant first, stop bit).
#include <gtest/gtest.h>

#include <bit>
#include <optional>
#include <string>
#include <vector>

#include "fsk/CDecCIDFMT.h"
#include "support/CallerIdHarness.h"

namespace {

using namespace fsk_reference;

struct Report {
    std::int32_t status;
    std::int32_t rawCount;
    std::optional<std::string> name, number, date, called;
    std::vector<std::uint8_t> raw;
};

class RecordingParser : public CDecCIDFMT {
public:
    void OnCallerID(const char* name, const char* number, const char* date, const char* called,
                    const std::uint8_t* raw, std::int32_t statusWord) override {
        Report r{statusWord & 0xFFFF, static_cast<std::int32_t>(static_cast<std::uint32_t>(statusWord) >> 16),
                 Opt(name), Opt(number), Opt(date), Opt(called), {}};
        if (raw != nullptr) r.raw.assign(raw, raw + r.rawCount);
        reports.push_back(r);
    }
    void OnVMWI(std::int32_t status, std::int32_t data) override { vmwi.emplace_back(status, data); }
    void ResetMessage() override {
        ++resets;
        CDecCIDFMT::ResetMessage();
    }

    std::vector<std::int32_t> SendBits(std::span<const std::uint8_t> bits, bool japanese = false) {
        std::vector<std::int32_t> results;
        for (std::uint8_t b : bits) results.push_back(OnCIDBit(b, japanese));
        return results;
    }
    void Send(std::span<const std::uint8_t> bytes, bool japanese = false) {
        std::vector<std::uint8_t> bits(5, 1);  // idle marks first
        for (std::uint8_t b : bytes) AppendCharacter(bits, b);
        bits.insert(bits.end(), 3, 1);
        SendBits(bits, japanese);
    }
    // Reports of decoded messages and bad checksums, without the format notices.
    std::vector<Report> Messages() const {
        std::vector<Report> out;
        for (const Report& r : reports)
            if (r.status != kSdmfStarted && r.status != kMdmfStarted) out.push_back(r);
        return out;
    }

    std::vector<Report> reports;
    std::vector<std::pair<std::int32_t, std::int32_t>> vmwi;
    int resets = 0;

private:
    static std::optional<std::string> Opt(const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; }
};

std::vector<std::uint8_t> Param(std::uint8_t type, const std::string& value) {
    std::vector<std::uint8_t> p(2 + value.size());
    p[0] = type;
    p[1] = static_cast<std::uint8_t>(value.size());
    std::copy(value.begin(), value.end(), p.begin() + 2);
    return p;
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::uint8_t WithEvenParity(std::uint8_t c) { return static_cast<std::uint8_t>(c | ((std::popcount(c) & 1) << 7)); }

// DLE SOH 07 DLE STX, byte 5, the list length, the list, DLE ETX and two check bytes,
// every byte but the check bytes with even parity.
std::vector<std::uint8_t> JapaneseMessage(const std::vector<std::uint8_t>& list, std::uint8_t byte5 = 0x40) {
    std::vector<std::uint8_t> m{0x10, 0x01, 0x07, 0x10, 0x02, byte5, static_cast<std::uint8_t>(list.size())};
    m.insert(m.end(), list.begin(), list.end());
    m.push_back(0x10);
    m.push_back(0x03);
    for (auto& b : m) b = WithEvenParity(b);
    m.push_back(0x5A);  // check bytes: not verified, no parity needed
    m.push_back(0xA7);
    return m;
}

TEST(CallerIdFraming, MarkBitsWhileHuntingAreDiscardedAndReturnOne) {
    RecordingParser p;
    const std::vector<std::uint8_t> marks(20, 1);
    for (std::int32_t r : p.SendBits(marks)) EXPECT_EQ(r, 1);
    EXPECT_EQ(p.ShiftRegister(), CDecCIDFMT::kHunting);  // 0x400 -> 0x600 -> back to 0x400
}

TEST(CallerIdFraming, CharacterInProgressReturnsMinusOneAndTheTenthBitTheByteResult) {
    RecordingParser p;
    std::vector<std::uint8_t> bits;
    AppendCharacter(bits, 0x41);  // not a message type: ignored with 10
    const auto results = p.SendBits(bits);
    for (std::size_t i = 0; i + 1 < results.size(); ++i) EXPECT_EQ(results[i], -1) << i;
    EXPECT_EQ(results.back(), 10);
    EXPECT_EQ(p.ShiftRegister(), CDecCIDFMT::kHunting);
}

TEST(CallerIdFraming, StopBitOfZeroIsTheNextCharactersStartBit) {
    RecordingParser p;
    // 0x80 framed with a 0 stop bit, then the length and data with no start bit of their
    // own before the first: the 0 stop doubles as it.
    const auto message = Message(0x80, Param(0x02, "42"));
    std::vector<std::uint8_t> bits{1, 1, 0};
    for (int i = 0; i < 8; ++i) bits.push_back((message[0] >> i) & 1);
    bits.push_back(0);  // stop bit 0
    for (int i = 0; i < 8; ++i) bits.push_back((message[1] >> i) & 1);
    bits.push_back(1);
    for (std::size_t i = 2; i < message.size(); ++i) AppendCharacter(bits, message[i]);
    p.SendBits(bits);
    ASSERT_EQ(p.Messages().size(), 1u);
    EXPECT_EQ(p.Messages()[0].number, "42");
}

TEST(CallerIdFraming, ReturnsDriveTheIdleBalance) {
    RecordingParser p;
    std::vector<std::uint8_t> bits;
    AppendCharacter(bits, 0x04);
    EXPECT_EQ(p.SendBits(bits).back(), 0);  // a message started
    bits.clear();
    AppendCharacter(bits, 0x02);
    EXPECT_EQ(p.SendBits(bits).back(), -10);  // taken into it
}

TEST(CallerIdSdmf, DateAndTenDigitNumberWithNullName) {
    RecordingParser p;
    const auto message = Message(0x04, Bytes("01011200" "5551234567"));
    ASSERT_EQ(message[1], 0x12);
    p.Send(message);
    ASSERT_EQ(p.reports.size(), 2u);
    EXPECT_EQ(p.reports[0].status, CDecCIDFMT::kSdmfStarted);  // the type byte's notice, all null
    EXPECT_FALSE(p.reports[0].number);
    const Report& r = p.reports[1];
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.date, "01-01 12:00");
    EXPECT_EQ(r.number, "5551234567");
    EXPECT_FALSE(r.name);
    EXPECT_FALSE(r.called);
    EXPECT_EQ(r.rawCount, 0x12 + 3);
    EXPECT_EQ(r.raw, message);
    EXPECT_EQ(p.MessageType(), CDecCIDFMT::kNoMessage);
}

TEST(CallerIdSdmf, ChecksumByteZeroIsAccepted) {
    RecordingParser p;
    // 0x04 + 0x0A + "0101120" + '0' + "12" sums to a multiple of 256 only with the right
    // digits; search a number that makes the checksum byte 0.
    for (int n = 0; n < 100; ++n) {
        const std::string number = std::to_string(10 + n);
        const auto message = Message(0x04, Bytes("01011200" + number));
        if (message.back() != 0x00) continue;
        p.Send(message);
        ASSERT_EQ(p.Messages().size(), 1u);
        EXPECT_EQ(p.Messages()[0].status, 0);
        EXPECT_EQ(p.Messages()[0].number, number);
        return;
    }
    FAIL() << "no two-digit number gives a zero checksum";
}

TEST(CallerIdSdmf, ShortMessageWithoutAWholeDateIsDroppedNotReadPast) {
    RecordingParser p;
    p.Send(Message(0x04, Bytes("0101")));
    p.Send(Message(0x04, Bytes("0101"), 7));  // with a wrong checksum too: malformed either way
    p.Send(Message(0x04, {}));
    EXPECT_TRUE(p.Messages().empty());
    EXPECT_EQ(p.resets, 3);
    // and the parser is ready for the next message
    p.Send(Message(0x04, Bytes("02021300" "77")));
    ASSERT_EQ(p.Messages().size(), 1u);
    EXPECT_EQ(p.Messages()[0].date, "02-02 13:00");
}

TEST(CallerIdMdmf, EveryFieldDecoded) {
    RecordingParser p;
    const auto message = Message(0x80, Join({Param(0x01, "12251430"), Param(0x02, "5551234567"),
                                             Param(0x07, "DOE JOHN"), Param(0x03, "5559876")}));
    p.Send(message);
    ASSERT_EQ(p.reports.size(), 2u);
    EXPECT_EQ(p.reports[0].status, CDecCIDFMT::kMdmfStarted);
    const Report& r = p.reports[1];
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.date, "12-25 14:30");
    EXPECT_EQ(r.number, "5551234567");
    EXPECT_EQ(r.name, "DOE JOHN");
    EXPECT_EQ(r.called, "5559876");
    EXPECT_EQ(r.raw, message);
}

TEST(CallerIdMdmf, AbsenceReasonsStandInForNumberAndName) {
    RecordingParser p;
    p.Send(Message(0x80, Join({Param(0x01, "03150905"), Param(0x04, "P"), Param(0x08, "O")})));
    ASSERT_EQ(p.Messages().size(), 1u);
    EXPECT_EQ(p.Messages()[0].number, "P");
    EXPECT_EQ(p.Messages()[0].name, "O");
    // Without a date parameter the date is the empty string, the others null.
    p.Send(Message(0x80, Param(0x02, "123")));
    ASSERT_EQ(p.Messages().size(), 2u);
    EXPECT_EQ(p.Messages()[1].date, "");
    EXPECT_FALSE(p.Messages()[1].name);
}

TEST(CallerIdMdmf, NameBytesAboveSevenBitsAreKeptAndStillCheckRight) {
    RecordingParser p;
    p.Send(Message(0x80, Join({Param(0x07, "M\xC3\xBCLLER \xE9"), Param(0x02, "1")})));
    ASSERT_EQ(p.Messages().size(), 1u);
    EXPECT_EQ(p.Messages()[0].status, 0);
    EXPECT_EQ(p.Messages()[0].name, "M\xC3\xBCLLER \xE9");
}

TEST(CallerIdMdmf, LaterParameterReplacesEarlierOneAndQualifierIsIgnored) {
    RecordingParser p;
    p.Send(Message(0x80, Join({Param(0x02, "111"), Param(0x11, "L"), Param(0x04, "O")})));
    ASSERT_EQ(p.Messages().size(), 1u);
    EXPECT_EQ(p.Messages()[0].number, "O");
}

TEST(CallerIdMdmf, UnknownParameterIsReportedWithItsBytesAndTheRestStillArrives) {
    RecordingParser p;
    const std::vector<std::uint8_t> unknown{0x05, 0x02, 0x41, 0xC1};
    p.Send(Message(0x80, Join({Param(0x02, "42"), unknown, Param(0x07, "X")})));
    const auto reports = p.Messages();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].status, CDecCIDFMT::kUnknownParameter);
    EXPECT_EQ(reports[0].name, "Unknown MDMF parameter type : {05,41,C1}");
    EXPECT_FALSE(reports[0].number);
    EXPECT_EQ(reports[0].rawCount, 0);
    EXPECT_EQ(reports[1].status, 0);
    EXPECT_EQ(reports[1].number, "42");
    EXPECT_EQ(reports[1].name, "X");
}

TEST(CallerIdMdmf, ParameterLongerThanTheMessageDropsIt) {
    RecordingParser p;
    // The name claims 40 bytes; the message holds 5 after it.
    std::vector<std::uint8_t> data{0x02, 0x01, '7', 0x07, 40, 'A', 'B', 'C', 'D', 'E'};
    p.Send(Message(0x80, data));
    EXPECT_TRUE(p.Messages().empty());
    EXPECT_EQ(p.resets, 1);
}

TEST(CallerIdMdmf, LongestMessageALengthByteCanAnnounce) {
    RecordingParser p;
    // 255 data bytes: a 253-byte name (the parameter header takes two).
    const std::string name(253, 'N');
    const auto message = Message(0x80, Param(0x07, name));
    ASSERT_EQ(message[1], 255);
    p.Send(message);
    ASSERT_EQ(p.Messages().size(), 1u);
    EXPECT_EQ(p.Messages()[0].name, name);
    EXPECT_EQ(p.Messages()[0].rawCount, 258);
}

TEST(CallerIdChecksum, WrongChecksumGivesAllStringsNullAndTheRawMessage) {
    RecordingParser p;
    const auto message = Message(0x80, Join({Param(0x02, "5551234567"), Param(0x07, "DOE")}), 1);
    p.Send(message);
    ASSERT_EQ(p.Messages().size(), 1u);
    const Report r = p.Messages()[0];
    EXPECT_EQ(r.status, CDecCIDFMT::kBadChecksum);
    EXPECT_FALSE(r.name);
    EXPECT_FALSE(r.number);
    EXPECT_FALSE(r.date);
    EXPECT_FALSE(r.called);
    EXPECT_EQ(r.raw, message);
    EXPECT_EQ(r.rawCount, static_cast<int>(message.size()));
}

TEST(CallerIdMessageWaiting, ThreeByteIndicatorOnOffAndOthers) {
    RecordingParser p;
    p.Send(Message(0x06, Bytes("BBB")));
    p.Send(Message(0x06, Bytes("ooo")));
    p.Send(Message(0x06, Bytes("AAA")));  // no callback
    p.Send(Message(0x06, Bytes("BBB"), 3));
    const std::vector<std::pair<std::int32_t, std::int32_t>> expected{
        {4, 0}, {1, 0x424242}, {4, 0}, {0, 0x6F6F6F}, {4, 0}, {4, 0}, {2, 0x424242}};
    EXPECT_EQ(p.vmwi, expected);
    EXPECT_TRUE(p.reports.empty());
}

TEST(CallerIdMessageWaiting, ShortIndicatorIsDroppedNotReadPast) {
    RecordingParser p;
    p.Send(Message(0x06, Bytes("B")));
    p.Send(Message(0x06, {}));
    ASSERT_EQ(p.vmwi.size(), 2u);  // the two type notices only
    EXPECT_EQ(p.vmwi[0].first, 4);
    EXPECT_EQ(p.vmwi[1].first, 4);
}

TEST(CallerIdMessageWaiting, MultipleDataFormWithIndicatorAndMessageCount) {
    RecordingParser p;
    using B = std::vector<std::uint8_t>;
    p.Send(Message(0x82, B{0x0B, 0x01, 0xFF}));
    p.Send(Message(0x82, B{0x0B, 0x01, 0x00, 0x0D, 0x01, 0x03}));
    p.Send(Message(0x82, B{0x0D, 0x01, 0x02, 0x0B, 0x01, 0xFF}));
    p.Send(Message(0x82, B{0x0B, 0x01, 0xFF}, 1));
    p.Send(Message(0x82, B{0x0B, 0x01, 0x42}));        // no known indicator value: nothing
    p.Send(Message(0x82, B{0x0B, 0x09, 0xFF, 0x00}));  // parameter longer than the message: dropped
    const std::vector<std::pair<std::int32_t, std::int32_t>> expected{
        {4, 0}, {1, 0}, {4, 0}, {0, 3}, {4, 0}, {1, 2}, {4, 0}, {2, 0xFF010B}, {4, 0}, {4, 0}};
    EXPECT_EQ(p.vmwi, expected);
}

TEST(CallerIdMessageWaiting, OtherFirstBytesAreStillIgnored) {
    RecordingParser p;
    for (std::uint8_t type : {0x00, 0x01, 0x05, 0x07, 0x81, 0x83, 0xFE}) {
        std::vector<std::uint8_t> bits;
        AppendCharacter(bits, type);
        EXPECT_EQ(p.SendBits(bits).back(), 10) << int(type);
    }
    EXPECT_TRUE(p.reports.empty());
    EXPECT_TRUE(p.vmwi.empty());
}

TEST(CallerIdJapanese, NumberWithNullNameAndDate) {
    RecordingParser p;
    const auto message = JapaneseMessage(Join({Param(0x02, "0312345678"), Param(0x21, "x")}), 0x55);
    p.Send(message, true);
    ASSERT_EQ(p.reports.size(), 1u);
    const Report& r = p.reports[0];
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.number, "0312345678");
    EXPECT_FALSE(r.name);
    EXPECT_FALSE(r.date);
    ASSERT_EQ(r.rawCount, static_cast<int>(message.size()));
    // Parity bits cleared on all but the two check bytes.
    for (int i = 0; i + 2 < r.rawCount; ++i) EXPECT_EQ(r.raw[i], message[i] & 0x7F) << i;
    EXPECT_EQ(r.raw[r.rawCount - 1], message.back());
}

TEST(CallerIdJapanese, ParityAndHeaderFaults) {
    const auto statusOf = [](std::vector<std::uint8_t> message, int index, std::uint8_t value) {
        message[index] = value;
        RecordingParser p;
        p.Send(message, true);
        EXPECT_EQ(p.reports.size(), 1u);
        EXPECT_EQ(p.resets, 1);
        return p.reports.empty() ? -1 : p.reports[0].status;
    };
    const auto good = JapaneseMessage(Param(0x02, "03"));
    // The length byte's parity is checked as soon as it arrives, the others at the end.
    EXPECT_EQ(statusOf(good, 6, good[6] ^ 0x80), CDecCIDFMT::kJapaneseBadParity);
    EXPECT_EQ(statusOf(good, 8, good[8] ^ 0x80), CDecCIDFMT::kJapaneseBadParity);
    EXPECT_EQ(statusOf(good, 2, WithEvenParity(0x08)), CDecCIDFMT::kJapaneseBadHeader);
    // Byte 5 is not examined, the check bytes carry no parity.
    EXPECT_EQ(statusOf(good, 5, WithEvenParity(0x7E)), 0);
    EXPECT_EQ(statusOf(good, static_cast<int>(good.size()) - 1, 0x01), 0);
}

TEST(CallerIdJapanese, ParameterPastTheListIsDroppedNotReadPast) {
    RecordingParser p;
    auto message = JapaneseMessage(std::vector<std::uint8_t>{0x02, 0x03, '1', '2', '3'});
    message[8] = WithEvenParity(0x7F);  // claims 127 bytes
    p.Send(message, true);
    EXPECT_TRUE(p.reports.empty());
    EXPECT_EQ(p.resets, 1);
}

TEST(CallerIdJapanese, UnknownParameterReportedLikeTheMultipleDataFormat) {
    RecordingParser p;
    p.Send(JapaneseMessage(Join({Param(0x09, "AB"), Param(0x02, "7")})), true);
    ASSERT_EQ(p.reports.size(), 2u);
    EXPECT_EQ(p.reports[0].name, "Unknown MDMF parameter type : {09,41,42}");
    EXPECT_EQ(p.reports[1].number, "7");
}

}  // namespace
