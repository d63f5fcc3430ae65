#include "fsk/CDecCIDFMT.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "platform/DebugOutput.h"

namespace {

// Parameter types of the multiple data message.
constexpr std::uint8_t kParamDate = 0x01;
constexpr std::uint8_t kParamNumber = 0x02;
constexpr std::uint8_t kParamCalledNumber = 0x03;
constexpr std::uint8_t kParamNumberAbsent = 0x04;
constexpr std::uint8_t kParamName = 0x07;
constexpr std::uint8_t kParamNameAbsent = 0x08;
constexpr std::uint8_t kParamCallQualifier = 0x11;
// Parameter types of the multiple-data message-waiting message.
constexpr std::uint8_t kParamVisualIndicator = 0x0B;
constexpr std::uint8_t kParamMessageCount = 0x0D;
constexpr std::uint8_t kIndicatorOn = 0xFF;
constexpr std::uint8_t kIndicatorOff = 0x00;
// Parameter types of the Japanese format.
constexpr std::uint8_t kJapaneseNumber = 0x02;
constexpr std::uint8_t kJapaneseNumberAbsent = 0x04;
constexpr std::uint8_t kJapaneseIgnored = 0x21;
constexpr std::uint8_t kJapaneseHeader[5] = {0x10, 0x01, 0x07, 0x10, 0x02};  // DLE SOH 07 DLE STX
// Header bytes before the parameter list (its length is byte 6) and the trailer after it.
constexpr int kJapaneseListStart = 7;
constexpr int kJapaneseFraming = 11;
constexpr int kJapaneseLengthByte = 6;
// The buffer's last slot ends a message that never announced a sensible length.
constexpr int kJapaneseLastByte = CDecCIDFMT::kJapaneseCapacity - 1;
constexpr int kDateDigits = 8;

constexpr std::int32_t kByteTaken = -10;
constexpr std::int32_t kMessageStarted = 0;
constexpr std::int32_t kByteIgnored = 10;

// Walks a parameter list of (type, length, bytes) entries that fills `length` bytes from
// `list`, handing each to visit(type, data, size). Every parameter is checked to fit in
// what is left of the list before its bytes are read; false when one does not (nothing
// more is read or visited). A list's last byte may be read as a length: the caller's buffer
// always holds one byte more than the list.
template <typename Visit>
bool WalkParameters(const std::uint8_t* list, int length, Visit visit) {
    for (int remaining = length; remaining >= 1;) {
        const std::uint8_t type = list[0];
        const int size = list[1];
        if (size > remaining - 2) return false;
        visit(type, list + 2, size);
        remaining -= 2 + size;
        list += 2 + size;
    }
    return true;
}

std::int32_t StatusWord(int rawBytes, std::int32_t status) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(rawBytes) << 16) | status;
}

}  // namespace

void CDecCIDFMT::Field::Set(const std::uint8_t* bytes, int count) {
    const int n = std::min<int>(count, sizeof text - 1);
    std::memcpy(text, bytes, static_cast<std::size_t>(n));
    text[n] = '\0';
    present = true;
}

CDecCIDFMT::CDecCIDFMT() { CDecCIDFMT::ResetMessage(); }
CDecCIDFMT::~CDecCIDFMT() = default;

void CDecCIDFMT::ResetMessage() {
    m_japaneseLength = 0;
    m_byteCount = 0;
    m_shiftRegister = kHunting;
    m_lengthKnown = false;
    m_messageType = kNoMessage;
}

void CDecCIDFMT::OnVMWI(std::int32_t, std::int32_t) {}
void CDecCIDFMT::OnCallerID(const char*, const char*, const char*, const char*, const std::uint8_t*, std::int32_t) {}

std::int32_t CDecCIDFMT::OnCIDBit(std::int32_t bit, bool japanese) {
    // A marker bit walks down from bit 10 as bits arrive at the top; when it reaches bit 0
    // the ten bits of a character (start, eight data bits, stop) sit above it.
    m_shiftRegister = ((bit & 1) << 10) | (m_shiftRegister >> 1);
    if (m_shiftRegister == 0x600) {  // a mark bit while hunting for a start bit
        m_shiftRegister = kHunting;
        return 1;
    }
    if ((m_shiftRegister & 1) == 0) return -1;
    const std::int32_t character = (m_shiftRegister >> 2) & 0xFF;
    const bool stopBit = ((m_shiftRegister >> 10) & 1) != 0;
    const std::int32_t result = japanese ? OnJapaneseByte(character) : OnMessageByte(character);
    // A stop bit of 0 is taken as the start bit of the next character.
    m_shiftRegister = stopBit ? kHunting : 0x200;
    return result;
}

