#include "engine/AutoProtection.h"

namespace kestrum {

TAutoProtection::TAutoProtection(platform::IDesktop& desktop, platform::IProcesses& processes)
    : FDesktop(desktop), FProcesses(processes) {}

void TAutoProtection::SetGameSource(TGameSource source) {
    std::lock_guard lock(FSourceMutex);
    FGameSource = std::move(source);
}

std::map<uint32_t, TProtectionReason> TAutoProtection::Roots() {
    return Roots(Switches());
}

std::map<uint32_t, TProtectionReason> TAutoProtection::Roots(const TSwitches& switches) {
    std::map<uint32_t, TProtectionReason> roots;
    const uint32_t self = FProcesses.CurrentProcessId();
    const bool FForeground = switches.Foreground, FFullScreen = switches.FullScreen, FGames = switches.Games;
    if (FForeground || FFullScreen) {
        const platform::TWindowId w = FDesktop.ForegroundWindow();
        const uint32_t pid = w ? FDesktop.WindowProcessId(w) : 0;
        if (pid != 0 && pid != self && !FDesktop.IsShellWindow(w)) {
            const auto rect = FDesktop.WindowRect(w);
            const bool full = rect && *rect == FDesktop.PrimaryScreenRect();
            if (FFullScreen && full)
                roots[pid] = TProtectionReason::FullScreen;
            else if (FForeground)
                roots[pid] = TProtectionReason::Foreground;
        }
    }
    if (FGames) {
        TGameSource source;
        {
            std::lock_guard lock(FSourceMutex);
            source = FGameSource;
        }
        if (source)
            for (uint32_t pid : source())
                if (pid != 0 && pid != self) roots[pid] = TProtectionReason::Game; // a game outranks the window
    }
    return roots;
}

std::map<uint32_t, TProtectionReason> TAutoProtection::Collect() {
    return Collect(Switches());
}

std::map<uint32_t, TProtectionReason> TAutoProtection::Collect(const TSwitches& switches) {
    const auto roots = Roots(switches);
    if (roots.empty()) return roots;
    const auto snapshot = FProcesses.Snapshot();
    if (!snapshot) return roots;
    std::map<uint32_t, uint32_t> parents;
    for (const auto& e : *snapshot) {
        if (e.KernelThread || e.ProcessId == 0) continue;
        if (const auto parent = FProcesses.ParentProcessId(e.ProcessId)) parents[e.ProcessId] = *parent;
    }
    return WithDescendants(roots, parents);
}

std::map<uint32_t, TProtectionReason> TAutoProtection::WithDescendants(
    const std::map<uint32_t, TProtectionReason>& roots, const std::map<uint32_t, uint32_t>& parents) {
    std::map<uint32_t, TProtectionReason> out = roots;
    for (const auto& [pid, parent] : parents) {
        if (out.count(pid)) continue;
        // Walk up to a root; a cycle (a reused id read mid-change) or a long chain ends the walk.
        uint32_t at = parent;
        for (int depth = 0; depth < 64 && at != 0; ++depth) {
            if (const auto it = roots.find(at); it != roots.end()) {
                out[pid] = it->second;
                break;
            }
            const auto up = parents.find(at);
            if (up == parents.end() || up->second == at) break;
            at = up->second;
        }
    }
    return out;
}

} // namespace kestrum
