#include "synth/SameGenerator.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "synth/FskModulator.h"
#include "synth/SignalTimeline.h"

namespace {

// The longest header a receiver must take: 31 locations.
constexpr std::size_t kMaxText = 252;

FskModulator::Options FskOptions(const SameGenerator::Options& o) {
    FskModulator::Options fsk;
    fsk.markHz = SameGenerator::kMarkHz;
    fsk.spaceHz = SameGenerator::kSpaceHz;
    fsk.baud = SameGenerator::kBaud;
    fsk.levelDbfs = o.levelDbfs;
    fsk.frequencyOffsetPercent = o.frequencyOffsetPercent;
    fsk.bitRateErrorPercent = o.bitRateErrorPercent;
    return fsk;
}

template <typename Test>
bool AllOf(std::string_view text, std::size_t length, Test test) {
    if (text.size() != length) return false;
    for (char c : text)
        if (!test(static_cast<unsigned char>(c))) return false;
    return true;
}

bool IsUpper(unsigned char c) {
    return c >= 'A' && c <= 'Z';
}

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

bool IsUpperOrDigit(unsigned char c) {
    return IsUpper(c) || IsDigit(c);
}

bool IsSenderCharacter(unsigned char c) {
    return c > 0x20 && c < 0x7F && c != '-';
}

bool ValidDuration(double ms) {
    return std::isfinite(ms) && ms >= 0.0;
}

// Bytes of one burst, each as eight bits least significant first.
void AppendBurstBits(std::vector<std::uint8_t>& bits, std::string_view text) {
    bits.clear();
    const auto add = [&bits](unsigned char byte) {
        for (int i = 0; i < 8; ++i) bits.push_back(static_cast<std::uint8_t>((byte >> i) & 1));
    };
    for (int i = 0; i < SameGenerator::kPreambleBytes; ++i) add(SameGenerator::kPreambleByte);
    for (char c : text) add(static_cast<unsigned char>(c));
}

}  // namespace

HRESULT SameGenerator::FormatHeader(const Header& h, std::string& text) {
    text.clear();
    std::string_view duration = h.duration;
    if (!duration.empty() && duration.front() == '+') duration.remove_prefix(1);
    if (!AllOf(h.originator, 3, IsUpper) || !AllOf(h.event, 3, IsUpperOrDigit) ||
        !AllOf(duration, 4, IsDigit) || !AllOf(h.issued, 7, IsDigit) ||
        !AllOf(h.sender, 8, IsSenderCharacter) || h.locations.empty() || h.locations.size() > 31)
        return E_INVALIDARG;
    for (const std::string& location : h.locations)
        if (!AllOf(location, 6, IsDigit)) return E_INVALIDARG;
    std::string out = "ZCZC-" + h.originator + "-" + h.event + "-";
    for (std::size_t i = 0; i < h.locations.size(); ++i) out += (i > 0 ? "-" : "") + h.locations[i];
    out += "+" + std::string(duration) + "-" + h.issued + "-" + h.sender + "-";
    text = std::move(out);
    return S_OK;
}

bool SameGenerator::IsBurstText(std::string_view text) {
    if (text.empty() || text.size() > kMaxText) return false;
    for (char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

HRESULT SameGenerator::Check(int sampleRate) const {
    const Options& o = m_options;
    if (!ValidDuration(o.leadMs) || !ValidDuration(o.burstGapMs) || !ValidDuration(o.messageGapMs) ||
        !ValidDuration(o.trailMs))
        return E_INVALIDARG;
    return FskModulator::Check(FskOptions(o), sampleRate);
}

std::size_t SameGenerator::SampleCount(int sampleRate, std::size_t headerBytes) const {
    const Options& o = m_options;
    const SignalTimeline scale(sampleRate);
    std::size_t silence = scale.SamplesForMs(o.leadMs) + scale.SamplesForMs(o.trailMs) +
                          (kCopies - 1) * scale.SamplesForMs(o.burstGapMs);
    std::size_t bits = kCopies * 8 * (kPreambleBytes + headerBytes);
    if (o.endOfMessage) {
        silence += scale.SamplesForMs(o.messageGapMs) + (kCopies - 1) * scale.SamplesForMs(o.burstGapMs);
        bits += kCopies * 8 * (kPreambleBytes + std::strlen(kEndOfMessage));
    }
    const double bitRate = FskModulator(FskOptions(o)).BitRate();
    return silence + static_cast<std::size_t>(std::llround(static_cast<double>(bits) * sampleRate / bitRate));
}

HRESULT SameGenerator::Append(SignalTimeline& timeline, std::string_view header) const {
    if (!IsBurstText(header) || Check(timeline.SampleRate()) != S_OK) return E_INVALIDARG;
    const Options& o = m_options;
    timeline.Reserve(timeline.Size() + SampleCount(timeline.SampleRate(), header.size()));
    timeline.AppendSilence(timeline.SamplesForMs(o.leadMs));

    FskModulator fsk(FskOptions(o));
    std::vector<std::uint8_t> bits;
    const auto sendThrice = [&](std::string_view text) {
        AppendBurstBits(bits, text);
        for (int copy = 0; copy < kCopies; ++copy) {
            if (copy > 0) timeline.AppendSilence(timeline.SamplesForMs(o.burstGapMs));
            fsk.AppendBits(timeline, bits);  // checked above
        }
    };
    sendThrice(header);
    if (o.endOfMessage) {
        timeline.AppendSilence(timeline.SamplesForMs(o.messageGapMs));
        sendThrice(kEndOfMessage);
    }
    timeline.AppendSilence(timeline.SamplesForMs(o.trailMs));
    return S_OK;
}
