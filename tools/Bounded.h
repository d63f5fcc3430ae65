#pragma once

#include <CLI/CLI.hpp>

// A check for numeric options: the whole text must be a number within [low, high]. NaN
// is refused too (CLI::Range lets it through), so no option hands NaN to the library.
CLI::Validator Bounded(double low, double high);
