#pragma once
#include <cstdint>
#include <memory>
#include <optional>

namespace kestrum::platform {

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0; // Right and Bottom exclusive
    bool operator==(const TRect&) const = default;
};

using TWindowId = uint64_t; // 0 = no window

// Questions about the desktop's windows (X11 on Linux).
class IDesktop {
public:
    virtual ~IDesktop() = default;
    // The active (foreground) window; 0 when there is none or no window system.
    virtual TWindowId ForegroundWindow() = 0;
    // The process that owns the window; 0 when unknown.
    virtual uint32_t WindowProcessId(TWindowId window) = 0;
    // The window's client area in root (screen) coordinates; the window manager's frame is not part of it.
    // None when the window cannot be read (gone, no window system).
    virtual std::optional<TRect> WindowRect(TWindowId window) = 0;
    // True for the shell's own windows (desktop and dock/panel windows).
    virtual bool IsShellWindow(TWindowId window) = 0;
    // The primary monitor's rectangle (the RandR primary output), else the whole root window.
    virtual TRect PrimaryScreenRect() = 0;
};

// `connection` is the xcb_connection_t* of the application (Qt's own); nullptr gives a desktop with no windows.
std::unique_ptr<IDesktop> MakeX11Desktop(void* connection);

} // namespace kestrum::platform
