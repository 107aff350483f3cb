#include "desktop/OrvAntiDisturb.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "desktop/ExeImports.h"

namespace kestrum {

TOrvAntiDisturb::TOrvAntiDisturb(platform::IDesktop& desktop, platform::IProcesses& processes, QObject* owner)
    : QObject(owner), FDesktop(desktop), FProcesses(processes), FTimer(this) {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        FWinePrefix = prefix;
    else if (const char* home = std::getenv("HOME"); home && *home)
        FWinePrefix = std::string(home) + "/.wine";
    connect(&FTimer, &QTimer::timeout, this, &TOrvAntiDisturb::Poll);
    FWake.setSingleShot(true);
    FWake.setInterval(WakeDelayMs);
    connect(&FWake, &QTimer::timeout, this, [this] {
        if (FEnabled && FInteval != 0) Poll();
    });
    UpdateTimer();
}

void TOrvAntiDisturb::UpdateTimer() {
    // A zero period would make the timer fire on every pass of the event loop: a busy poll.
    if (FEnabled && FInteval != 0) {
        // Nothing on the screen can turn the state on without a window change, which wakes the poll.
        const uint64_t period = uint64_t(FInteval) * (FWindowEvents && !FState ? QuietStretch : 1);
        FTimer.start(int(std::min<uint64_t>(period, INT32_MAX)));
    } else {
        FTimer.stop();
        FWake.stop();
    }
}

void TOrvAntiDisturb::SetWindowEventsWatched(bool on) {
    if (on == FWindowEvents) return;
    FWindowEvents = on;
    UpdateTimer();
}

void TOrvAntiDisturb::WindowsChanged() {
    if (FEnabled && FInteval != 0 && !FWake.isActive()) FWake.start();
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
    const bool s = DetectState() || FSourceState;
    const bool periodChanges = FWindowEvents && s != FState;
    FState = s;
    if (periodChanges) UpdateTimer();
    if (s != FNotified) {
        FNotified = s;
        emit OnStateChanged(this);
    }
}

void TOrvAntiDisturb::SetSourceState(bool on) {
    if (on == FSourceState) return;
    FSourceState = on;
    if (FEnabled) Poll(); // at once, not at the next tick
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
    const auto list = FProcesses.ProcessInstances();
    if (!list) return false;
    const uint32_t self = FProcesses.CurrentProcessId();
    std::unordered_map<uint32_t, TJudged> next;
    next.reserve(list->size());
    bool game = false;
    for (const auto& p : *list) {
        // Our own program is never the game the user is playing, whatever a build links into it.
        if (p.ProcessId == self) continue;
        const auto old = FJudged.find(p.ProcessId);
        const bool known = old != FJudged.end() && old->second.Instance == p.Instance;
        // A process without a readable executable stays so: kernel threads never run one, and another
        // user's process does not become readable.
        if (known && old->second.Path.empty()) {
            next.emplace(p.ProcessId, std::move(old->second));
            continue;
        }
        // A known process is looked at again every few polls only: a program that replaces itself with a
        // game (a launcher script's exec) is still seen within seconds, and a poll stays cheap.
        if (known && (p.ProcessId + FPolls) % RecheckEvery != 0) {
            game = game || old->second.Game;
            next.emplace(p.ProcessId, std::move(old->second));
            continue;
        }
        TJudged j{p.Instance, FProcesses.ExecutablePath(p.ProcessId), false};
        if (known && j.Path == old->second.Path) {
            j.Game = old->second.Game;
        } else if (!j.Path.empty()) {
            j.Game = JudgeExecutable(p.ProcessId, j.Path);
        }
        game = game || j.Game;
        next.emplace(p.ProcessId, std::move(j));
    }
    FJudged.swap(next);
    ++FPolls;
    return game;
}

bool TOrvAntiDisturb::JudgeExecutable(uint32_t processId, const std::string& path) {
    if (IsDisplayServer(path)) return false;
    if (IsWineLoader(path)) {
        // A Windows program under Wine is judged by its own executable, not by the loader.
        const std::string exe = WineExecutablePath(FProcesses.CommandLine(processId), FWinePrefix);
        return !exe.empty() && FImports.ImportsGameLibrary(exe);
    }
    return FImports.ImportsGameLibrary(path);
}

} // namespace kestrum
