#pragma once

#include <cstdint>

// The event procedure that receives decoder messages directly, on the decoding thread.
// A plain function cannot find its receiver without a global, so the procedure carries
// a context pointer that is handed back on every call.
struct DecoderEventProc {
    using Function = void (*)(void* context, int msg, std::uint64_t wParam, std::int64_t lParam);

    Function function = nullptr;
    void* context = nullptr;

    explicit operator bool() const { return function != nullptr; }
    void operator()(int msg, std::uint64_t wParam, std::int64_t lParam) const {
        function(context, msg, wParam, lParam);
    }
};
