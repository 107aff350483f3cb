#include "platform/IDesktop.h"

namespace kestrum::platform {

namespace {
// Placeholder until the X11 backend lands: a desktop with no windows.
class TNoDesktop final : public IDesktop {
public:
    TWindowId ForegroundWindow() override { return 0; }
    uint32_t WindowProcessId(TWindowId) override { return 0; }
    std::optional<TRect> WindowRect(TWindowId) override { return std::nullopt; }
    bool IsShellWindow(TWindowId) override { return false; }
    TRect PrimaryScreenRect() override { return {}; }
};
} // namespace

std::unique_ptr<IDesktop> MakeX11Desktop(void*) { return std::make_unique<TNoDesktop>(); }

} // namespace kestrum::platform
