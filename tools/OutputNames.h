#pragma once

#include <optional>
#include <string>
#include <vector>

// Where vornix decode --output-dir writes each input's events: the input's path
// mirrored below the folder, with ".jsonl" added to its whole name, so inputs of the same
// name in different folders (a/call.wav, b/call.wav) and of the same stem in different
// formats (call.wav, call.mp3) get files of their own:
//   calls/a.wav      -> DIR/calls/a.wav.jsonl
//   /data/calls/a.wav -> DIR/data/calls/a.wav.jsonl   (an absolute path below DIR, its root dropped)
//   ../x/a.wav        -> the absolute path's mirror   (nothing is ever written above DIR)
// Paths are taken lexically ("./a.wav" is "a.wav"); links are not followed.
class OutputNames {
public:
    // The path below the folder for one input; none (with the reason) for a name that
    // names no file ("", ".", "dir/").
    static std::optional<std::string> Relative(const std::string& input, std::string& error);

    // The output of every input, in their order; none, with the reason, when one names
    // no file, when two inputs would share an output (the same file given twice, or
    // "a.wav" and "./a.wav"), or when one output would be the folder of another.
    static std::optional<std::vector<std::string>> ForAll(const std::string& folder, const std::vector<std::string>& inputs,
                                                          std::string& error);
};
