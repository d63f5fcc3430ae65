// Received TTY text and FSK data joined into readable lines, and what may reach a
// terminal of text received off the air.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PrintableText.h"
#include "TextLineJoiner.h"

namespace {

using Kind = TextLineJoiner::Kind;

// Characters fed one at a time, each with its raw code and sample position (8000 samples
// a second); the lines completed, then the one flushed at the end, as "text@position".
struct Received {
    char16_t character;
    std::int32_t rawCode;
    std::int32_t position;
};
std::vector<std::string> Lines(Kind kind, const std::vector<Received>& received) {
    TextLineJoiner joiner(kind);
    std::vector<std::string> lines;
    auto keep = [&](const TextLineJoiner::Line& l) {
        EXPECT_EQ(l.seconds, l.position / 8000.0);
        lines.push_back(l.text + "@" + std::to_string(l.position));
    };
    for (const Received& r : received)
        for (const auto& line : joiner.Add(r.character, r.rawCode, r.position, r.position / 8000.0)) keep(line);
    if (auto last = joiner.Flush()) keep(*last);
    EXPECT_FALSE(joiner.Pending());
    return lines;
}

// Text characters 0.1 s apart, the first at 0.1 s, with raw code 0.
std::vector<Received> Typed(const std::u16string& text) {
    std::vector<Received> r;
    for (char16_t c : text) r.push_back({c, 0, 800 * static_cast<std::int32_t>(r.size() + 1)});
    return r;
}

TEST(TextLineJoiner, TtyLinesEndAtCrOrLfAndShiftsAreNoText) {
    EXPECT_EQ(Lines(Kind::Text, Typed(u"RY RY\r\nHI\nGA")), (std::vector<std::string>{"RY RY@800", "HI@6400", "GA@8800"}));
    // FIGS (code 27) 3 LTRS (code 31) E, NUL: the line starts at its first character, not
    // at the shift before it.
    EXPECT_EQ(Lines(Kind::Text, {{0, 27, 8000}, {'3', 1, 8800}, {0, 31, 9600}, {'E', 1, 10400}, {0, 0, 11200}}),
              std::vector<std::string>{"3E@8800"});
    EXPECT_TRUE(Lines(Kind::Text, {{0, 27, 8000}, {'\r', 8, 8800}, {'\n', 2, 9600}}).empty());
    // Bell, ENQ and the pound sign of the figures tables.
    EXPECT_EQ(Lines(Kind::Text, Typed(u"A\a\x05\u00a3\\")), std::vector<std::string>{"A\\x07\\x05\u00a3\\x5c@800"});
}

TEST(TextLineJoiner, APauseOrAFullLineEndsTheLine) {
    EXPECT_EQ(Lines(Kind::Text, {{'A', 0, 8000}, {'B', 0, 24000}, {'C', 0, 40080}}),
              (std::vector<std::string>{"AB@8000", "C@40080"}));
    // A shift after a pause ends the line before it too.
    EXPECT_EQ(Lines(Kind::Text, {{'A', 0, 8000}, {0, 27, 28000}, {'1', 23, 28800}}),
              (std::vector<std::string>{"A@8000", "1@28800"}));
    const std::u16string longText(TextLineJoiner::kMaxLineBytes + 1, u'x');
    const auto lines = Lines(Kind::Text, Typed(longText));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(TextLineJoiner::kMaxLineBytes, 'x') + "@800");
    // An escape code is never split over two lines.
    std::u16string codes(TextLineJoiner::kMaxLineBytes / 4 - 1, u'\a');
    codes += u"x\a";
    const auto split = Lines(Kind::Text, Typed(codes));
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[1].substr(0, 5), "\\x07@");
}

TEST(TextLineJoiner, DataShowsEveryByteAndEndsALineAtLf) {
    // FSK data: the byte is the raw code; NUL, CR and the others are shown, not dropped.
    std::vector<Received> bytes;
    for (int b : std::vector<int>{'h', 'i', 0x00, '\r', '\n', 0xFF, '\\', 'k'})
        bytes.push_back({static_cast<char16_t>(b), b, 80 * static_cast<std::int32_t>(bytes.size() + 1)});
    EXPECT_EQ(Lines(Kind::Data, bytes), (std::vector<std::string>{"hi\\x00\\x0d\\x0a@80", "\\xff\\x5ck@480"}));
}

TEST(PrintableText, ControlsAndBrokenUtf8BecomeCodes) {
    EXPECT_EQ(PrintableText::Escape("ZCZC-\x1b[2J\x7f"), "ZCZC-\\x1b[2J\\x7f");
    // Latin-1 text converted to UTF-8: a C1 control is a code, a letter stays.
    EXPECT_EQ(PrintableText::Escape("\xc2\x85\xc3\xa9"), "\\x85\xc3\xa9");
    // Bytes that are no UTF-8: stray continuation, overlong form, a sequence cut short.
    EXPECT_EQ(PrintableText::Escape("\x80\xc0\xaf" "a\xe2\x82"), "\\x80\\xc0\\xafa\\xe2\\x82");
    EXPECT_EQ(PrintableText::Character(0xA3), "\xc2\xa3");
    EXPECT_EQ(PrintableText::Character(0xD800), "\xef\xbf\xbd");
}

}  // namespace
