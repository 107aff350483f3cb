#pragma once
#include "platform/IDesktop.h"

namespace kestrum {

// The companion has no windows: the smart selection is off, so the desktop is never asked.
class TNoDesktop final : public platform::IDesktop {
public:
    platform::TWindowId ForegroundWindow() override { return 0; }
    uint32_t WindowProcessId(platform::TWindowId) override { return 0; }
    std::optional<platform::TRect> WindowRect(platform::TWindowId) override { return std::nullopt; }
    bool IsShellWindow(platform::TWindowId) override { return false; }
    platform::TRect PrimaryScreenRect() override { return {}; }
};

} // namespace kestrum
