#pragma once

#include <optional>
#include <string>
#include <string_view>

// A serial framing in the usual shorthand, "8N1": data bits 5 to 8, parity N (none),
// O (odd), E (even), M (mark) or S (space), stop bits 0, 1, 1.5 or 2. The parts come out
// as the texts --fsk-data-bits, --fsk-parity and --fsk-stop-bits take, so both ways of
// giving a framing are applied by the same code.
struct FskFraming {
    int dataBits = 8;
    std::string parity = "none";  // none, odd, even, mark or space
    std::string stopBits = "1";   // 0, 1, 1.5 or 2

    // The framing of text (the parity letter in either case), or nullopt.
    static std::optional<FskFraming> Parse(std::string_view text);
};
