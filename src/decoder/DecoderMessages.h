#pragma once

#include <cstdint>

// Messages that leave the decoder, numbered from the window-message user base 0x400.
// Each carries two 64-bit parameters; "send" messages may carry addresses of records
// on the decoding thread's stack, "post" messages carry values only.
enum DecoderMessage : int {
    DM_DTMF = 1024,
    DM_TTY_CHAR = 1025,
    DM_CALLERID = 1026,
    DM_FREQUENCY_DATA = 1027,
    DM_FREQUENCY_DETECTED = 1028,
    DM_SILENCE_START = 1029,
    DM_SILENCE_END = 1030,
    DM_TONE = 1031,
    DM_ZVEI_KEY = 1033,
    DM_MF_KEY = 1034,
    DM_RAW_SAME = 1035,
    DM_VMWI = 1036,
    DM_DECODE_END = 1037,
    DM_DEBUG_TEXT = 1038,
    DM_SAME_ELEMENT = 1039,
    DM_SIT = 1040,
    DM_PROGRESS = 1041,
    DM_FSK_DATA = 1042,
};

// How a message travels when it goes to a window rather than to the event procedure.
enum class MessageTravel { Post, Send };

constexpr MessageTravel TravelOf(int msg) {
    switch (msg) {
        case DM_CALLERID:
        case DM_FREQUENCY_DATA:
        case DM_FREQUENCY_DETECTED:
        case DM_TONE:
        case DM_RAW_SAME:
        case DM_VMWI:
        case DM_SAME_ELEMENT:
            return MessageTravel::Send;
        default:
            return MessageTravel::Post;
    }
}

// Parameter encodings: a signed 32-bit value (or 8-bit character) is sign-extended to
// 64 bits, an unsigned 32-bit one zero-extended.
constexpr std::uint64_t SignExtended(std::int32_t value) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
}
constexpr std::uint64_t SignExtendedChar(char value) {
    return SignExtended(static_cast<std::int32_t>(static_cast<signed char>(value)));
}
template <typename T>
std::uint64_t AddressOf(const T* record) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(record));
}

// Records that messages point to. They live on the decoding thread's stack for the
// duration of the message; a receiver copies what it keeps.
struct CallerIDStrings {
    const char* szName;
    const char* szNumber;
    const char* szDataTime;
    const char* CalledIDNumber;
    const unsigned char* szRaw;  // not terminated; its length is the high 16 bits of iflag
};

struct CallerIDStatus {
    std::int32_t iflag;  // low 16 bits status, high 16 bits raw byte count
    std::int32_t position;
};

struct FrequencyPair {
    double Frequency;
    double secondFreq;
};

struct ToneTiming {
    std::int32_t starttime;
    std::int32_t Duration;
};

struct SAMEElementInfo {
    std::int32_t iState;
    std::int32_t pos;
};

struct VMWIInfo {
    std::int32_t iFlag;  // 0 off, 1 on, 2 checksum wrong, 4 message started
    std::int32_t position;
};
