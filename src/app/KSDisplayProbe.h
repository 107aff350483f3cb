#pragma once
#include <QProcessEnvironment>
#include <QString>
#include <functional>

namespace kestrum {

// What start-up found out about the display before the toolkit opens one.
struct TKSDisplayChoice {
    bool Usable = false;
    // The window-system plugin to ask for (QT_QPA_PLATFORM); empty: leave the toolkit's own choice.
    QString Platform;
    // Why no display can be used (only when !Usable), for stderr.
    QString Message;
};

// Finds a display the program can open before the toolkit tries: the toolkit aborts the whole process when
// its window-system plugin cannot connect, so a stale DISPLAY or WAYLAND_DISPLAY (a closed session, ssh
// without forwarding) would otherwise end in a crash instead of a clear word.
class TKSDisplayProbe {
public:
    TKSDisplayProbe();

    // The real checks; tests put stand-ins here.
    std::function<bool(const QString& display)> X11Reachable;
    std::function<bool(const QString& socketPath)> WaylandReachable;
    std::function<bool()> WaylandPluginInstalled;

    TKSDisplayChoice Choose(const QProcessEnvironment& env) const;

    // Before the toolkit starts: on X11 the window's changes go to the server in the requests themselves
    // rather than through a shared image, unless the user chose otherwise (QT_XCB_NO_MITSHM set).
    static void PrepareToolkit();

    // The Wayland socket WAYLAND_DISPLAY names (absolute, else below XDG_RUNTIME_DIR; "wayland-0" by default).
    static QString WaylandSocketPath(const QProcessEnvironment& env);
};

} // namespace kestrum