std::int32_t CDecCIDFMT::OnMessageByte(std::int32_t byte) {
    const auto value = static_cast<std::uint8_t>(byte);
    if (m_messageType == kNoMessage) {
        switch (value) {
            case kTypeSdmf:
            case kTypeMdmf:
                m_messageType = value;
                OnCallerID(nullptr, nullptr, nullptr, nullptr, nullptr, value == kTypeSdmf ? kSdmfStarted : kMdmfStarted);
                return kMessageStarted;
            case kTypeMessageWaiting:
            case kTypeMdmfMessageWaiting:
                m_messageType = value;
                OnVMWI(kVmwiStarted, 0);
                return kMessageStarted;
            default:
                return kByteIgnored;
        }
    }
    if (!m_lengthKnown) {
        m_message[0] = m_messageType;
        m_message[1] = value;
        m_byteCount = 2;
        m_lengthKnown = true;
        return kByteTaken;
    }
    // The count is shared with the Japanese parser: should its characters have moved it
    // past this message's end, the message ends at the next byte instead of running on.
    m_message[std::min(m_byteCount, kMessageCapacity - 1)] = value;
    ++m_byteCount;
    if (m_byteCount < m_message[1] + 3) return kByteTaken;
    CompleteMessage();
    ResetMessage();
    m_byteCount = 0;
    return kByteTaken;
}

void CDecCIDFMT::CompleteMessage() {
    const int total = m_message[1] + 3;
    unsigned sum = 0;
    for (int i = 0; i < total; ++i) sum += m_message[i];
    const bool checksumRight = (sum & 0xFF) == 0;
    switch (m_messageType) {
        case kTypeMessageWaiting:
            CompleteMessageWaiting(checksumRight);
            return;
        case kTypeMdmfMessageWaiting:
            CompleteMdmfMessageWaiting(checksumRight);
            return;
        default:
            break;
    }
    // A single data message too short for its date is malformed, whatever its checksum
    // says: it is dropped, like a short message-waiting message.
    if (m_messageType == kTypeSdmf && m_message[1] < kDateDigits) {
        DebugOutput("CID SDMF message with fewer than eight date digits dropped.");
        return;
    }
    if (!checksumRight) {
        OnCallerID(nullptr, nullptr, nullptr, nullptr, m_message, StatusWord(total, kBadChecksum));
    } else if (m_messageType == kTypeSdmf) {
        DecodeSdmf();
    } else {
        DecodeMdmf();
    }
}

void CDecCIDFMT::CompleteMessageWaiting(bool checksumRight) {
    if (m_message[1] < 3) {
        DebugOutput("CID message-waiting message with fewer than three data bytes dropped.");
        return;
    }
    const std::int32_t word = m_message[2] | (m_message[3] << 8) | (m_message[4] << 16);
    if (!checksumRight) {
        OnVMWI(kVmwiBadChecksum, word);
    } else if (word == kVmwiOnWord) {
        OnVMWI(kVmwiOn, word);
    } else if (word == kVmwiOffWord) {
        OnVMWI(kVmwiOff, word);
    }
}

void CDecCIDFMT::CompleteMdmfMessageWaiting(bool checksumRight) {
    const int length = m_message[1];
    if (!checksumRight) {
        // As for the three-byte form: the first data bytes, as many as there are.
        std::int32_t word = 0;
        for (int i = 0; i < std::min(length, 3); ++i) word |= m_message[2 + i] << (8 * i);
        OnVMWI(kVmwiBadChecksum, word);
        return;
    }
    int indicator = -1;
    std::int32_t messages = 0;
    const bool fits = WalkParameters(m_message + 2, length, [&](std::uint8_t type, const std::uint8_t* data, int size) {
        if (type == kParamVisualIndicator && size >= 1) indicator = data[0];
        if (type == kParamMessageCount && size >= 1) messages = data[0];
    });
    if (!fits) {
        DebugOutput("CID message-waiting parameter longer than its message: message dropped.");
        return;
    }
    if (indicator == kIndicatorOn) {
        OnVMWI(kVmwiOn, messages);
    } else if (indicator == kIndicatorOff) {
        OnVMWI(kVmwiOff, messages);
    } else {
        DebugOutput("CID message-waiting message without a known indicator ignored.");
    }
}

void CDecCIDFMT::FormatDate(const std::uint8_t* digits, char out[12]) {
    std::snprintf(out, 12, "%c%c-%c%c %c%c:%c%c", digits[0], digits[1], digits[2], digits[3], digits[4], digits[5],
                  digits[6], digits[7]);
}

void CDecCIDFMT::DecodeSdmf() {
    const int total = m_message[1] + 3;
    char date[12] = {};
    FormatDate(m_message + 2, date);
    Field number{};
    number.Set(m_message + 2 + kDateDigits, total - 11);
    OnCallerID(nullptr, number.Get(), date, nullptr, m_message, StatusWord(total, kDecoded));
}

