#include "FskFraming.h"

#include <cctype>

std::optional<FskFraming> FskFraming::Parse(std::string_view text) {
    if (text.size() < 3 || text[0] < '5' || text[0] > '8') return std::nullopt;
    FskFraming f;
    f.dataBits = text[0] - '0';
    switch (std::toupper(static_cast<unsigned char>(text[1]))) {
        case 'N': f.parity = "none"; break;
        case 'O': f.parity = "odd"; break;
        case 'E': f.parity = "even"; break;
        case 'M': f.parity = "mark"; break;
        case 'S': f.parity = "space"; break;
        default: return std::nullopt;
    }
    const std::string_view stop = text.substr(2);
    if (stop != "0" && stop != "1" && stop != "1.5" && stop != "2") return std::nullopt;
    f.stopBits = std::string(stop);
    return f;
}
