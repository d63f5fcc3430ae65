#include "OutputNames.h"

#include <filesystem>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

std::optional<std::string> OutputNames::Relative(const std::string& input, std::string& error) {
    fs::path path = fs::path(input).lexically_normal();
    // "../x" would climb out of the folder: the absolute path stands for it instead.
    if (path.is_relative() && !path.empty() && *path.begin() == "..") {
        std::error_code ignored;
        path = (fs::current_path(ignored) / path).lexically_normal();
    }
    if (path.is_absolute()) path = path.relative_path();
    if (path.empty() || !path.has_filename() || path.filename() == "." || path.filename() == "..") {
        error = "'" + input + "' names no file to write the events of";
        return std::nullopt;
    }
    return path.string() + ".jsonl";
}

std::optional<std::vector<std::string>> OutputNames::ForAll(const std::string& folder,
                                                            const std::vector<std::string>& inputs, std::string& error) {
    std::vector<std::string> outputs;
    outputs.reserve(inputs.size());
    std::map<std::string, std::size_t> byOutput;  // relative output -> its input
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::optional<std::string> relative = Relative(inputs[i], error);
        if (!relative) return std::nullopt;
        const auto [at, added] = byOutput.emplace(*relative, i);
        if (!added) {
            error = "'" + inputs[at->second] + "' and '" + inputs[i] + "' would both be written to " +
                    (fs::path(folder) / *relative).string() + " (give each file once)";
            return std::nullopt;
        }
        outputs.push_back((fs::path(folder) / *relative).string());
    }
    // An output whose name is a folder another output needs: only one of them could exist.
    for (const auto& [relative, input] : byOutput)
        for (fs::path parent = fs::path(relative).parent_path(); !parent.empty(); parent = parent.parent_path())
            if (const auto found = byOutput.find(parent.string()); found != byOutput.end()) {
                error = "'" + inputs[found->second] + "' would be written to " + (fs::path(folder) / parent).string() +
                        ", the folder of the events of '" + inputs[input] + "'";
                return std::nullopt;
            }
    return outputs;
}
