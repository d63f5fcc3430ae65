// The SAME decoder's byte assembly on arbitrary bit streams. Every report is checked while
// it is delivered: texts end within their 200 bytes, states are the seven a message can
// reach and follow each other as a message does (a restart only after a debug text or a
// confirmed header), the headers of one message are the same text and end with their
// last '-', markers read "NNNN", and the confirmed header is the first one, at state 8.
// After every bit the assembly's own counts stay in range. A broken property aborts
// inside the delivery that broke it.
//
// Input: the first byte chooses the coding of the rest.
// - Even: every byte is eight bits, least significant first.
// - Odd: every byte is two 4-bit symbols: 0-5 the bit 0, 6-11 the bit 1, 12 the level -1
//   and 13 the level 2 (what the demodulator hands on after a byte 0 made it lock again
//   in the middle of a run), 14 and 15 a burst end (a block of mark tone, then a quiet
//   block).
// The seeds in fuzz/corpus/same_assembly are whole messages and each way a message fails,
// in both codings.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fsk/CDecSAME.h"
#include "platform/DebugOutput.h"
#include "sample/CSample.h"

namespace {

constexpr int kRate = 8000;
constexpr int kBlock = 100;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "SAME invariant broken: %s\n", what.c_str());
    std::abort();
}

std::size_t BoundedLength(const char* text) {
    std::size_t n = 0;
    while (n < static_cast<std::size_t>(CDecSAME::kTextCapacity) && text[n] != '\0') ++n;
    if (n == static_cast<std::size_t>(CDecSAME::kTextCapacity)) Fail("text not terminated within 200 bytes");
    return n;
}

class CheckedDecoder : public CDecSAME {
public:
    void OnSAMEelement(std::int32_t state, const char* text, std::int32_t) override {
        if (text == nullptr) Fail("element without text");
        const std::string t(text, BoundedLength(text));
        switch (state) {
            case kText1:
                if (m_last != 0) Fail("first header after state " + std::to_string(m_last));
                CheckHeader(t);
                m_header = t;
                break;
            case kText2:
            case kText3:
            case kWarnAlarm:
                if (m_last != state - 1) Fail("header " + std::to_string(state) + " after " + std::to_string(m_last));
                if (t != m_header) Fail("header differs from the first: " + t);
                break;
            case kEndOfMessage1:
            case kEndOfMessage2:
            case kEndOfMessage3: {
                const bool follows = state == kEndOfMessage1 ? (m_last == kText3 || m_last == kWarnAlarm)
                                                             : m_last == state - 1;
                if (!follows) Fail("marker " + std::to_string(state) + " after " + std::to_string(m_last));
                if (t != "NNNN") Fail("marker text " + t);
                break;
            }
            default:
                Fail("state " + std::to_string(state));
        }
        m_last = state;
    }

    void OnRawSAME(const char* header, std::int32_t) override {
        if (header == nullptr) Fail("confirmed header without text");
        if (m_last != kEndOfMessage3) Fail("confirmed header after state " + std::to_string(m_last));
        if (std::string(header, BoundedLength(header)) != m_header) Fail("confirmed header is not the first");
        m_last = 0;
    }

    void Debug(const char* text) {
        const std::string t = text;
        if (t == "\nPreamble detected not the same!") {
            if (m_last < kText1 || m_last > kText3) Fail("differing header reported after state " + std::to_string(m_last));
        } else if (t == "\nIt should collect three copy of the preamble.") {
            if (m_last >= kText3) Fail("early marker reported after state " + std::to_string(m_last));
        } else {
            Fail("unknown debug text: " + t);
        }
        m_last = 0;
    }

    void CheckState() const {
        if (CharacterCount() < 0 || CharacterCount() > kMaxCharacters) Fail("character count " + std::to_string(CharacterCount()));
        const std::int32_t b = BurstCount();
        if (b < 0 || b == 5 || b > kEndOfMessage2) Fail("burst count " + std::to_string(b));
        if (b != m_last) Fail("burst count " + std::to_string(b) + " but last state " + std::to_string(m_last));
        if (ByteRegister() < 1 || ByteRegister() > 0x1FF) Fail("byte register " + std::to_string(ByteRegister()));
    }

private:
    static void CheckHeader(const std::string& t) {
        if (t.size() < 5 || t.compare(0, 4, "ZCZC") != 0) Fail("header " + t);
        for (unsigned char c : t)
            if (c == 0 || c > 0x80) Fail("header holds byte " + std::to_string(c));
        // Cut after its last '-': a header that has one ends with it.
        if (t.find('-') != std::string::npos && t.back() != '-') Fail("header not cut after its last '-': " + t);
    }

    std::int32_t m_last = 0;
    std::string m_header;
};

CheckedDecoder* g_decoder = nullptr;

void EndBurst(CheckedDecoder& d) {
    static float tone[kBlock];
    static float quiet[kBlock];
    static bool made = false;
    if (!made) {
        for (int i = 0; i < kBlock; ++i) tone[i] = static_cast<float>(0.5 * std::sin(6.283185307179586 * 2083.3 * i / kRate));
        made = true;
    }
    d.OnSampleData(tone, kBlock, 1.0, 0.125);
    d.OnSampleData(quiet, kBlock, 0.0, 0.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    CSample sample;
    sample.SetAudioParameters(32, kRate, -45.0f, kBlock);
    CheckedDecoder decoder;
    decoder.SetSample(&sample);
    decoder.SetParameters(kRate, 1562.5f, 2083.3f, 520.83f);
    g_decoder = &decoder;
    static const bool hooked = [] {
        SetDebugOutputHook([](const char* text) {
            if (g_decoder != nullptr) g_decoder->Debug(text);
        });
        return true;
    }();
    (void)hooked;

    const bool symbols = (data[0] & 1) != 0;
    for (std::size_t i = 1; i < size; ++i) {
        if (!symbols) {
            for (int b = 0; b < 8; ++b) {
                decoder.OnBit((data[i] >> b) & 1, 0);
                decoder.CheckState();
            }
            continue;
        }
        for (const int symbol : {data[i] & 0x0F, data[i] >> 4}) {
            if (symbol < 12) {
                decoder.OnBit(symbol < 6 ? 0 : 1, 0);
            } else if (symbol == 12) {
                decoder.OnBit(-1, 0);
            } else if (symbol == 13) {
                decoder.OnBit(2, 0);
            } else {
                EndBurst(decoder);
            }
            decoder.CheckState();
        }
    }
    g_decoder = nullptr;
    return 0;
}
