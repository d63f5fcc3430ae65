#include "CommandRunner.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::vector<std::string> CommandRunner::Result::OutLines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

CommandRunner::CommandRunner() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vornix-tool-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) m_folder = pattern;
}

CommandRunner::~CommandRunner() {
    std::error_code ignored;
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
}

std::string CommandRunner::Quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

CommandRunner::Result CommandRunner::Shell(const std::string& commandLine) const {
    const std::string out = Path(".out"), err = Path(".err");
    const std::string full = "cd " + Quote(m_folder) + " && { " + commandLine + " ; } > " + Quote(out) + " 2> " +
                             Quote(err) + " < /dev/null";
    const int status = std::system(full.c_str());
    Result result;
    result.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    return result;
}

CommandRunner::Result CommandRunner::Run(const std::string& program, const std::vector<std::string>& args) const {
    std::string line = Quote(program);
    for (const std::string& a : args) line += " " + Quote(a);
    return Shell(line);
}
