#include "desktop/WatchedDesktop.h"

#include <chrono>

namespace kestrum {

TWatchedDesktop::TWatchedDesktop(platform::IDesktop& desktop, std::function<int64_t()> nowMs)
    : FDesktop(desktop), FNowMs(std::move(nowMs)) {}

int64_t TWatchedDesktop::Now() const {
    if (FNowMs) return FNowMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TWatchedDesktop::ActiveWindowReported(platform::TWindowId window) {
    std::lock_guard lock(FMutex);
    FWatched = true;
    if (window != FActive) FPidWindow = 0; // an id may come back on a window made since, of another process
    FActive = window;
    FReportedAt = Now();
}

platform::TWindowId TWatchedDesktop::ForegroundWindow() {
    {
        std::lock_guard lock(FMutex);
        if (FWatched && Now() - FReportedAt < TrustMs) return FActive;
    }
    // Asked outside the lock: a round trip may take a while, and the watch may report meanwhile.
    const platform::TWindowId asked = FDesktop.ForegroundWindow();
    std::lock_guard lock(FMutex);
    if (FWatched) {
        if (asked != FActive) FPidWindow = 0;
        FActive = asked;
        FReportedAt = Now();
    }
    return asked;
}

uint32_t TWatchedDesktop::WindowProcessId(platform::TWindowId window) {
    if (window == 0) return 0;
    {
        std::lock_guard lock(FMutex);
        // A window's process never changes while it stays the active one.
        if (FWatched && window == FPidWindow && window == FActive) return FPid;
    }
    const uint32_t pid = FDesktop.WindowProcessId(window);
    std::lock_guard lock(FMutex);
    // Not when unknown: a window just mapped may not have published its process yet.
    if (FWatched && pid != 0 && window == FActive) {
        FPidWindow = window;
        FPid = pid;
    }
    return pid;
}

} // namespace kestrum
