#include "FileList.h"

std::optional<std::vector<std::string>> FileList::Read(std::istream& in, std::string& error) {
    std::vector<std::string> names;
    std::string line;
    std::size_t number = 0;
    for (;;) {
        // Read a character at a time up to the bound, so a list without line ends
        // (a binary file given by mistake) cannot fill the memory.
        line.clear();
        bool ended = false, tooLong = false;
        for (std::streambuf* buffer = in.rdbuf(); buffer != nullptr;) {
            const int c = buffer->sbumpc();
            if (c == std::char_traits<char>::eof()) break;
            if (c == '\n') {
                ended = true;
                break;
            }
            if (line.size() > kLongestName) {
                tooLong = true;
                continue;
            }
            line.push_back(static_cast<char>(c));
        }
        if (!ended && line.empty()) break;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (tooLong || line.size() > kLongestName) {
            error = "line " + std::to_string(number) + " is longer than " + std::to_string(kLongestName) +
                    " bytes, longer than any file name";
            return std::nullopt;
        }
        if (line.find('\0') != std::string::npos) {
            error = "line " + std::to_string(number) + " holds a NUL byte, which no file name can";
            return std::nullopt;
        }
        if (!line.empty()) names.push_back(line);
        if (!ended) break;
    }
    return names;
}
