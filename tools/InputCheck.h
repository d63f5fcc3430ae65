#pragma once

#include <optional>
#include <string>

// What the command tells a user about an input it cannot decode, in words they can act
// on ("x.wav: no such file", "x: is a directory"), ahead of the library's own wording.
class InputCheck {
public:
    // Inputs never handed to the decoder: an empty name, a directory, and anything that
    // is not a regular file (a named pipe with no writer would block the open for ever).
    // The reason, or none for a path the decoder may open.
    static std::optional<std::string> Refusal(const std::string& path);
    // Why the decoder could not read a file it was given, judged from the file itself.
    static std::string Explain(const std::string& path);
    // A wave file whose data chunk runs past the end of the file (a copy cut short): the
    // decoder reads the bytes present, and the command says the file is not whole. None
    // for anything else, and for a data size that only says "length unknown".
    static std::optional<std::string> Truncated(const std::string& path);
    // Whether the decoder takes the file for headerless PCM by its name (.raw, .pcm).
    static bool NamedRaw(const std::string& path);
    // "vornix: FILE: PLAIN: LIBRARY TEXT", the library's text left out when empty.
    static std::string Line(const std::string& path, const std::string& plain, const std::string& libraryText = {});
};
