#include "fsk/CDecSAME.h"

#include <cmath>
#include <cstring>

#include "platform/DebugOutput.h"

namespace {

constexpr char kHeaderStart[] = "ZCZC";
constexpr char kEndOfMessage[] = "NNNN";
// Both burst kinds are recognised from their first four characters.
constexpr std::int32_t kBurstTag = 4;
// Bytes above this (the preamble's 0xAB among them) are no characters: they end a header.
constexpr std::int32_t kHighestCharacter = 0x80;
constexpr std::int32_t kMarkerBit = 0x100;

}  // namespace

CDecSAME::CDecSAME() { Reset(true); }
CDecSAME::~CDecSAME() = default;

void CDecSAME::Reset(bool clearBurstCount) {
    m_syncRegister = 0;
    m_characterCount = 0;
    m_synchronised = false;
    if (clearBurstCount) m_burstCount = 0;
}

HRESULT CDecSAME::SetParameters(std::int32_t sampleRate, float spaceFreq, float markFreq, float baudRate) {
    if (Sample() == nullptr) return E_FAIL;
    // A new run may fall between the bursts of one message: the burst count stays.
    Reset(false);
    m_sampleRate = sampleRate;
    m_spaceFreq = spaceFreq;
    m_markFreq = markFreq;
    m_baudRate = baudRate;
    m_inBurst = false;
    return CDecAFSK::SetParameters(sampleRate, spaceFreq, markFreq, baudRate);
}

std::int32_t CDecSAME::OnSampleData(const float* samples, int count, double meanAbsDiff, double) {
    if (meanAbsDiff > static_cast<double>(GetSilenceLevel())) {
        Demodulate(samples, count);
        m_inBurst = WindowLength() > 0;  // an unconfigured demodulator has nothing to end
    } else if (m_inBurst) {
        m_inBurst = false;
        EndBurst();
    }
    return 0;
}

void CDecSAME::EndOfStream() {
    if (!m_inBurst) return;
    m_inBurst = false;
    EndBurst();
}

void CDecSAME::EndBurst() {
    // The demodulator decides a run only at the next transition, and the quiet blocks
    // that follow a burst never reach it: the burst's last character would wait for the
    // next burst, its last run merged with that burst's first bits. Decide the run now.
    // A transition is accepted part of a bit after the tone changed, so the last run is
    // short by that much (and long by the quiet samples that ended the last block): it
    // is counted up to whole bits. What it adds after the last character is less than a
    // byte at every rate (a block is at most 6.4 bits at 8 kHz) and is dropped below.
    const std::int32_t level = CurrentLevel();
    if ((level == 0 || level == 1) && RunLength() > 0) {
        const auto bits = static_cast<std::int32_t>(
            std::ceil(static_cast<double>(static_cast<float>(RunLength()) / SamplesPerBit())));
        for (std::int32_t i = 0; i < bits; ++i) OnBit(level, m_samplePos);
    }
    // The silence ends the burst as eight bits of space would: a header is complete, a
    // shorter burst is dropped, and the next one needs its own preamble.
    if (m_synchronised && m_characterCount > kBurstTag) {
        EndHeader(Position());
    } else {
        Reset(false);
    }
    // The next burst is locked on afresh, its first run counted from its own start.
    CDecAFSK::SetParameters(m_sampleRate, m_spaceFreq, m_markFreq, m_baudRate);
}

void CDecSAME::OnBit(std::int32_t level, std::uint32_t) {
    if (!m_synchronised) {
        // The level joins as an integer: the -1 of a demodulator told to lock again in
        // the middle of a run fills the register with ones, so the preamble must then be
        // seen whole again.
        m_syncRegister = (m_syncRegister << 1) | static_cast<std::uint64_t>(static_cast<std::int64_t>(level));
        if (m_syncRegister == kPreamblePattern) {
            m_synchronised = true;
            m_characterCount = 0;
            m_byteRegister = kEmptyByte;
        }
        return;
    }
    // Bits enter at the top; the marker that started at bit 8 reaches bit 0 with the
    // eighth, and the first bit received is then the byte's least significant.
    m_byteRegister = (m_byteRegister >> 1) | (level != 0 ? kMarkerBit : 0);
    if ((m_byteRegister & 1) != 0) {
        OnSAMEChar(m_byteRegister >> 1);
        m_byteRegister = kEmptyByte;
    }
}

void CDecSAME::OnSAMEChar(std::int32_t byte) {
    const std::int32_t position = Position();
    if (byte == 0) {
        // Eight bits of space or silence: the burst is over and the demodulator must find
        // the next one's tone afresh.
        m_level = -1;
        m_synchronised = false;
    }
    if (byte == 0 || byte > kHighestCharacter) {
        if (m_characterCount > kBurstTag) EndHeader(position);
        return;
    }

    m_text[m_characterCount++] = static_cast<char>(byte);
    if (m_characterCount == kBurstTag) {
        if (std::memcmp(m_text, kEndOfMessage, kBurstTag) == 0) {
            m_text[kBurstTag] = '\0';
            EndMessage(position);
            return;
        }
        if (std::memcmp(m_text, kHeaderStart, kBurstTag) != 0) {
            Reset(false);  // neither kind of burst: wait for the next preamble
            return;
        }
    }
    if (m_characterCount >= kMaxCharacters) {
        m_text[kMaxCharacters] = '\0';
        EndHeader(position);
    }
}

void CDecSAME::EndHeader(std::int32_t position) {
    // Nothing marks the end of a header on the line; what follows its last '-' is the
    // demodulator's reading of the end of the burst and the start of the next preamble.
    m_text[m_characterCount] = '\0';
    for (std::int32_t i = m_characterCount - 1; i >= 1; --i) {
        if (m_text[i] == '-') {
            m_text[i + 1] = '\0';
            break;
        }
    }

    if (m_burstCount < kWarnAlarm) {
        if (m_burstCount == 0) {
            std::memcpy(m_savedHeader, m_text, sizeof m_savedHeader);
            m_hasSavedHeader = true;
        } else if (std::strcmp(m_text, m_savedHeader) != 0) {
            DebugOutput("\nPreamble detected not the same!");
            Reset(true);
            return;
        }
        ++m_burstCount;
        OnSAMEelement(m_burstCount, m_text, position);
        m_text[0] = '\0';
    }
    // A header after the fourth, or after a marker, is not part of this message.
    Reset(false);
}

void CDecSAME::EndMessage(std::int32_t position) {
    if (m_burstCount < kText3) {
        DebugOutput("\nIt should collect three copy of the preamble.");
        Reset(true);
        return;
    }
    m_burstCount = m_burstCount < kEndOfMessage1 ? kEndOfMessage1 : m_burstCount + 1;
    OnSAMEelement(m_burstCount, m_text, position);
    if (m_burstCount == kEndOfMessage3 && m_hasSavedHeader) {
        OnRawSAME(m_savedHeader, position);
        Reset(true);
        return;
    }
    // Each marker is a burst of its own behind its own preamble: start looking for the
    // next one rather than assembling whatever follows this one.
    Reset(false);
}

void CDecSAME::OnRawSAME(const char*, std::int32_t) {}
void CDecSAME::OnSAMEelement(std::int32_t, const char*, std::int32_t) {}
