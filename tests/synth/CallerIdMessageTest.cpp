#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "synth/CallerIdMessage.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

unsigned Sum(const Bytes& message) {
    unsigned sum = 0;
    for (std::uint8_t b : message) sum += b;
    return sum % 256;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The parameters of a multiple-message body, walked by their own lengths; fails the test
// when a length runs past the body.
std::vector<std::pair<int, Bytes>> Parameters(const Bytes& message) {
    std::vector<std::pair<int, Bytes>> list;
    EXPECT_GE(message.size(), 3u);
    const std::size_t end = 2 + message[1];
    EXPECT_EQ(end + 1, message.size()) << "the length byte counts the body only";
    for (std::size_t i = 2; i + 2 <= end;) {
        const std::size_t length = message[i + 1];
        EXPECT_LE(i + 2 + length, end) << "parameter at " << i << " runs past the body";
        if (i + 2 + length > end) break;
        list.emplace_back(message[i], Bytes(message.begin() + i + 2, message.begin() + i + 2 + length));
        i += 2 + length;
    }
    return list;
}

TEST(CallerIdMessage, SdmfIsDateThenNumberWithAZeroSum) {
    Bytes m;
    ASSERT_EQ(CallerIdMessage::Sdmf("03141592", "5551234567", m), S_OK);
    Bytes expected = {0x04, 18};
    for (char c : std::string("031415925551234567")) expected.push_back(static_cast<std::uint8_t>(c));
    ASSERT_EQ(m.size(), expected.size() + 1);
    EXPECT_EQ(Bytes(m.begin(), m.end() - 1), expected);
    EXPECT_EQ(Sum(m), 0u);

    // A withheld number is the single letter in the number's place.
    ASSERT_EQ(CallerIdMessage::Sdmf("12312359", "P", m), S_OK);
    EXPECT_EQ(m[1], 9);
    EXPECT_EQ(m[10], 'P');
    EXPECT_EQ(Sum(m), 0u);
}

TEST(CallerIdMessage, MdmfCallerParametersParseBackInOrderWithEightBitNames) {
    CallerIdMessage::Caller caller;
    caller.date = "07041776";
    caller.number = "2025550143";
    caller.called = "8005550199";
    caller.name = "\xC9LO\xCF\xFF";  // bytes above 0x7F go through as they are
    Bytes m;
    ASSERT_EQ(CallerIdMessage::MdmfCaller(caller, m), S_OK);
    EXPECT_EQ(m[0], 0x80);
    EXPECT_EQ(Sum(m), 0u);
    const auto list = Parameters(m);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], (std::pair<int, Bytes>{0x01, Text("07041776")}));
    EXPECT_EQ(list[1], (std::pair<int, Bytes>{0x02, Text("2025550143")}));
    EXPECT_EQ(list[2], (std::pair<int, Bytes>{0x03, Text("8005550199")}));
    EXPECT_EQ(list[3], (std::pair<int, Bytes>{0x07, Bytes{0xC9, 'L', 'O', 0xCF, 0xFF}}));

    CallerIdMessage::Caller withheld;
    withheld.numberAbsence = 'O';
    withheld.nameAbsence = 'P';
    ASSERT_EQ(CallerIdMessage::MdmfCaller(withheld, m), S_OK);
    EXPECT_EQ(Sum(m), 0u);
    EXPECT_EQ(Parameters(m), (std::vector<std::pair<int, Bytes>>{{0x04, Text("O")}, {0x08, Text("P")}}));

    // No fields at all is still a well-formed, empty message.
    ASSERT_EQ(CallerIdMessage::MdmfCaller({}, m), S_OK);
    EXPECT_EQ(m, (Bytes{0x80, 0x00, 0x80}));
}