void CDecCIDFMT::ReportUnknownParameter(std::uint8_t type, const std::uint8_t* data, int length) {
    // "{type,DA,TA}": at most 255 data bytes of three characters each.
    char text[40 + 3 * 256];
    int used = std::snprintf(text, sizeof text, "Unknown MDMF parameter type : {%02x", type);
    for (int i = 0; i < length; ++i)
        used += std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), ",%02X", data[i]);
    std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), "}");
    OnCallerID(text, nullptr, nullptr, nullptr, nullptr, kUnknownParameter);
}

void CDecCIDFMT::DecodeMdmf() {
    const int total = m_message[1] + 3;
    char date[12] = {};
    Field name{}, number{}, called{};
    // The list ends before the checksum byte.
    const bool fits = WalkParameters(m_message + 2, total - 3, [&](std::uint8_t type, const std::uint8_t* data, int size) {
        switch (type) {
            case kParamDate:
                if (size >= kDateDigits) {
                    FormatDate(data, date);
                } else {
                    DebugOutput("CID MDMF date shorter than eight digits ignored.");
                }
                break;
            case kParamNumber:
            case kParamNumberAbsent:
                number.Set(data, size);
                break;
            case kParamCalledNumber:
                called.Set(data, size);
                break;
            case kParamName:
            case kParamNameAbsent:
                name.Set(data, size);
                break;
            case kParamCallQualifier:
                break;
            default:
                ReportUnknownParameter(type, data, size);
                break;
        }
    });
    if (!fits) {
        DebugOutput("CID MDMF parameter longer than its message: message dropped.");
        return;
    }
    OnCallerID(name.Get(), number.Get(), date, called.Get(), m_message, StatusWord(total, kDecoded));
}

bool CDecCIDFMT::EvenParity(std::uint8_t byte) { return (std::popcount(byte) & 1) == 0; }

std::int32_t CDecCIDFMT::OnJapaneseByte(std::int32_t byte) {
    if (m_byteCount >= kJapaneseCapacity) {  // cannot happen: the last slot always ends the message
        ResetMessage();
        m_byteCount = 0;
        return kByteTaken;
    }
    m_japanese[m_byteCount++] = static_cast<std::uint8_t>(byte);
    if (m_byteCount == kJapaneseLengthByte + 2 && m_japaneseLength == 0) {
        const std::uint8_t length = m_japanese[kJapaneseLengthByte];
        if (EvenParity(length)) {
            m_japaneseLength = (length & 0x7F) + kJapaneseFraming;
            return kByteTaken;
        }
        DropJapanese(kJapaneseBadParity);
        return kByteTaken;
    }
    if (m_byteCount != m_japaneseLength && m_byteCount != kJapaneseLastByte) return kByteTaken;
    // A message of its own characters always ends at its length, before the last slot,
    // with the length byte it was read from still in place. Anything else means the count
    // shared with the other parser moved (past the length byte or the end, or back over
    // the length byte): what the buffer holds is no message.
    const int lengthInPlace = (m_japanese[kJapaneseLengthByte] & 0x7F) + kJapaneseFraming;
    if (m_byteCount != m_japaneseLength || lengthInPlace != m_byteCount) {
        DebugOutput("Japanese CID message without its own length: message dropped.");
        ResetMessage();
        m_byteCount = 0;
        return kByteTaken;
    }
    CompleteJapanese();
    ResetMessage();
    m_byteCount = 0;
    return kByteTaken;
}

void CDecCIDFMT::DropJapanese(std::int32_t status) {
    OnCallerID(nullptr, nullptr, nullptr, nullptr, nullptr, status);
    ResetMessage();
    m_byteCount = 0;
}

void CDecCIDFMT::CompleteJapanese() {
    const int count = m_byteCount;
    // Parity covers every byte but the two trailing check bytes.
    for (int i = 0; i < count - 2; ++i) {
        if (!EvenParity(m_japanese[i])) {
            OnCallerID(nullptr, nullptr, nullptr, nullptr, nullptr, kJapaneseBadParity);
            return;
        }
        m_japanese[i] &= 0x7F;
    }
    if (std::memcmp(m_japanese, kJapaneseHeader, sizeof kJapaneseHeader) != 0) {
        OnCallerID(nullptr, nullptr, nullptr, nullptr, nullptr, kJapaneseBadHeader);
        return;
    }
    Field number{};
    const bool fits = WalkParameters(m_japanese + kJapaneseListStart, m_japanese[kJapaneseLengthByte],
                                     [&](std::uint8_t type, const std::uint8_t* data, int size) {
                                         if (type == kJapaneseNumber || type == kJapaneseNumberAbsent) {
                                             number.Set(data, size);
                                         } else if (type != kJapaneseIgnored) {
                                             ReportUnknownParameter(type, data, size);
                                         }
                                     });
    if (!fits) {
        DebugOutput("Japanese CID parameter longer than its message: message dropped.");
        return;
    }
    OnCallerID(nullptr, number.Get(), nullptr, nullptr, m_japanese, StatusWord(count, kDecoded));
}
