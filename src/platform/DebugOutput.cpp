#include "platform/DebugOutput.h"

#include <mutex>

namespace {

// A host may install its hook on one thread while a decoding thread writes; the copy
// taken under the lock lets the hook run unlocked, so a hook may itself write or
// replace the hook without deadlocking.
std::mutex& HookMutex() {
    static std::mutex mutex;
    return mutex;
}

DebugOutputHook& InstalledHook() {
    static DebugOutputHook hook;
    return hook;
}

}  // namespace

void SetDebugOutputHook(DebugOutputHook hook) {
    std::lock_guard lock(HookMutex());
    InstalledHook() = std::move(hook);
}

void DebugOutput(const char* text) {
    if (text == nullptr) return;
    DebugOutputHook hook;
    {
        std::lock_guard lock(HookMutex());
        hook = InstalledHook();
    }
    if (hook) hook(text);
}
