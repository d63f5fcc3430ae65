#pragma once

#include <cstdint>

// Caller-ID framing and message formats. Demodulated bits become characters (one start
// bit, eight data bits least significant first, one stop bit), and characters become
// messages: single data message (type 0x04), multiple data message (0x80), message
// waiting (0x06 and the multiple-data form 0x82), each closed by a checksum, and the
// DLE-framed Japanese format with even parity. Results leave through OnCallerID and
// OnVMWI, which the decoder aggregate overrides.
//
// Every length comes from the line, so each is checked against what was received before
// a byte is read: malformed messages are dropped (with a line on the debug output), never
// read past.
class CDecCIDFMT {
public:
    // Status codes in the low 16 bits of the status word; the high 16 bits count the raw
    // message bytes handed along.
    enum Status : std::int32_t {
        kDecoded = 0,
        kBadChecksum = 1,
        kUnknownParameter = 2,
        kJapaneseBadParity = 3,
        kSdmfStarted = 4,
        kJapaneseBadHeader = 40,
        kMdmfStarted = 128,
    };
    // OnVMWI statuses.
    enum VmwiStatus : std::int32_t { kVmwiOff = 0, kVmwiOn = 1, kVmwiBadChecksum = 2, kVmwiStarted = 4 };

    static constexpr std::uint8_t kTypeSdmf = 0x04;
    static constexpr std::uint8_t kTypeMessageWaiting = 0x06;
    static constexpr std::uint8_t kTypeMdmf = 0x80;
    static constexpr std::uint8_t kTypeMdmfMessageWaiting = 0x82;
    static constexpr std::uint8_t kNoMessage = 0xFF;
    static constexpr std::int32_t kHunting = 0x400;
    static constexpr int kJapaneseCapacity = 160;
    // Type, length, up to 255 data bytes, checksum, and one spare.
    static constexpr int kMessageCapacity = 255 + 4;
    // The message-waiting data words of "BBB" (on) and "ooo" (off).
    static constexpr std::int32_t kVmwiOnWord = 0x424242;
    static constexpr std::int32_t kVmwiOffWord = 0x6F6F6F;

    CDecCIDFMT();
    CDecCIDFMT(const CDecCIDFMT&) = delete;
    CDecCIDFMT& operator=(const CDecCIDFMT&) = delete;
    virtual ~CDecCIDFMT();

    // Forgets the message in progress and goes back to hunting for a start bit.
    virtual void ResetMessage();

    // Results, valid only during the call. Strings are NUL-terminated 8-bit texts or null;
    // raw points at the message bytes (their count in the high 16 bits of the status word).
    virtual void OnVMWI(std::int32_t status, std::int32_t data);
    virtual void OnCallerID(const char* name, const char* number, const char* dateTime,
                            const char* calledNumber, const std::uint8_t* raw, std::int32_t statusWord);

    // One message character of the standard formats. Returns -10 when it was taken into a
    // message, 0 when it started one, 10 when it was a first byte of no known type.
    virtual std::int32_t OnMessageByte(std::int32_t byte);
    // One character of the Japanese format; always -10.
    std::int32_t OnJapaneseByte(std::int32_t byte);

    // One demodulated bit. Returns 1 for a mark bit while hunting, -1 while a character is
    // in progress, or the byte routine's result when a character completes.
    std::int32_t OnCIDBit(std::int32_t bit, bool japanese);

    std::int32_t ShiftRegister() const { return m_shiftRegister; }
    std::int32_t ByteCount() const { return m_byteCount; }
    std::uint8_t MessageType() const { return m_messageType; }

private:
    // Where a string field of a message lands: a bounded copy with its terminator.
    struct Field {
        char text[256];
        bool present;
        void Set(const std::uint8_t* bytes, int count);
        const char* Get() const { return present ? text : nullptr; }
    };

    void CompleteMessage();
    void CompleteMessageWaiting(bool checksumRight);
    void CompleteMdmfMessageWaiting(bool checksumRight);
    void DecodeSdmf();
    void DecodeMdmf();
    void ReportUnknownParameter(std::uint8_t type, const std::uint8_t* data, int length);
    void CompleteJapanese();
    void DropJapanese(std::int32_t status);
    static bool EvenParity(std::uint8_t byte);
    static void FormatDate(const std::uint8_t* digits, char out[12]);

    std::int32_t m_byteCount = 0;
    std::uint8_t m_messageType = kNoMessage;
    // Sized for the longest message a length byte can announce, so nothing is allocated
    // while decoding; the length byte's arrival is marked instead.
    bool m_lengthKnown = false;
    std::uint8_t m_message[kMessageCapacity] = {};
    std::uint8_t m_japanese[kJapaneseCapacity] = {};
    std::int32_t m_japaneseLength = 0;
    std::int32_t m_shiftRegister = kHunting;
};
