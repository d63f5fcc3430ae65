#pragma once

namespace CLI {
class App;
}

// vornix formats: the stream formats --format-index chooses from, by index, with the
// library's own name and description of each; 65 stands for a record given by
// --format-id.
class FormatsCommand {
public:
    explicit FormatsCommand(CLI::App& parent);
    bool Selected() const;
    int Run();

private:
    CLI::App* m_command;
    bool m_json = false;
};
