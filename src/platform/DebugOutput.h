#pragma once

#include <functional>

// The process-wide debug output: diagnostic lines that a developer may want to watch
// while a host runs (the file reader's error texts, for example). Nothing is written
// anywhere until a host installs a hook; the command-line tool routes it to stderr.
using DebugOutputHook = std::function<void(const char* text)>;

// Installs the hook that receives every debug text; an empty hook discards them again.
void SetDebugOutputHook(DebugOutputHook hook);

// Hands one text to the installed hook. Null texts are ignored.
void DebugOutput(const char* text);
