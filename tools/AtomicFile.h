#pragma once

#include <optional>
#include <string>
#include <string_view>

// Writes a file so that it exists under its name only whole: the text goes to a
// temporary file beside it (same folder, so the rename cannot cross file systems),
// which is flushed to the disk and then renamed over the name. A run cut short, even by
// a crash, leaves either the old file or the new one, never half of one; a file that
// exists under its final name is complete.
class AtomicFile {
public:
    // Writes text as path, making the folders above it. The reason on failure (the
    // temporary file is removed then).
    static std::optional<std::string> Write(const std::string& path, std::string_view text);
    // The temporary name path is written under first: hidden, and marked with the
    // process so two runs never write the same one.
    static std::string TemporaryName(const std::string& path);
};
