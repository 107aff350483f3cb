#pragma once
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/IDesktop.h"

namespace kestrum {

// The desktop with the active window known from the window events a watch reports, not asked for: on X11
// each question is a round trip that wakes the X server, the toolkit's reader thread and the asking thread,
// every few seconds, though nothing on the screen changed. The process of the active window is kept with it.
// The rest is asked of the desktop as before. Safe to ask from any thread.
class TWatchedDesktop final : public platform::IDesktop {
public:
    // `nowMs`: a monotonic clock in milliseconds (steady_clock when empty).
    explicit TWatchedDesktop(platform::IDesktop& desktop, std::function<int64_t()> nowMs = {});

    // From the watch, whenever the active window may have changed (0: none). The first report starts the use
    // of the watch; until then every question goes to the desktop.
    void ActiveWindowReported(platform::TWindowId window);
    // Without a report for this long, the next question goes to the desktop once more and corrects what the
    // watch said: a watch that lost its events is wrong for a minute at most.
    static constexpr int64_t TrustMs = 60000;

    platform::TWindowId ForegroundWindow() override;
    uint32_t WindowProcessId(platform::TWindowId window) override;
    std::optional<platform::TRect> WindowRect(platform::TWindowId window) override {
        return FDesktop.WindowRect(window);
    }
    bool IsShellWindow(platform::TWindowId window) override { return FDesktop.IsShellWindow(window); }
    platform::TRect PrimaryScreenRect() override { return FDesktop.PrimaryScreenRect(); }

private:
    int64_t Now() const;

    platform::IDesktop& FDesktop;
    std::function<int64_t()> FNowMs;
    std::mutex FMutex;
    bool FWatched = false;
    platform::TWindowId FActive = 0;
    int64_t FReportedAt = 0;
    // The process of FPidWindow, kept while that window stays the active one.
    platform::TWindowId FPidWindow = 0;
    uint32_t FPid = 0;
};

} // namespace kestrum
