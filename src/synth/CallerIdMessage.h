#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HResult.h"

// The bytes of caller-ID and message-waiting messages, ready for FskModulator::AppendBytes.
//
// Every message except the Japanese one is: type, length L, L data bytes, checksum. The
// checksum is the two's complement of the sum of the other bytes, so all bytes of a sound
// message add up to 0 modulo 256. Single-message formats carry fixed fields; multiple-message
// formats carry a list of parameters, each a type, a length P and P bytes. Text goes as it
// is given: a name may hold bytes above 0x7F, which a receiver must pass through.
//
// The Japanese message is framed by link-control characters and carries 7-bit characters
// with even parity in bit 7; see Japanese.
//
// Every builder replaces out and returns S_OK, or returns E_INVALIDARG with out untouched
// when the message cannot be built: a date that is not eight digits, a field or message
// longer than its length byte can count, contradicting or unknown field values.
class CallerIdMessage {
public:
    // Message types.
    static constexpr std::uint8_t kSdmf = 0x04;
    static constexpr std::uint8_t kMessageWaiting = 0x06;
    static constexpr std::uint8_t kMdmf = 0x80;
    static constexpr std::uint8_t kMdmfMessageWaiting = 0x82;

    // Parameter types of the multiple-message formats.
    static constexpr std::uint8_t kDateTime = 0x01;
    static constexpr std::uint8_t kNumber = 0x02;
    static constexpr std::uint8_t kCalledNumber = 0x03;
    static constexpr std::uint8_t kNumberAbsence = 0x04;
    static constexpr std::uint8_t kName = 0x07;
    static constexpr std::uint8_t kNameAbsence = 0x08;
    static constexpr std::uint8_t kWaitingIndicator = 0x0B;
    static constexpr std::uint8_t kMessageCount = 0x0D;

    // Reasons a number or a name is missing.
    static constexpr char kOutOfArea = 'O';
    static constexpr char kPrivate = 'P';

    // The Japanese message's link-control characters, before parity.
    static constexpr std::uint8_t kDle = 0x10;
    static constexpr std::uint8_t kSoh = 0x01;
    static constexpr std::uint8_t kStx = 0x02;
    static constexpr std::uint8_t kEtx = 0x03;

    struct Parameter {
        std::uint8_t type = 0;
        std::vector<std::uint8_t> bytes;
    };

    // The fields of a multiple-message caller ID; those left empty are not sent. A number
    // and a reason for its absence contradict each other, and so do a name and its reason.
    struct Caller {
        std::optional<std::string> date;  // MMDDHHMM
        std::optional<std::string> number;
        std::optional<std::string> name;
        std::optional<std::string> called;
        std::optional<char> numberAbsence;  // kOutOfArea or kPrivate
        std::optional<char> nameAbsence;    // kOutOfArea or kPrivate
    };

    // Single-message caller ID: the date (MMDDHHMM, eight digits) then the number. A number
    // of "O" or "P" is how this format says that the number is out of area or private.
    static HRESULT Sdmf(std::string_view date, std::string_view number,
                        std::vector<std::uint8_t>& out);
    // Multiple-message caller ID from parameters in the order given (any types, none
    // checked beyond their lengths).
    static HRESULT Mdmf(std::span<const Parameter> parameters, std::vector<std::uint8_t>& out);
    // Multiple-message caller ID in the usual order: date, number or its absence, called
    // number, name or its absence.
    static HRESULT MdmfCaller(const Caller& caller, std::vector<std::uint8_t>& out);
    // Single-message waiting indicator: "BBB" switches the lamp on, "ooo" off.
    static HRESULT MessageWaiting(bool on, std::vector<std::uint8_t>& out);
    // Multiple-message waiting indicator, with the count of waiting messages (0..255) when
    // one is given.
    static HRESULT MdmfMessageWaiting(bool on, std::optional<int> count,
                                      std::vector<std::uint8_t>& out);
    // Japanese caller ID carrying the number (7-bit characters, at most 125):
    //   DLE SOH 0x07 DLE STX 0x40 L parameters DLE ETX CRC-low CRC-high
    // where the parameters are the number's type (0x02), its length and its characters, and
    // L counts the parameter bytes only, so the message has L + 11 bytes. Every byte but the
    // two check bytes carries even parity in bit 7. The check bytes are a 16-bit CRC of the
    // bytes after DLE SOH through ETX (see Crc16).
    static HRESULT Japanese(std::string_view number, std::vector<std::uint8_t>& out);

    // Two's complement of the sum of bytes: the byte that makes the sum 0 modulo 256.
    static std::uint8_t Checksum(std::span<const std::uint8_t> bytes);
    // Adds 1 to the last byte, the checksum of the formats that have one, so that a
    // receiver must reject the message. Nothing for an empty message.
    static void CorruptChecksum(std::vector<std::uint8_t>& message);
    // The 7-bit character with bit 7 set when that makes the count of 1 bits even.
    static std::uint8_t EvenParity(std::uint8_t character);
    // CRC with the polynomial x^16 + x^12 + x^5 + 1, bits least significant first, starting
    // from 0 and not inverted at the end.
    static std::uint16_t Crc16(std::span<const std::uint8_t> bytes);

    // True when text is exactly eight ASCII digits.
    static bool IsDate(std::string_view text);

private:
    // type, length, data, checksum; E_INVALIDARG when data is longer than 255 bytes.
    static HRESULT Frame(std::uint8_t type, std::span<const std::uint8_t> data,
                         std::vector<std::uint8_t>& out);
};
