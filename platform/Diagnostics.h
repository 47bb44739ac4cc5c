#pragma once
// A diagnostic trace hook. Production code reports rare internal faults
// through it (a failed window, an unexpected solver branch); the default hook
// produces no output, tests install their own to observe them. The hook may be
// called from the audio thread, so it must never block or allocate.

#include <atomic>

namespace valvora::platform {

using TraceHook = void (*)(const char* where, const char* caption) noexcept;

inline std::atomic<TraceHook>& traceHookSlot() noexcept
{
    static std::atomic<TraceHook> slot{nullptr};
    return slot;
}

inline void setTraceHook(TraceHook hook) noexcept { traceHookSlot().store(hook); }

inline void trace(const char* where, const char* caption = "") noexcept
{
    if (TraceHook hook = traceHookSlot().load(std::memory_order_relaxed))
        hook(where, caption);
}

}  // namespace valvora::platform
