#pragma once

#include <cstddef>
#include <vector>

class CBaseDecoder;

// The set-up and feeding every decoder benchmark shares.

// Switches DTMF on with the control object's defaults (standard tables, built-in twist,
// -65 dB, energy 12, 40 ms keys and gaps, the harmonic limits, the relative peak test).
// rows and cols must live as long as the decoder uses them.
void SwitchOnDtmf(CBaseDecoder& decoder, float rows[4], float cols[4]);

// Feeds pcm through InputData2 in buffers of bufferBytes, then the last partial block.
void FeedInBuffers(CBaseDecoder& decoder, const std::vector<unsigned char>& pcm, std::size_t bufferBytes);