TEST(CallerIdMessage, ContradictingOrMalformedFieldsAreRefusedAndLeaveTheOutputAlone) {
    const Bytes untouched = {0xAB};
    const auto refused = [&](auto build) {
        Bytes m = untouched;
        return build(m) == E_INVALIDARG && m == untouched;
    };
    for (const char* date : {"0101120", "010112000", "0101 200", "01011a00", "", "0101120\xB0"}) {
        EXPECT_TRUE(refused([&](Bytes& m) { return CallerIdMessage::Sdmf(date, "1", m); })) << date;
        CallerIdMessage::Caller caller;
        caller.date = date;
        EXPECT_TRUE(refused([&](Bytes& m) { return CallerIdMessage::MdmfCaller(caller, m); })) << date;
    }
    CallerIdMessage::Caller both;
    both.number = "123";
    both.numberAbsence = 'P';
    EXPECT_TRUE(refused([&](Bytes& m) { return CallerIdMessage::MdmfCaller(both, m); }));
    both = {};
    both.name = "X";
    both.nameAbsence = 'O';
    EXPECT_TRUE(refused([&](Bytes& m) { return CallerIdMessage::MdmfCaller(both, m); }));
    CallerIdMessage::Caller unknownReason;
    unknownReason.numberAbsence = 'X';
    EXPECT_TRUE(refused([&](Bytes& m) { return CallerIdMessage::MdmfCaller(unknownReason, m); }));
    EXPECT_TRUE(refused([&](Bytes& m) { return CallerIdMessage::MdmfMessageWaiting(true, 256, m); }));
    EXPECT_TRUE(refused([&](Bytes& m) { return CallerIdMessage::MdmfMessageWaiting(true, -1, m); }));
}

// One length byte counts at most 255: the body may be exactly that long, never longer.
TEST(CallerIdMessage, LengthsStopAtWhatOneByteCounts) {
    Bytes m;
    ASSERT_EQ(CallerIdMessage::Sdmf("01011200", std::string(247, '9'), m), S_OK);
    EXPECT_EQ(m[1], 255);
    EXPECT_EQ(m.size(), 258u);
    EXPECT_EQ(Sum(m), 0u);
    EXPECT_EQ(CallerIdMessage::Sdmf("01011200", std::string(248, '9'), m), E_INVALIDARG);

    // One parameter of 253 bytes fills the body with its type and length.
    std::vector<CallerIdMessage::Parameter> list = {{0x07, Bytes(253, 'A')}};
    ASSERT_EQ(CallerIdMessage::Mdmf(list, m), S_OK);
    EXPECT_EQ(m[1], 255);
    EXPECT_EQ(m[3], 253);
    list[0].bytes.push_back('A');
    EXPECT_EQ(CallerIdMessage::Mdmf(list, m), E_INVALIDARG);
    // A parameter whose own length byte would wrap is refused, not cut to its low byte.
    list = {{0x07, Bytes(256, 'A')}};
    EXPECT_EQ(CallerIdMessage::Mdmf(list, m), E_INVALIDARG);
    CallerIdMessage::Caller caller;
    caller.date = "01011200";
    caller.number = std::string(120, '5');
    caller.name = std::string(120, 'N');  // 10 + 122 + 122 = 254: fits
    ASSERT_EQ(CallerIdMessage::MdmfCaller(caller, m), S_OK);
    caller.name->append(2, 'N');
    EXPECT_EQ(CallerIdMessage::MdmfCaller(caller, m), E_INVALIDARG);
}

TEST(CallerIdMessage, MessageWaitingInBothFormats) {
    Bytes m;
    ASSERT_EQ(CallerIdMessage::MessageWaiting(true, m), S_OK);
    EXPECT_EQ(Bytes(m.begin(), m.end() - 1), (Bytes{0x06, 0x03, 'B', 'B', 'B'}));
    EXPECT_EQ(Sum(m), 0u);
    ASSERT_EQ(CallerIdMessage::MessageWaiting(false, m), S_OK);
    EXPECT_EQ(Bytes(m.begin(), m.end() - 1), (Bytes{0x06, 0x03, 'o', 'o', 'o'}));
    EXPECT_EQ(Sum(m), 0u);

    ASSERT_EQ(CallerIdMessage::MdmfMessageWaiting(true, std::nullopt, m), S_OK);
    EXPECT_EQ(m[0], 0x82);
    EXPECT_EQ(Sum(m), 0u);
    EXPECT_EQ(Parameters(m), (std::vector<std::pair<int, Bytes>>{{0x0B, {0xFF}}}));
    ASSERT_EQ(CallerIdMessage::MdmfMessageWaiting(false, 255, m), S_OK);
    EXPECT_EQ(Sum(m), 0u);
    EXPECT_EQ(Parameters(m), (std::vector<std::pair<int, Bytes>>{{0x0B, {0x00}}, {0x0D, {0xFF}}}));
}

