#include "synth/CallerIdGenerator.h"

#include <cmath>
#include <vector>

#include "synth/DtmfGenerator.h"
#include "synth/FskModulator.h"
#include "synth/SignalTimeline.h"

namespace {

FskModulator::Options FskOptions(const CallerIdGenerator::Options& o) {
    FskModulator::Options fsk;
    const bool bell = o.standard == CallerIdGenerator::Standard::kBell202;
    fsk.markHz = bell ? CallerIdGenerator::kBell202MarkHz : CallerIdGenerator::kV23MarkHz;
    fsk.spaceHz = bell ? CallerIdGenerator::kBell202SpaceHz : CallerIdGenerator::kV23SpaceHz;
    fsk.baud = CallerIdGenerator::kBaud;
    fsk.levelDbfs = o.levelDbfs;
    fsk.frequencyOffsetPercent = o.frequencyOffsetPercent;
    fsk.bitRateErrorPercent = o.bitRateErrorPercent;
    return fsk;
}

// The acknowledgement key: the D key's tone for ackMs, then the gap before the data.
DtmfGenerator AckGenerator(const CallerIdGenerator::Options& o) {
    DtmfGenerator::Options dtmf;
    dtmf.levelDbfs = o.ackLevelDbfs;
    dtmf.toneMs = o.ackMs;
    dtmf.gapMs = o.ackGapMs;
    return DtmfGenerator(dtmf);
}

}  // namespace

HRESULT CallerIdGenerator::Check(int sampleRate) const {
    const Options& o = m_options;
    const auto duration = [](double ms) { return std::isfinite(ms) && ms >= 0.0; };
    if (o.seizureBits < 0 || o.markBits < 0 || o.trailingMarkBits < 0 ||
        o.callWaitingMarkBits < 0 || o.japaneseMarkBits < 0)
        return E_INVALIDARG;
    if (!duration(o.leadMs) || !duration(o.alertMs) || !duration(o.ackDelayMs) ||
        !duration(o.ackMs) || !duration(o.ackGapMs) || !duration(o.ringMs) ||
        !duration(o.ringGapMs))
        return E_INVALIDARG;
    if (!std::isfinite(o.alertLevelDbfs) || !std::isfinite(o.ackLevelDbfs)) return E_INVALIDARG;
    if (o.standard != Standard::kBell202 && o.standard != Standard::kV23 &&
        o.standard != Standard::kJapanese)
        return E_INVALIDARG;
    if (FskModulator::Check(FskOptions(o), sampleRate) != S_OK) return E_INVALIDARG;
    if (o.callWaiting) {
        // The Japanese sequence starts with a ring; it has no off-hook form here.
        if (o.standard == Standard::kJapanese) return E_INVALIDARG;
        if (!(kAlertHighHz < sampleRate / 2.0)) return E_INVALIDARG;
    }
    return S_OK;
}

int CallerIdGenerator::PreambleMarkBits() const {
    if (m_options.standard == Standard::kJapanese) return m_options.japaneseMarkBits;
    return m_options.callWaiting ? m_options.callWaitingMarkBits : m_options.markBits;
}

std::size_t CallerIdGenerator::FskBits(std::size_t messageBytes) const {
    const bool seizure = m_options.standard != Standard::kJapanese && !m_options.callWaiting;
    return (seizure ? static_cast<std::size_t>(m_options.seizureBits) : 0) +
           static_cast<std::size_t>(PreambleMarkBits()) + messageBytes * FskModulator::kFrameBits +
           static_cast<std::size_t>(m_options.trailingMarkBits);
}

std::size_t CallerIdGenerator::SampleCount(int sampleRate, std::size_t messageBytes) const {
    const Options& o = m_options;
    const SignalTimeline scale(sampleRate);
    std::size_t samples = scale.SamplesForMs(o.leadMs);
    if (o.callWaiting)
        samples += scale.SamplesForMs(o.alertMs) + scale.SamplesForMs(o.ackDelayMs) +
                   scale.SamplesForMs(o.ackMs) + scale.SamplesForMs(o.ackGapMs);
    if (o.standard == Standard::kJapanese)
        samples += scale.SamplesForMs(o.ringMs) + scale.SamplesForMs(o.ringGapMs);
    // The modulator's clock: its last bit ends at round(bits · rate / bit rate).
    const double bitRate = kBaud * (1.0 + o.bitRateErrorPercent / 100.0);
    const double bits = static_cast<double>(FskBits(messageBytes));
    return samples + static_cast<std::size_t>(std::llround(bits * sampleRate / bitRate));
}

void CallerIdGenerator::AppendRing(SignalTimeline& timeline) const {
    const std::size_t samples = timeline.SamplesForMs(m_options.ringMs);
    const double rate = timeline.SampleRate();
    std::vector<float> ring(samples);
    for (std::size_t n = 0; n < samples; ++n) {
        // Position within the ring's cycle from the sample index, so long rings do not drift.
        const double cycle = std::fmod(kRingHz * static_cast<double>(n), rate) / rate;
        ring[n] = static_cast<float>(cycle < 0.5 ? kRingAmplitude : -kRingAmplitude);
    }
    timeline.AppendSamples(ring);
}

HRESULT CallerIdGenerator::Append(SignalTimeline& timeline,
                                  std::span<const std::uint8_t> message) const {
    // Check everything first, so bad options leave the timeline as it was.
    if (Check(timeline.SampleRate()) != S_OK) return E_INVALIDARG;
    const Options& o = m_options;
    timeline.Reserve(timeline.Size() + SampleCount(timeline.SampleRate(), message.size()));

    timeline.AppendSilence(timeline.SamplesForMs(o.leadMs));
    FskModulator fsk(FskOptions(o));
    if (o.standard == Standard::kJapanese) {
        AppendRing(timeline);
        timeline.AppendSilence(timeline.SamplesForMs(o.ringGapMs));
    } else if (o.callWaiting) {
        const SignalTimeline::Tone alert[2] = {{kAlertLowHz, o.alertLevelDbfs, 0.0},
                               {kAlertHighHz, o.alertLevelDbfs, 0.0}};
        timeline.AppendTones(alert, timeline.SamplesForMs(o.alertMs));
        timeline.AppendSilence(timeline.SamplesForMs(o.ackDelayMs));
        if (AckGenerator(o).AppendKey(timeline, 'D') != S_OK) return E_FAIL;  // checked above
    } else {
        fsk.AppendSeizure(timeline, static_cast<std::size_t>(o.seizureBits));
    }
    fsk.AppendMark(timeline, static_cast<std::size_t>(PreambleMarkBits()));
    fsk.AppendBytes(timeline, message);
    fsk.AppendMark(timeline, static_cast<std::size_t>(o.trailingMarkBits));
    return S_OK;
}
