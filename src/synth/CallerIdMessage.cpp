#include "synth/CallerIdMessage.h"

#include <bit>

namespace {

constexpr std::size_t kMaxLength = 255;  // what one length byte can count
constexpr std::size_t kDateDigits = 8;

// The number parameter's type in the Japanese message, and the byte after DLE STX.
constexpr std::uint8_t kJapaneseNumber = 0x02;
constexpr std::uint8_t kJapaneseService = 0x40;
constexpr std::uint8_t kJapaneseHeader = 0x07;
// The Japanese length byte has seven bits of count under its parity bit, and the number's
// type and length take two of those.
constexpr std::size_t kJapaneseMaxNumber = 0x7F - 2;

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool IsAbsenceReason(char reason) {
    return reason == CallerIdMessage::kOutOfArea || reason == CallerIdMessage::kPrivate;
}

}  // namespace

bool CallerIdMessage::IsDate(std::string_view text) {
    if (text.size() != kDateDigits) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

std::uint8_t CallerIdMessage::Checksum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

void CallerIdMessage::CorruptChecksum(std::vector<std::uint8_t>& message) {
    if (!message.empty()) ++message.back();
}

std::uint8_t CallerIdMessage::EvenParity(std::uint8_t character) {
    const std::uint8_t seven = character & 0x7F;
    return std::popcount(seven) % 2 == 0 ? seven : static_cast<std::uint8_t>(seven | 0x80);
}

std::uint16_t CallerIdMessage::Crc16(std::span<const std::uint8_t> bytes) {
    // 0x8408 is 0x1021 (x^12 + x^5 + 1) bit-reversed, for bits taken least significant first.
    std::uint16_t crc = 0;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
    return crc;
}

HRESULT CallerIdMessage::Frame(std::uint8_t type, std::span<const std::uint8_t> data,
                               std::vector<std::uint8_t>& out) {
    if (data.size() > kMaxLength) return E_INVALIDARG;
    std::vector<std::uint8_t> message;
    message.reserve(data.size() + 3);
    message.push_back(type);
    message.push_back(static_cast<std::uint8_t>(data.size()));
    message.insert(message.end(), data.begin(), data.end());
    message.push_back(Checksum(message));
    out = std::move(message);
    return S_OK;
}

HRESULT CallerIdMessage::Sdmf(std::string_view date, std::string_view number,
                              std::vector<std::uint8_t>& out) {
    if (!IsDate(date)) return E_INVALIDARG;
    std::vector<std::uint8_t> data(date.begin(), date.end());
    data.insert(data.end(), number.begin(), number.end());
    return Frame(kSdmf, data, out);
}

HRESULT CallerIdMessage::Mdmf(std::span<const Parameter> parameters,
                              std::vector<std::uint8_t>& out) {
    // A parameter too long for its own length byte makes the body too long for the
    // message's, so Frame refuses it before the wrapped length could be sent.
    std::vector<std::uint8_t> data;
    for (const Parameter& p : parameters) {
        data.push_back(p.type);
        data.push_back(static_cast<std::uint8_t>(p.bytes.size()));
        data.insert(data.end(), p.bytes.begin(), p.bytes.end());
    }
    return Frame(kMdmf, data, out);
}

HRESULT CallerIdMessage::MdmfCaller(const Caller& caller, std::vector<std::uint8_t>& out) {
    if (caller.date && !IsDate(*caller.date)) return E_INVALIDARG;
    if ((caller.number && caller.numberAbsence) || (caller.name && caller.nameAbsence))
        return E_INVALIDARG;
    if ((caller.numberAbsence && !IsAbsenceReason(*caller.numberAbsence)) ||
        (caller.nameAbsence && !IsAbsenceReason(*caller.nameAbsence)))
        return E_INVALIDARG;

    std::vector<Parameter> parameters;
    const auto add = [&](std::uint8_t type, std::string_view text) {
        const auto bytes = Bytes(text);
        parameters.push_back({type, {bytes.begin(), bytes.end()}});
    };
    if (caller.date) add(kDateTime, *caller.date);
    if (caller.number) add(kNumber, *caller.number);
    if (caller.numberAbsence) add(kNumberAbsence, std::string_view(&*caller.numberAbsence, 1));
    if (caller.called) add(kCalledNumber, *caller.called);
    if (caller.name) add(kName, *caller.name);
    if (caller.nameAbsence) add(kNameAbsence, std::string_view(&*caller.nameAbsence, 1));
    return Mdmf(parameters, out);
}

HRESULT CallerIdMessage::MessageWaiting(bool on, std::vector<std::uint8_t>& out) {
    const std::uint8_t c = on ? 0x42 : 0x6F;  // 'B' or 'o'
    const std::uint8_t data[3] = {c, c, c};
    return Frame(kMessageWaiting, data, out);
}

HRESULT CallerIdMessage::MdmfMessageWaiting(bool on, std::optional<int> count,
                                            std::vector<std::uint8_t>& out) {
    if (count && (*count < 0 || *count > 255)) return E_INVALIDARG;
    std::vector<std::uint8_t> data = {kWaitingIndicator, 1, static_cast<std::uint8_t>(on ? 0xFF : 0x00)};
    if (count) data.insert(data.end(), {kMessageCount, 1, static_cast<std::uint8_t>(*count)});
    return Frame(kMdmfMessageWaiting, data, out);
}

HRESULT CallerIdMessage::Japanese(std::string_view number, std::vector<std::uint8_t>& out) {
    if (number.size() > kJapaneseMaxNumber) return E_INVALIDARG;
    for (char c : number)
        if (static_cast<unsigned char>(c) > 0x7F) return E_INVALIDARG;  // parity needs bit 7

    std::vector<std::uint8_t> message = {kDle, kSoh, kJapaneseHeader, kDle, kStx, kJapaneseService,
                                         static_cast<std::uint8_t>(number.size() + 2),
                                         kJapaneseNumber, static_cast<std::uint8_t>(number.size())};
    message.insert(message.end(), number.begin(), number.end());
    message.push_back(kDle);
    message.push_back(kEtx);
    for (std::uint8_t& b : message) b = EvenParity(b);

    const std::uint16_t crc = Crc16(std::span(message).subspan(2));
    message.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    message.push_back(static_cast<std::uint8_t>(crc >> 8));
    out = std::move(message);
    return S_OK;
}