TEST(CallerIdMessage, ChecksumCompletesTheSumAndCorruptionBreaksItByOne) {
    // The byte that brings every sum back to 0, including sums that are already 0.
    for (const Bytes& bytes : {Bytes{}, Bytes{0x80, 0x80}, Bytes{0xFF}, Bytes{0x12, 0x34, 0x56}}) {
        Bytes whole = bytes;
        whole.push_back(CallerIdMessage::Checksum(bytes));
        EXPECT_EQ(Sum(whole), 0u);
    }
    Bytes m;
    ASSERT_EQ(CallerIdMessage::Sdmf("01011200", "5550100", m), S_OK);
    const Bytes sound = m;
    CallerIdMessage::CorruptChecksum(m);
    EXPECT_EQ(Sum(m), 1u);
    EXPECT_TRUE(std::equal(sound.begin(), sound.end() - 1, m.begin()));
    Bytes empty;
    CallerIdMessage::CorruptChecksum(empty);
    EXPECT_TRUE(empty.empty());
}

// Every byte but the two check bytes has an even count of 1 bits; the length byte, read
// without its parity bit, gives the message's total length as the receiver computes it.
TEST(CallerIdMessage, JapaneseMessageHasEvenParityAndItsFramedLayout) {
    Bytes m;
    ASSERT_EQ(CallerIdMessage::Japanese("0312345678", m), S_OK);
    ASSERT_EQ(m.size(), 7u + 12 + 4);
    for (std::size_t i = 0; i + 2 < m.size(); ++i)
        EXPECT_EQ(std::popcount(static_cast<unsigned>(m[i])) % 2, 0) << "byte " << i;
    Bytes seven;
    for (std::uint8_t b : m) seven.push_back(b & 0x7F);
    EXPECT_EQ(Bytes(seven.begin(), seven.begin() + 5), (Bytes{0x10, 0x01, 0x07, 0x10, 0x02}));
    EXPECT_EQ(seven[6] + 11u, m.size());
    EXPECT_EQ(seven[7], 0x02);
    EXPECT_EQ(seven[8], 10);
    EXPECT_EQ(Bytes(seven.begin() + 9, seven.begin() + 19), Text("0312345678"));
    EXPECT_EQ(seven[19], 0x10);
    EXPECT_EQ(seven[20], 0x03);

    // The check bytes, low first, complete a CRC whose remainder over the whole is zero.
    std::uint16_t crc = 0;
    for (std::size_t i = 2; i < m.size(); ++i) {
        crc ^= m[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
    EXPECT_EQ(crc, 0);
    // The published check value of this CRC for the ASCII digits 1 to 9.
    const Bytes digits = Text("123456789");
    EXPECT_EQ(CallerIdMessage::Crc16(digits), 0x2189);

    ASSERT_EQ(CallerIdMessage::Japanese(std::string(125, '1'), m), S_OK);
    EXPECT_EQ((m[6] & 0x7F) + 11u, m.size());
    const Bytes untouched = m;
    EXPECT_EQ(CallerIdMessage::Japanese(std::string(126, '1'), m), E_INVALIDARG);
    EXPECT_EQ(CallerIdMessage::Japanese("03\xB3", m), E_INVALIDARG);  // no room for parity
    EXPECT_EQ(m, untouched);
}

}  // namespace
