#include "BenchDecoder.h"

#include <algorithm>

#include "decoder/CBaseDecoder.h"

void SwitchOnDtmf(CBaseDecoder& decoder, float rows[4], float cols[4]) {
    decoder.EnableXDec(DEC_DTMF, 1);
    CDecDTMF::GetDefaultFreqs(rows, cols);
    decoder.SetFreqs(rows, cols);
    decoder.SetTwist(0.0f, 0.0f);
    decoder.CDecDTMF::SetParameters(-65.0f, 12.0f, 40, 40, 15.1f, 1.2f, -1);
}

void FeedInBuffers(CBaseDecoder& decoder, const std::vector<unsigned char>& pcm, std::size_t bufferBytes) {
    for (std::size_t at = 0; at < pcm.size(); at += bufferBytes) {
        const int n = static_cast<int>(std::min(bufferBytes, pcm.size() - at));
        decoder.InputData2(pcm.data() + at, n);
    }
    decoder.putSamples(nullptr, 0, 1);
}
