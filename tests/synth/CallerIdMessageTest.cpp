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

TEST(CallerIdMessage, MdmfCallerParametersWalkBackInOrderWithEightBitNames) {
    CallerIdMessage::Caller caller;
    caller.date = "07041776";
    caller.number = "2025550143";
    caller.name = "\xC9LO\xFF";
    Bytes m;
    ASSERT_EQ(CallerIdMessage::MdmfCaller(caller, m), S_OK);
    EXPECT_EQ(Sum(m), 0u);
    ASSERT_EQ(m[1] + 3u, m.size());
    std::vector<std::pair<int, std::string>> list;
    for (std::size_t i = 2; i + 2 <= m.size() - 1; i += 2 + m[i + 1])
        list.emplace_back(m[i], std::string(m.begin() + i + 2, m.begin() + i + 2 + m[i + 1]));
    EXPECT_EQ(list, (std::vector<std::pair<int, std::string>>{
                        {0x01, "07041776"}, {0x02, "2025550143"}, {0x07, "\xC9LO\xFF"}}));

    caller.numberAbsence = 'P';  // and a number: they contradict
    const Bytes before = m;
    EXPECT_EQ(CallerIdMessage::MdmfCaller(caller, m), E_INVALIDARG);
    EXPECT_EQ(m, before);
}

// A length byte counts up to 255: a body may be exactly that long, and one byte more is
// refused rather than wrapped.
TEST(CallerIdMessage, LengthsStopAtWhatOneByteCounts) {
    Bytes m;
    ASSERT_EQ(CallerIdMessage::Sdmf("01011200", std::string(247, '9'), m), S_OK);
    EXPECT_EQ(m[1], 255);
    EXPECT_EQ(Sum(m), 0u);
    EXPECT_EQ(CallerIdMessage::Sdmf("01011200", std::string(248, '9'), m), E_INVALIDARG);
    std::vector<CallerIdMessage::Parameter> list = {{0x07, Bytes(253, 'A')}};
    EXPECT_EQ(CallerIdMessage::Mdmf(list, m), S_OK);
    list[0].bytes.push_back('A');
    EXPECT_EQ(CallerIdMessage::Mdmf(list, m), E_INVALIDARG);
    for (const char* date : {"0101120", "010112000", "01011a00"})
        EXPECT_EQ(CallerIdMessage::Sdmf(date, "1", m), E_INVALIDARG) << date;
}

// Even parity on every byte but the two check bytes; the length byte without its parity
// bit gives the total as the receiver computes it; the check bytes, low first, leave a
// CRC remainder of zero over the bytes after DLE SOH.
TEST(CallerIdMessage, JapaneseMessageHasEvenParityItsLengthAndItsCheckBytes) {
    Bytes m;
    ASSERT_EQ(CallerIdMessage::Japanese("0312345678", m), S_OK);
    ASSERT_EQ(m.size(), 7u + 12 + 4);
    EXPECT_EQ((m[6] & 0x7F) + 11u, m.size());
    std::string seven;
    for (std::size_t i = 0; i + 2 < m.size(); ++i) {
        EXPECT_EQ(std::popcount(static_cast<unsigned>(m[i])) % 2, 0) << "byte " << i;
        seven += static_cast<char>(m[i] & 0x7F);
    }
    EXPECT_EQ(seven, std::string("\x10\x01\x07\x10\x02\x40\x0C\x02\x0A") + "0312345678\x10\x03");
    std::uint16_t crc = 0;
    for (std::size_t i = 2; i < m.size(); ++i) {
        crc ^= m[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
    EXPECT_EQ(crc, 0);
    EXPECT_EQ(CallerIdMessage::Crc16(Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x2189);  // published check value

    EXPECT_EQ(CallerIdMessage::Japanese(std::string(125, '1'), m), S_OK);
    EXPECT_EQ((m[6] & 0x7F) + 11u, m.size());
    EXPECT_EQ(CallerIdMessage::Japanese(std::string(126, '1'), m), E_INVALIDARG);
    EXPECT_EQ(CallerIdMessage::Japanese("03\xB3", m), E_INVALIDARG);  // bit 7 is the parity's
}

}  // namespace
