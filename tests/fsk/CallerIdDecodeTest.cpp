// Caller-ID transmissions built here from the published framing go through the whole
// decoder aggregate: bytes in, caller-ID and message-waiting messages out.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/CallerIdHarness.h"

namespace {

using namespace fsk_reference;

std::vector<std::uint8_t> MdmfData(const std::string& date, const std::string& number, const std::string& name,
                                   const std::string& called) {
    std::vector<std::uint8_t> data;
    const auto add = [&](std::uint8_t type, const std::string& value) {
        data.push_back(type);
        data.push_back(static_cast<std::uint8_t>(value.size()));
        data.insert(data.end(), value.begin(), value.end());
    };
    add(0x01, date);
    add(0x02, number);
    add(0x07, name);
    if (!called.empty()) add(0x03, called);
    return data;
}

std::vector<float> Transmission(int rate, std::span<const std::uint8_t> message, const Line& line = {},
                                double leadSeconds = 0.3) {
    std::vector<float> signal(static_cast<std::size_t>(leadSeconds * rate), 0.0f);
    AppendBits(signal, rate, line, OnHookBits(message));
    signal.resize(signal.size() + static_cast<std::size_t>(0.3 * rate), 0.0f);
    return signal;
}

TEST(CallerIdDecode, MdmfOnBell202At8kHz) {
    const auto message = Message(0x80, MdmfData("12251430", "5551234567", "DOE JOHN", "5559876"));
    CallerIdHarness harness(8000, 32);
    harness.FeedSamples(Transmission(8000, message));
    harness.Flush();
    const auto messages = harness.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].status, 0);
    EXPECT_EQ(messages[0].number, "5551234567");
    EXPECT_EQ(messages[0].name, "DOE JOHN");
    EXPECT_EQ(messages[0].dateTime, "12-25 14:30");
    EXPECT_EQ(messages[0].calledNumber, "5559876");
    EXPECT_EQ(messages[0].raw, message);
}

}  // namespace
