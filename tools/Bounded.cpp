#include "Bounded.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

std::string Text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

CLI::Validator Bounded(double low, double high) {
    return CLI::Validator(
        [low, high](std::string& text) {
            double value = 0.0;
            try {
                std::size_t used = 0;
                value = std::stod(text, &used);
                if (used != text.size()) throw std::invalid_argument(text);
            } catch (const std::exception&) {
                return "'" + text + "' is not a number";
            }
            if (!(value >= low && value <= high))
                return "'" + text + "' is outside " + Text(low) + " to " + Text(high);
            return std::string();
        },
        "[" + Text(low) + " .. " + Text(high) + "]");
}

