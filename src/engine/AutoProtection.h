#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "engine/ProtectionReason.h"
#include "platform/IDesktop.h"
#include "platform/IProcesses.h"

namespace kestrum {

// The processes no run trims whatever the selection mode, each switchable: games registered with GameMode,
// the program whose window fills the screen and the foreground program, each with its child processes.
// Asked at the start of every run, from whichever thread runs it.
class TAutoProtection {
public:
    using TGameSource = std::function<std::vector<uint32_t>()>;
    struct TSwitches {
        bool Games = true, FullScreen = true, Foreground = true;
    };

    TAutoProtection(platform::IDesktop& desktop, platform::IProcesses& processes);

    void SetProtectGames(bool on) { FGames = on; }
    void SetProtectFullScreen(bool on) { FFullScreen = on; }
    void SetProtectForeground(bool on) { FForeground = on; }
    bool ProtectGames() const { return FGames; }
    bool ProtectFullScreen() const { return FFullScreen; }
    bool ProtectForeground() const { return FForeground; }
    // The process ids of the games running now (GameMode's registered games); must be safe on any thread.
    void SetGameSource(TGameSource source);

    // The processes protected now, each with the reason; the program's own process is never among the
    // roots (its window is in front whenever the user clicks "Free Now").
    std::map<uint32_t, TProtectionReason> Roots();
    std::map<uint32_t, TProtectionReason> Roots(const TSwitches& switches);
    TSwitches Switches() const { return {FGames, FFullScreen, FForeground}; }
    // The roots and every running process that descends from one, with its root's reason.
    std::map<uint32_t, TProtectionReason> Collect();
    std::map<uint32_t, TProtectionReason> Collect(const TSwitches& switches);
    // The same from a parent table (child → parent): pure, so the tree walk can be tested alone.
    static std::map<uint32_t, TProtectionReason> WithDescendants(const std::map<uint32_t, TProtectionReason>& roots,
                                                                 const std::map<uint32_t, uint32_t>& parents);

private:
    platform::IDesktop& FDesktop;
    platform::IProcesses& FProcesses;
    std::atomic<bool> FGames = true, FFullScreen = true, FForeground = true;
    std::mutex FSourceMutex;
    TGameSource FGameSource;
};

} // namespace kestrum
