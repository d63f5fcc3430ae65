#pragma once

// The bodies of the caller-ID fuzz targets, shared with the test that replays their seeds
// and regressions. Every message the framer or the whole decoder hands out is checked
// while it is delivered, since its records live only during the call: strings end within
// their buffers, raw message bytes are there and agree with the counts in the status word,
// and every status is one the receivers know. Reading each byte of every record also lets
// the address sanitizer see a record that points past its buffer.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoder/CBaseDecoder.h"
#include "decoder/DecoderMessages.h"
#include "fsk/CDecCIDFMT.h"

namespace fuzzharness {

// What a run saw: the first broken property (empty when none) and the messages that a
// receiver would act on.
struct CallerIdRun {
    std::string violation;
    int decodedCallerIds = 0;  // status 0
    int badChecksums = 0;      // status 1
    int vmwiIndications = 0;   // message waiting on or off
    bool Ok() const { return violation.empty(); }
};

// Buffer sizes behind the records: a field holds 255 characters and its terminator; the
// report of an unknown parameter spells out every data byte as ",XX" after its prefix.
constexpr std::size_t kFieldChars = 255;
constexpr char kUnknownPrefix[] = "Unknown MDMF parameter type : {";
constexpr std::size_t kUnknownPrefixChars = sizeof kUnknownPrefix - 1 + 2;  // and the type in hex
constexpr std::size_t kUnknownReportChars = kUnknownPrefixChars + 3 * 255 + 1;
// Type, length, up to 255 data bytes and the checksum.
constexpr std::uint32_t kStandardRawLimit = 258;
constexpr std::uint32_t kJapaneseRawLimit = CDecCIDFMT::kJapaneseCapacity;

// Checks every delivered message; with abortOnViolation (the fuzz targets) the first
// violation is printed and the process aborts inside the delivery, so the stack shows
// where the message came from.
class CallerIdChecker {
public:
    explicit CallerIdChecker(bool abortOnViolation) : m_abort(abortOnViolation) {}

    const CallerIdRun& Run() const { return m_run; }

    void Fail(const std::string& what) {
        if (m_abort) {
            std::fprintf(stderr, "caller-ID invariant broken: %s\n", what.c_str());
            std::abort();
        }
        if (m_run.violation.empty()) m_run.violation = what;
    }

    // Length of a string that must end within limit characters, read one byte at a time
    // so that nothing beyond its terminator is touched; limit + 1 when it runs on.
    static std::size_t BoundedLength(const char* text, std::size_t limit) {
        std::size_t n = 0;
        while (n <= limit && text[n] != '\0') ++n;
        return n;
    }

    void CheckField(const char* text, const char* what) {
        if (text == nullptr) return;
        const std::size_t n = BoundedLength(text, kFieldChars);
        if (n > kFieldChars) Fail(std::string(what) + " not terminated within 256 bytes");
        m_copy.assign(text, std::min(n, kFieldChars));
    }

    // The report of a parameter of unknown type: the prefix, then ",XX" for each data byte
    // and a closing brace.
    void CheckUnknownReport(const char* text) {
        if (text == nullptr) return Fail("unknown-parameter report without its text");
        const std::size_t n = BoundedLength(text, kUnknownReportChars);
        if (n > kUnknownReportChars) return Fail("unknown-parameter report runs past its buffer");
        const std::string report(text, n);
        if (n < kUnknownPrefixChars + 1 || report.rfind(kUnknownPrefix, 0) != 0 ||
            report.back() != '}' || (n - kUnknownPrefixChars - 1) % 3 != 0)
            Fail("unknown-parameter report malformed: " + report.substr(0, 80));
    }

