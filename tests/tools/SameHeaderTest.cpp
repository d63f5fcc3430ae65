// SAME header fields, and headers the parser must refuse without reading past their end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SameHeader.h"

namespace {

const std::string kHeader = "ZCZC-WXR-TOR-048453-048491+0130-1231415-KEWX/NWS-";

TEST(SameHeader, FieldsOfAHeader) {
    const auto h = SameHeader::Parse(kHeader);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->originator, "WXR");
    EXPECT_EQ(h->event, "TOR");
    EXPECT_EQ(h->locations, (std::vector<std::string>{"048453", "048491"}));
    EXPECT_EQ(h->durationHours, 1);
    EXPECT_EQ(h->durationMinutes, 30);
    EXPECT_EQ(h->issueDay, 123);
    EXPECT_EQ(h->issueHour, 14);
    EXPECT_EQ(h->issueMinute, 15);
    EXPECT_EQ(h->sender, "KEWX/NWS");
    EXPECT_EQ(h->Summary(),
              "originator=WXR event=TOR locations=048453,048491 duration=01:30 issued=day 123 14:15 UTC sender=KEWX/NWS");

    // One location, a sender with a space, the last day of a leap year just before midnight.
    const auto one = SameHeader::Parse("ZCZC-CIV-EVI-000000+0015-3662359-WXYZ FM -");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->locations, std::vector<std::string>{"000000"});
    EXPECT_EQ(one->sender, "WXYZ FM ");
    EXPECT_EQ(one->issueDay, 366);
}

TEST(SameHeader, AtMostThirtyOneLocations) {
    auto header = [](int count) {
        std::string text = "ZCZC-EAS-RWT";
        for (int i = 0; i < count; ++i) text += "-0" + std::to_string(10000 + i);
        return text + "+0100-0010000-STATION1-";
    };
    ASSERT_TRUE(SameHeader::Parse(header(31)));
    EXPECT_EQ(SameHeader::Parse(header(31))->locations.back(), "010030");
    EXPECT_FALSE(SameHeader::Parse(header(32)));
}

TEST(SameHeader, MalformedHeadersAreRefused) {
    // Every text cut short of the whole header, down to nothing.
    for (std::size_t n = 0; n < kHeader.size(); ++n)
        EXPECT_FALSE(SameHeader::Parse(std::string_view(kHeader).substr(0, n))) << n;
    std::string withNul = "ZCZC-WXR-TOR-048453+0130-1231415-KEWX NWS-";
    withNul[37] = '\0';
    for (const std::string& text : std::vector<std::string>{
             "NNNN",
             "ZCZC-WXR-TOR-048453-048491+0130-1231415-KEWX/NWS-X",   // trailing text
             "ZCZC-WXR-TOR-048453-048491+0130-1231415-KEWX/NWS",     // no final '-'
             "ZCZD-WXR-TOR-048453+0130-1231415-KEWX/NWS-",
             "ZCZC-WX-TOR-048453+0130-1231415-KEWX/NWS-",
             "ZCZC-wxr-TOR-048453+0130-1231415-KEWX/NWS-",
             "ZCZC-WXR-TO#-048453+0130-1231415-KEWX/NWS-",
             "ZCZC-WXR-TOR+0130-1231415-KEWX/NWS-",                  // no location
             "ZCZC-WXR-TOR-04845+0130-1231415-KEWX/NWS-",
             "ZCZC-WXR-TOR-04845A+0130-1231415-KEWX/NWS-",
             "ZCZC-WXR-TOR-048453-0130-1231415-KEWX/NWS-",           // no '+'
             "ZCZC-WXR-TOR-048453++0130-1231415-KEWX/NWS-",
             "ZCZC-WXR-TOR-048453+0160-1231415-KEWX/NWS-",           // 60 minutes
             "ZCZC-WXR-TOR-048453+013-1231415-KEWX/NWS-",
             "ZCZC-WXR-TOR-048453+0130-0001415-KEWX/NWS-",           // day 0
             "ZCZC-WXR-TOR-048453+0130-3671415-KEWX/NWS-",           // day 367
             "ZCZC-WXR-TOR-048453+0130-1232415-KEWX/NWS-",           // 24 h
             "ZCZC-WXR-TOR-048453+0130-1231460-KEWX/NWS-",           // 60 min
             "ZCZC-WXR-TOR-048453+0130-123141-KEWX/NWS-",
             "ZCZC-WXR-TOR-048453+0130-1231415-KEWX/NW-",            // 7-character sender
             "ZCZC-WXR-TOR-048453+0130-1231415-KEWX-NWS-",
             "ZCZC-WXR-TOR-048453+0130-1231415-KEWX\x01NWS-",
             "ZCZC-WXR-TOR-048453+0130-1231415-KEWX\x80NWS-",
             withNul,
         })
        EXPECT_FALSE(SameHeader::Parse(text)) << text;
}

}  // namespace
