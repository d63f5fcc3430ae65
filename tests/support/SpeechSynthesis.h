#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Speech for talk-off tests: espeak-ng reads a text, sox resamples it to 8000 Hz 16-bit
// little-endian mono PCM.
namespace speech {

// Whether espeak-ng and sox are both installed.
bool ToolsAvailable();

// Reads text in a voice at a speed (words per minute) and pitch (0-99), through any extra
// sox effects (for example "vol 0.5"). The text goes through textFile, so no quoting of
// it is needed. false, with pcm empty or partial, when a tool failed or said nothing.
bool Speak(const std::filesystem::path& textFile, const std::string& voice, int wordsPerMinute, int pitch,
           const std::string& soxEffects, const char* text, std::vector<unsigned char>& pcm);

}  // namespace speech
