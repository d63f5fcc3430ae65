// An endpoint's text forms and address parsing for both families.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtp/Endpoint.h"

namespace {

TEST(Endpoint, TextOfBothFamilies) {
    const Endpoint v4 = Endpoint::V4(0xC0000201, 5004);
    EXPECT_EQ(v4.ToString(), "192.0.2.1:5004");
    EXPECT_EQ(v4.AddressText(), "192.0.2.1");
    EXPECT_EQ(Endpoint::V4(0xFFFFFFFF, 65535).ToString(), "255.255.255.255:65535");

    Endpoint v6;
    ASSERT_TRUE(Endpoint::ParseAddress("2001:DB8:0:0:0:0:0:1", v6));
    v6.port = 5004;
    EXPECT_TRUE(v6.v6);
    EXPECT_EQ(v6.ToString(), "[2001:db8::1]:5004");
    EXPECT_EQ(v6.AddressText(), "2001:db8::1");
}

TEST(Endpoint, ParsedAddressesMatchTheirBytes) {
    Endpoint e;
    ASSERT_TRUE(Endpoint::ParseAddress("10.1.2.3", e));
    EXPECT_FALSE(e.v6);
    e.port = 7;
    EXPECT_EQ(e, Endpoint::V4(0x0A010203, 7));

    ASSERT_TRUE(Endpoint::ParseAddress("::ffff:10.1.2.3", e));
    EXPECT_TRUE(e.v6);
    EXPECT_EQ(e.address[10], 0xFF);
    EXPECT_EQ(e.address[15], 3);
    EXPECT_EQ(e.AddressText(), "::ffff:10.1.2.3");
}

TEST(Endpoint, MalformedAddressesAreRefused) {
    for (const std::string& text : std::vector<std::string>{"", "192.0.2", "192.0.2.256", "1.2.3.4.5", " 192.0.2.1", "192.0.2.1 ",
                                   "2001:db8::g", "2001:db8:::1", "[2001:db8::1]", "192.0.2.1:5004",
                                   std::string("192.0.2.1\0junk", 14)}) {
        Endpoint e = Endpoint::V4(0x01020304, 9);
        EXPECT_FALSE(Endpoint::ParseAddress(text, e)) << text;
        EXPECT_EQ(e, Endpoint::V4(0x01020304, 9)) << "left untouched";
    }
}

TEST(Endpoint, OrdersByAddressThenFamilyThenPort) {
    EXPECT_LT(Endpoint::V4(0x0A000001, 9000), Endpoint::V4(0x0A000002, 1));
    EXPECT_LT(Endpoint::V4(0x0A000001, 1), Endpoint::V4(0x0A000001, 2));
    // The same sixteen bytes in both families: the family still tells them apart.
    Endpoint v6;
    ASSERT_TRUE(Endpoint::ParseAddress("a00:1::", v6));
    EXPECT_NE(v6, Endpoint::V4(0x0A000001, 0));
    EXPECT_LT(Endpoint::V4(0x0A000001, 0), v6);
}

}  // namespace
