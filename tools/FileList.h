#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

// The names of a --files-from list: one name per line, exactly as written (spaces are part
// of a name), a line end of "\r\n" taken as "\n" so lists written on Windows read the same.
// Empty lines are skipped, so a list may end with a blank line or be assembled from
// pieces. A name is a path, so a line holding a NUL byte, or longer than a path may be,
// is an error rather than a name.
class FileList {
public:
    // The longest line taken, in bytes (the longest path Linux opens).
    static constexpr std::size_t kLongestName = 4096;

    // The names in the list; none (with the reason, naming the line) when a line is not
    // a name.
    static std::optional<std::vector<std::string>> Read(std::istream& in, std::string& error);
};
