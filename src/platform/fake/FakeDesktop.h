#pragma once
#include <map>
#include <set>

#include "platform/IDesktop.h"

namespace kestrum::platform {

// A scripted desktop: windows with owners and rectangles.
class TFakeDesktop final : public IDesktop {
public:
    TWindowId Foreground = 0;
    std::map<TWindowId, uint32_t> Owners;
    std::map<TWindowId, TRect> Rects;
    std::set<TWindowId> ShellWindows;
    TRect Screen{0, 0, 1920, 1080};

    TWindowId ForegroundWindow() override { return Foreground; }
    uint32_t WindowProcessId(TWindowId w) override {
        auto it = Owners.find(w);
        return it == Owners.end() ? 0 : it->second;
    }
    std::optional<TRect> WindowRect(TWindowId w) override {
        auto it = Rects.find(w);
        if (it == Rects.end()) return std::nullopt;
        return it->second;
    }
    bool IsShellWindow(TWindowId w) override { return ShellWindows.count(w) != 0; }
    TRect PrimaryScreenRect() override { return Screen; }
};

} // namespace kestrum::platform
