#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decoder/CBaseDecoder.h"

// The tone monitor with arbitrary definitions (any on-time, off-time, frequencies and
// limits, at any rate and block layout) and the MF, paging (any type) and information
// tone detectors, and the spectrum, frequency and silence detector under arbitrary settings,
// on arbitrary PCM fed in arbitrary pieces. Every accepted tone must have a block layout
// inside its bounds, every spectrum a size from 128 to 16384 and peaks in order.
namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    template <typename T>
    T Take() {
        T value{};
        const std::size_t n = std::min(sizeof(T), size);
        std::memcpy(&value, data, n);
        data += n;
        size -= n;
        return value;
    }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size};
    const std::int32_t rates[] = {8000, 11025, 16000, 44100, 48000, 2000, 96000};
    const std::int32_t rate = rates[in.Take<std::uint8_t>() % std::size(rates)];
    const auto layout = (in.Take<std::uint8_t>() & 1) ? CMonitorTones::BlockLayout::kRateScaled
                                                       : CMonitorTones::BlockLayout::kExact;
    CBaseDecoder decoder;
    decoder.SetHandle(DecoderEventProc{}, nullptr);
    if (decoder.SetParameters(rate, 16, -45.0f, CBaseDecoder::kMono) != S_OK) return 0;

    CMonitorTones& tones = decoder;
    tones.SetBlockLayout(layout);
    const int definitions = in.Take<std::uint8_t>() % 5;
    for (int i = 0; i < definitions; ++i) {
        const auto id = in.Take<std::uint32_t>();
        const auto onMs = in.Take<std::int32_t>();
        const auto offMs = in.Take<std::int32_t>();
        std::int32_t frequencies[4];
        for (auto& f : frequencies) f = in.Take<std::int16_t>();
        const double maxDb = in.Take<std::int8_t>();
        const double minDb = in.Take<std::int8_t>();
        tones.AddTone(id, onMs, offMs, frequencies, maxDb, minDb, 0.06f);
    }
    const std::int32_t scale = layout == CMonitorTones::BlockLayout::kRateScaled ? std::max(rate, 8000) : 8000;
    for (int i = 0; i < tones.ToneCount(); ++i) {
        const monitortone_tag& t = *tones.Tone(i);
        Check(t.blockLength >= 64 * scale / 8000 && t.blockLength <= 192 * scale / 8000 && t.onBlocks >= 1);
    }
    decoder.EnableXDec(DEC_MONITORTONES, 1);
    decoder.EnableXDec(DEC_MF, 1);
    decoder.EnableXDec(DEC_TONEPAGING, 1);
    decoder.EnableXDec(DEC_SIT, 1);
    static_cast<CMFDetector&>(decoder).SetBlockLayout(layout);
    static_cast<CZVEIDetector&>(decoder).SetBlockLayout(layout);
    static_cast<CSITDetector&>(decoder).SetBlockLayout(layout);
    static_cast<CMFDetector&>(decoder).SetParameters();
    static_cast<CSITDetector&>(decoder).SetParameters();
    static_cast<CZVEIDetector&>(decoder).SetParameters(static_cast<CZVEIDetector::ZVEI_TYPE>(in.Take<std::int32_t>()),
                                                       true, in.Take<std::int16_t>(), in.Take<std::int8_t>());
    // The spectrum, frequency and silence detector with any sizes, window, threshold and
    // minimum silence.
    decoder.EnableXDec(DEC_SPECTRUM, 1);
    decoder.EnableXDec(DEC_CUSTOMTONE, 1);
    CDetectToneFreqs& spectrum = decoder;
    const auto fftSize = in.Take<std::int32_t>();
    const auto maxTonesMs = in.Take<std::int16_t>();
    spectrum.SetParameters(fftSize, maxTonesMs);
    spectrum.SetWindowType(in.Take<std::int8_t>());
    spectrum.SetAmplitudeThreshold(in.Take<std::int8_t>());
    spectrum.SetSilenceBlocks(in.Take<std::int32_t>() >> (in.Take<std::uint8_t>() % 32));
    Check(spectrum.FFTSize() == 0 || (spectrum.FFTSize() >= 128 && spectrum.FFTSize() <= 16384));
    Check(spectrum.SegmentCapacity() <= 16384);
    while (in.size > 0) {
        const std::size_t piece = std::min<std::size_t>(in.size, 1 + in.Take<std::uint8_t>() * 16);
        decoder.InputData2(in.data, static_cast<int>(piece));
        in.data += piece;
        in.size -= piece;
    }
    decoder.putSamples(nullptr, 0, 1);
    double first = 0.0, second = 0.0;
    if (spectrum.GetCenterFreqs(&first, &second) == 0) Check(first > 0.0 && (second == 0.0 || second > first));
    spectrum.GetFreqDB(static_cast<float>(first));
    return 0;
}