    void CallerId(const char* name, const char* number, const char* dateTime, const char* called,
                  const std::uint8_t* raw, std::int32_t statusWord, bool japanese) {
        const std::int32_t status = statusWord & 0xFFFF;
        const std::uint32_t count = static_cast<std::uint32_t>(statusWord) >> 16;
        switch (status) {
            case CDecCIDFMT::kDecoded:
                ++m_run.decodedCallerIds;
                break;
            case CDecCIDFMT::kBadChecksum:
                ++m_run.badChecksums;
                break;
            case CDecCIDFMT::kUnknownParameter:
            case CDecCIDFMT::kJapaneseBadParity:
            case CDecCIDFMT::kSdmfStarted:
            case CDecCIDFMT::kJapaneseBadHeader:
            case CDecCIDFMT::kMdmfStarted:
                break;
            default:
                return Fail("unknown status " + std::to_string(status));
        }
        if (status == CDecCIDFMT::kUnknownParameter) {
            CheckUnknownReport(name);
        } else {
            CheckField(name, "name");
        }
        CheckField(number, "number");
        CheckField(dateTime, "date");
        CheckField(called, "called number");

        if (count > (japanese ? kJapaneseRawLimit : kStandardRawLimit))
            return Fail("raw byte count " + std::to_string(count) +
                        (japanese ? " (Japanese)" : " (standard)"));
        if (count == 0) return;
        if (raw == nullptr)
            return Fail("raw byte count " + std::to_string(count) + " without raw bytes");
        if (status != CDecCIDFMT::kDecoded && status != CDecCIDFMT::kBadChecksum)
            return Fail("raw bytes with status " + std::to_string(status));
        m_raw.assign(raw, raw + count);
        if (japanese) {
            // The length byte counts the parameters; eleven bytes of framing surround them.
            if (count < 8 || count != (m_raw[6] & 0x7Fu) + 11u)
                Fail("Japanese raw count " + std::to_string(count) + " disagrees with its length byte " +
                     std::to_string(count < 8 ? -1 : m_raw[6] & 0x7F));
            return;
        }
        // A standard message is type, length, data and checksum, and it is reported as
        // decoded exactly when its bytes add up to 0.
        if (count < 3 || count != m_raw[1] + 3u)
            return Fail("raw count disagrees with the length byte");
        if (m_raw[0] != CDecCIDFMT::kTypeSdmf && m_raw[0] != CDecCIDFMT::kTypeMdmf)
            return Fail("caller ID reported for message type " + std::to_string(m_raw[0]));
        unsigned sum = 0;
        for (std::uint8_t b : m_raw) sum += b;
        if (((sum & 0xFF) == 0) != (status == CDecCIDFMT::kDecoded))
            Fail("status disagrees with the checksum");
    }

    void Vmwi(std::int32_t status) {
        switch (status) {
            case CDecCIDFMT::kVmwiOff:
            case CDecCIDFMT::kVmwiOn:
                ++m_run.vmwiIndications;
                break;
            case CDecCIDFMT::kVmwiBadChecksum:
            case CDecCIDFMT::kVmwiStarted:
                break;
            default:
                Fail("unknown message-waiting status " + std::to_string(status));
        }
    }

private:
    bool m_abort;
    CallerIdRun m_run;
    // Where every record is copied, forcing each byte to be read.
    std::string m_copy;
    std::vector<std::uint8_t> m_raw;
};

// The framer and parser alone, with every message checked as it leaves.
class CheckedCallerIdFormat : public CDecCIDFMT {
public:
    explicit CheckedCallerIdFormat(CallerIdChecker& checker) : m_checker(checker) {}
    // Which parser the character being completed goes to; the checks differ.
    bool japanese = false;

