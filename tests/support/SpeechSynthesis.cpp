#include "support/SpeechSynthesis.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace speech {

bool ToolsAvailable() {
    return std::system("command -v espeak-ng >/dev/null 2>&1 && command -v sox >/dev/null 2>&1") == 0;
}

bool Speak(const std::filesystem::path& textFile, const std::string& voice, int wordsPerMinute, int pitch,
           const std::string& soxEffects, const char* text, std::vector<unsigned char>& pcm) {
    std::ofstream(textFile) << text;
    const std::string command = "espeak-ng --stdout -v " + voice + " -s " + std::to_string(wordsPerMinute) + " -p " +
                                std::to_string(pitch) + " -f '" + textFile.string() +
                                "' 2>/dev/null | sox -D -t wav - -t raw -r 8000 -e signed-integer -b 16 -c 1 -L - " +
                                soxEffects + " 2>/dev/null";
    pcm.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    unsigned char chunk[16384];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) pcm.insert(pcm.end(), chunk, chunk + n);
    pcm.resize(pcm.size() & ~std::size_t{1});
    return pclose(pipe) == 0 && !pcm.empty();
}

}  // namespace speech
