#include "FormatsCommand.h"

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "ExitCode.h"
#include "audio/FormatNames.h"
#include "audio/StreamFormats.h"
#include "audio/WaveFormatSelection.h"

namespace {

struct Row {
    int index;
    std::string name;
    std::string description;
    std::string id;  // the record as --format-id takes it; empty for the custom entry
};

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (int i = 0; i < kStreamFormatCount; ++i) {
        std::vector<std::uint8_t> record;
        if (FAILED(SpConvertStreamFormatEnum(i, &record))) continue;
        const auto& format = *reinterpret_cast<const WAVEFORMATEX*>(record.data());
        rows.push_back({i, FormatNameText(format), FormatDetailText(format), WaveFmtToString(&format, record.size())});
    }
    rows.push_back({WaveFormatSelection::kCustomIndex, "custom", "the format record given with --format-id", ""});
    return rows;
}

}  // namespace

FormatsCommand::FormatsCommand(CLI::App& parent) {
    m_command = parent.add_subcommand("formats", "List the stream formats of raw input (--format-index)");
    m_command->add_flag("--json", m_json, "Print one JSON object per format per line, with its format record (--format-id)");
}

bool FormatsCommand::Selected() const {
    return m_command->parsed();
}

int FormatsCommand::Run() {
    const std::vector<Row> rows = Rows();
    if (m_json) {
        for (const Row& r : rows) {
            nlohmann::ordered_json j;
            j["index"] = r.index;
            j["name"] = r.name;
            j["description"] = r.description;
            if (!r.id.empty()) j["id"] = r.id;
            std::cout << j.dump() << '\n';
        }
        return kExitSuccess;
    }
    std::size_t width = 4;
    for (const Row& r : rows) width = std::max(width, r.name.size());
    const int w = static_cast<int>(width);
    std::cout << "INDEX  " << std::left << std::setw(w) << "NAME" << "  DESCRIPTION\n";
    for (const Row& r : rows)
        std::cout << std::right << std::setw(5) << r.index << "  " << std::left << std::setw(w) << r.name << "  "
                  << r.description << '\n';
    return kExitSuccess;
}
