#pragma once

#include <cstddef>
#include <string>

#include "audio/WaveFormat.h"

// Display names of wave formats, in the wording the platform's codec manager uses
// ("CCITT A-Law", "8.000 kHz, 8 Bit, Mono"), for the formats the codec layer handles.

// Copies the name of the format's tag into text. Returns the text length, -1 when the
// format is not one the codec layer handles, -2 when text cannot hold the name and its
// terminator.
int GetFormatName(const WAVEFORMATEX* format, char* text, int textSize);

// Copies a description of the whole format (rate, bits, channels) into text; results
// as for GetFormatName.
int GetFormatDetail(const WAVEFORMATEX* format, char* text, int textSize);

// The name or the detail as a string; empty when not available.
std::string FormatNameText(const WAVEFORMATEX& format);
std::string FormatDetailText(const WAVEFORMATEX& format);
