#pragma once

#include <string>
#include <vector>

// Runs shell commands in a scratch folder of its own and captures what they print. The
// folder, with everything the commands wrote there, goes when the runner does.
class CommandRunner {
public:
    struct Result {
        int exitCode = -1;  // -1 when the command did not exit normally
        std::string out;
        std::string err;
        std::vector<std::string> OutLines() const;
    };

    CommandRunner();
    ~CommandRunner();
    CommandRunner(const CommandRunner&) = delete;
    CommandRunner& operator=(const CommandRunner&) = delete;

    const std::string& Folder() const { return m_folder; }
    std::string Path(const std::string& name) const { return m_folder + "/" + name; }

    // Runs a shell command line (pipes allowed) in the folder.
    Result Shell(const std::string& commandLine) const;
    // Runs a program with these arguments, each quoted for the shell.
    Result Run(const std::string& program, const std::vector<std::string>& args) const;

    static std::string Quote(const std::string& word);

private:
    std::string m_folder;
};
