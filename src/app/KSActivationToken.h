#pragma once
#include <QString>

class QWidget;

namespace kestrum {

// The desktop's permission to take the focus, passed from a second start to the running copy. A launcher
// gives it to the program it starts (XDG_ACTIVATION_TOKEN on Wayland, DESKTOP_STARTUP_ID on X11); only the
// running copy has a window to raise, and without the token a Wayland compositor refuses to activate a
// window of a program the user did not just touch. The token travels in a file of its own beside the
// hand-over socket, in the same private runtime folder.
class TKSActivationToken {
public:
    // The token this process was started with (XDG_ACTIVATION_TOKEN, else DESKTOP_STARTUP_ID); empty if none.
    static QString FromEnvironment();
    // Leaves `token` for the running copy. Nothing is written when the token is empty, implausible, or the
    // folder is not a private folder of this user. False when nothing was left.
    static bool Store(const QString& runtimeDir, const QString& token);
    // The token a second start left, removed as it is read; empty when there is none.
    static QString Take(const QString& runtimeDir);
    // Hands `token` to the window system so that the next activation of `window` uses it.
    static void Use(QWidget* window, const QString& token);
    // The X server time a startup id carries ("..._TIME<number>"); 0 when it has none.
    static uint32_t StartupIdTime(const QString& startupId);
};

} // namespace kestrum
