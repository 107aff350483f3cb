#include "desktop/OrvAntiDisturb.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <unordered_set>

#include "desktop/ExeImports.h"

namespace kestrum {

TOrvAntiDisturb::TOrvAntiDisturb(platform::IDesktop& desktop, platform::IProcesses& processes, QObject* owner)
    : QObject(owner), FDesktop(desktop), FProcesses(processes), FTimer(this) {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        FWinePrefix = prefix;
    else if (const char* home = std::getenv("HOME"); home && *home)
        FWinePrefix = std::string(home) + "/.wine";
    connect(&FTimer, &QTimer::timeout, this, &TOrvAntiDisturb::Poll);
    UpdateTimer();
}

void TOrvAntiDisturb::UpdateTimer() {
    // A zero period would make the timer fire on every pass of the event loop: a busy poll.
    if (FEnabled && FInteval != 0) {
        FTimer.start(int(std::min<uint32_t>(FInteval, INT32_MAX)));
    } else {
        FTimer.stop();
    }
}

void TOrvAntiDisturb::SetEnabled(bool value) {
    if (value) {
        if (!FEnabled) {
            FEnabled = true;
            UpdateTimer();
        }
        return;
    }
    FEnabled = false;
    UpdateTimer();
    FState = false;
    if (FNotified) {
        FNotified = false;
        emit OnStateChanged(this);
    }
}

void TOrvAntiDisturb::SetInteval(uint32_t value) {
    FInteval = value;
    UpdateTimer();
}

void TOrvAntiDisturb::Poll() {
    const bool s = DetectState();
    FState = s;
    if (s != FNotified) {
        FNotified = s;
        emit OnStateChanged(this);
    }
}

bool TOrvAntiDisturb::DetectState() {
    return IsFullScreenForeground() || IsGameRunning();
}

bool TOrvAntiDisturb::IsFullScreenForeground() {
    const platform::TWindowId w = FDesktop.ForegroundWindow();
    if (!w) return false;
    // The desktop and the panels are the shell's own windows: they cover the screen without being a program.
    if (FDesktop.IsShellWindow(w)) return false;
    const auto rect = FDesktop.WindowRect(w);
    if (!rect) return false;
    return *rect == FDesktop.PrimaryScreenRect();
}

bool TOrvAntiDisturb::IsGameRunning() {
    const auto snapshot = FProcesses.Snapshot();
    if (!snapshot) return false;
    const uint32_t self = FProcesses.CurrentProcessId();
    // Many processes run the same file (shells, helpers); each file is judged once per poll.
    std::unordered_set<std::string> judged;
    for (const auto& p : *snapshot) {
        // Our own program is never the game the user is playing, whatever a build links into it.
        if (p.KernelThread || p.ProcessId == self) continue;
        std::string path = FProcesses.ExecutablePath(p.ProcessId);
        if (path.empty() || IsDisplayServer(path)) continue;
        if (IsWineLoader(path)) {
            // A Windows program under Wine is judged by its own executable, not by the loader.
            path = WineExecutablePath(FProcesses.CommandLine(p.ProcessId), FWinePrefix);
            if (path.empty()) continue;
        }
        if (!judged.insert(path).second) continue;
        if (FImports.ImportsGameLibrary(path)) return true;
    }
    return false;
}

} // namespace kestrum