    void OnCallerID(const char* name, const char* number, const char* dateTime, const char* called,
                    const std::uint8_t* raw, std::int32_t statusWord) override {
        m_checker.CallerId(name, number, dateTime, called, raw, statusWord, japanese);
    }
    void OnVMWI(std::int32_t status, std::int32_t) override { m_checker.Vmwi(status); }

private:
    CallerIdChecker& m_checker;
};

// Framer input. The first byte sets the mode in its low two bits:
//   0  a bit stream, eight bits a byte least significant first, for one parser: Japanese
//      when bit 2 is set, the other one after every reset (as the decoder goes from one
//      kind of reception to the other);
//   1  a bit stream of (bit, Japanese flag) pairs, four a byte: the flag may change on any
//      bit, which the framer's interface allows;
//   2  characters for the standard parser;
//   3  characters for the Japanese parser.
// Its top five bits n make the message restart after every 8·n input bytes (never for 0).
inline CallerIdRun RunCallerIdFormat(const std::uint8_t* data, std::size_t size,
                                     bool abortOnViolation) {
    CallerIdChecker checker(abortOnViolation);
    if (size < 1) return checker.Run();
    CheckedCallerIdFormat format(checker);
    const int mode = data[0] & 3;
    const std::size_t resetPeriod = 8u * (data[0] >> 3);
    format.japanese = mode == 3 || (mode == 0 && (data[0] & 4) != 0);
    // A count beyond the buffer of the parser that just took a character means a byte was
    // stored past it; said here too, so that builds without the sanitizers see it. Both
    // parsers keep one count, so it is checked against the Japanese buffer only right
    // after a Japanese character.
    const auto checkCount = [&](bool japaneseCharacter) {
        const std::int32_t limit =
            japaneseCharacter ? CDecCIDFMT::kJapaneseCapacity : CDecCIDFMT::kMessageCapacity;
        if (format.ByteCount() > limit)
            checker.Fail("byte count " + std::to_string(format.ByteCount()) + " beyond the " +
                         (japaneseCharacter ? "Japanese" : "message") + " buffer");
    };
    // What OnCIDBit returns when a character went to the Japanese parser (it takes all).
    constexpr std::int32_t kCharacterTaken = -10;
    for (std::size_t i = 1; i < size; ++i) {
        const std::uint8_t byte = data[i];
        switch (mode) {
            case 0:
                for (int b = 0; b < 8; ++b)
                    checkCount(format.OnCIDBit((byte >> b) & 1, format.japanese) ==
                                   kCharacterTaken &&
                               format.japanese);
                break;
            case 1:
                for (int b = 0; b < 8; b += 2) {
                    format.japanese = ((byte >> (b + 1)) & 1) != 0;
                    checkCount(format.OnCIDBit((byte >> b) & 1, format.japanese) ==
                                   kCharacterTaken &&
                               format.japanese);
                }
                break;
            case 2:
                format.OnMessageByte(byte);
                checkCount(false);
                break;
            default:
                format.OnJapaneseByte(byte);
                checkCount(true);
                break;
        }
        if (!checker.Run().Ok()) break;  // past a broken buffer nothing more is meaningful
        if (resetPeriod != 0 && i % resetPeriod == 0) {
            format.ResetMessage();
            if (mode == 0) format.japanese = !format.japanese;
        }
    }
    return checker.Run();
}

// The whole decoder on 16-bit mono PCM. The first byte picks the rate in its low three
// bits (8000, 11025, 16000, 44100 or 48000 Hz, by the value modulo 5) and turns the
// call-waiting search off with bit 7; the second seeds the sizes of the pieces the stream
// is fed in; the rest is the PCM.
inline CallerIdRun RunCallerIdAudio(const std::uint8_t* data, std::size_t size,
                                    bool abortOnViolation) {
    CallerIdChecker checker(abortOnViolation);
    if (size < 2) return checker.Run();
    static constexpr std::int32_t kRates[5] = {8000, 11025, 16000, 44100, 48000};
    const std::int32_t rate = kRates[(data[0] & 7) % 5];
    const bool callWaiting = (data[0] & 0x80) == 0;

    struct Context {
        CBaseDecoder decoder;
        CallerIdChecker* checker;
    };
    auto context = std::make_unique<Context>();
    context->checker = &checker;
    CBaseDecoder& decoder = context->decoder;
    const auto record = [](void* opaque, int msg, std::uint64_t wParam, std::int64_t lParam) {
        auto& c = *static_cast<Context*>(opaque);
        if (msg == DM_CALLERID) {
            const auto& strings = *reinterpret_cast<const CallerIDStrings*>(wParam);
            const auto& status = *reinterpret_cast<const CallerIDStatus*>(lParam);
            c.checker->CallerId(
                strings.szName, strings.szNumber, strings.szDataTime, strings.CalledIDNumber,
                strings.szRaw, status.iflag,
                c.decoder.CDecCIDEx::GetDetectorState() == CDecCIDEx::kReceivingJapanese);
        } else if (msg == DM_VMWI) {
            c.checker->Vmwi(reinterpret_cast<const VMWIInfo*>(wParam)->iFlag);
        }
    };
    decoder.SetHandle(DecoderEventProc{record, context.get()}, nullptr);
    if (decoder.SetParameters(rate, 16, -45.0f, CBaseDecoder::kMono) != S_OK) {
        checker.Fail("the decoder refused its setup");
        return checker.Run();
    }
    decoder.EnableXDec(DEC_CALLERID, 1);
    decoder.EnableXDec(DEC_CIDCW, 1);
    decoder.EnableXDec(DEC_VMWI, 1);
    decoder.SetCallWaiting(callWaiting);
    decoder.SetParameters2(1200, 1200.0f, 2200.0f);
    decoder.SetSampleRate(rate);

    // Piece sizes from a small generator, odd sizes included, so samples split across
    // buffers too.
    std::uint32_t state = 0x9E3779B9u ^ data[1];
    const std::uint32_t maxPiece = 1u + (data[1] % 16) * 257u;
    for (std::size_t at = 2; at < size;) {
        state = state * 1664525u + 1013904223u;
        const std::size_t n = std::min<std::size_t>(1 + (state >> 8) % maxPiece, size - at);
        if (decoder.InputData2(data + at, static_cast<int>(n)) != S_OK) {
            checker.Fail("the decoder refused a buffer");
            break;
        }
        at += n;
    }
    decoder.putSamples(nullptr, 0, 1);
    return checker.Run();
}

}  // namespace fuzzharness
