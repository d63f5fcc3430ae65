#include "synth/TtyGenerator.h"

#include <cctype>

#include "synth/SignalTimeline.h"

// clang-format off
const std::uint8_t TtyGenerator::kTable[4][32] = {
    // letters
    {0x00, 'E', 0x0A, 'A', ' ', 'S', 'I', 'U', 0x0D, 'D', 'R', 'J', 'N', 'F', 'C', 'K',
     'T', 'Z', 'L', 'W', 'H', 'Y', 'P', 'Q', 'O', 'B', 'G', 0xFF, 'M', 'X', 'V', 0xFF},
    // figures, mode 0
    {0x00, '3', 0x0A, '-', ' ', 0x07, '8', '7', 0x0D, '$', '4', '\'', ',', '!', ':', '(',
     '5', '"', ')', '2', '#', '6', '0', '1', '9', '?', '&', 0xFF, '.', '/', ';', 0xFF},
    // figures, mode 3
    {0x00, '3', 0x0A, '-', ' ', '\'', '8', '7', 0x0D, 0x05, '4', 0x07, ',', '!', ':', '(',
     '5', '+', ')', '2', 0xA3, '6', '0', '1', '9', '?', '&', 0xFF, '.', '/', '=', 0xFF},
    // figures, mode 4
    {0x08, '3', 0x0A, '-', ' ', '\'', '8', '7', 0x0D, '$', '4', '\'', ',', '!', ':', '(',
     '5', '"', ')', '2', '=', '6', '0', '1', '9', '?', '+', 0xFF, '.', '/', ';', 0xFF},
};
// clang-format on

namespace {

// Code of character c in table, or -1; the first code when a table holds c twice.
int Find(const std::uint8_t (&table)[32], std::uint8_t c) {
    for (int code = 0; code < 32; ++code)
        if (table[code] == c && table[code] != 0xFF) return code;
    return -1;
}

int FiguresIndex(TtyGenerator::Mode mode) {
    switch (mode) {
        case TtyGenerator::Mode::kBaudotMode3: return 2;
        case TtyGenerator::Mode::kBaudotMode4: return 3;
        default: return 1;
    }
}

}  // namespace

HRESULT TtyGenerator::Encode(std::string_view text, Mode mode, bool skipUnknown, std::vector<std::uint8_t>& codes) {
    codes.clear();
    if (mode == Mode::kAscii7 || mode == Mode::kAscii8) {
        for (char ch : text) {
            const auto c = static_cast<std::uint8_t>(ch);
            if (mode == Mode::kAscii7 && c > 0x7F) {
                if (skipUnknown) continue;
                return E_INVALIDARG;
            }
            codes.push_back(c);
        }
        return S_OK;
    }
    if (mode != Mode::kBaudot && mode != Mode::kBaudotMode3 && mode != Mode::kBaudotMode4) return E_INVALIDARG;

    const auto& letters = kTable[0];
    const auto& figures = kTable[FiguresIndex(mode)];
    enum class Shift { kUnknown, kLetters, kFigures } shift = Shift::kUnknown;
    for (char ch : text) {
        auto c = static_cast<std::uint8_t>(ch);
        if (c < 0x80) c = static_cast<std::uint8_t>(std::toupper(c));
        const int inLetters = Find(letters, c);
        const int inFigures = Find(figures, c);
        if (inLetters < 0 && inFigures < 0) {
            if (skipUnknown) continue;
            return E_INVALIDARG;
        }
        if (inLetters >= 0 && inLetters == inFigures) {
            codes.push_back(static_cast<std::uint8_t>(inLetters));  // the same in either shift
            // Many terminals fall back to letters at a space in figures, others stay: the
            // next character that needs a shift gets one, whichever the receiver does.
            if (inLetters == kSpaceCode && shift == Shift::kFigures) shift = Shift::kUnknown;
            continue;
        }
        // The current shift's table first, so a character in both at different codes
        // needs no shift.
        const bool useFigures = inLetters < 0 || (inFigures >= 0 && shift == Shift::kFigures);
        const Shift wanted = useFigures ? Shift::kFigures : Shift::kLetters;
        if (shift != wanted) {
            codes.push_back(useFigures ? kFigures : kLetters);
            shift = wanted;
        }
        codes.push_back(static_cast<std::uint8_t>(useFigures ? inFigures : inLetters));
    }
    return S_OK;
}

bool TtyGenerator::DataOptions(FskDataGenerator::Options& data) const {
    const Options& o = m_options;
    if (o.stopBits == 1.0)
        data.stopBits = FskDataGenerator::StopBits::kOne;
    else if (o.stopBits == 1.5)
        data.stopBits = FskDataGenerator::StopBits::kOneAndHalf;
    else if (o.stopBits == 2.0)
        data.stopBits = FskDataGenerator::StopBits::kTwo;
    else
        return false;
    data.markHz = o.markHz;
    data.spaceHz = o.spaceHz;
    data.baud = o.baud;
    data.dataBits = o.mode == Mode::kAscii7 ? 7 : o.mode == Mode::kAscii8 ? 8 : 5;
    data.parity = FskDataGenerator::Parity::kNone;
    data.startBitTone = 0;
    data.stopBitTone = 1;
    data.levelDbfs = o.levelDbfs;
    data.frequencyOffsetPercent = o.frequencyOffsetPercent;
    data.bitRateErrorPercent = o.bitRateErrorPercent;
    data.leadMs = o.leadMs;
    data.idleBeforeMs = o.idleBeforeMs;
    data.idleBetweenMs = 0.0;
    data.idleAfterMs = o.idleAfterMs;
    return true;
}

HRESULT TtyGenerator::Append(SignalTimeline& timeline, std::string_view text) const {
    FskDataGenerator::Options data;
    if (!DataOptions(data)) return E_INVALIDARG;
    std::vector<std::uint8_t> codes;
    if (Encode(text, m_options.mode, m_options.skipUnknown, codes) != S_OK) return E_INVALIDARG;
    return FskDataGenerator(data).Append(timeline, codes);
}

std::size_t TtyGenerator::SampleCount(int sampleRate, std::size_t codes) const {
    FskDataGenerator::Options data;
    DataOptions(data);
    return FskDataGenerator(data).SampleCount(sampleRate, codes);
}
