#pragma once

#include <cstddef>
#include <string>

// Native texts are 8-bit bytes as the detectors produced them, taken to be Latin-1;
// public strings are UTF-8.
std::string Latin1ToUtf8(const char* text);
std::string Latin1ToUtf8(const char* text, std::size_t length);
