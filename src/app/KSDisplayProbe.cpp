#include "app/KSDisplayProbe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <cstring>

namespace kestrum {

namespace {

bool ConnectX11(const QString& display) {
    const QByteArray name = display.toLocal8Bit();
    xcb_connection_t* c = xcb_connect(name.constData(), nullptr);
    const bool ok = c && xcb_connection_has_error(c) == 0;
    if (c) xcb_disconnect(c);
    return ok;
}

bool ConnectUnixSocket(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    sockaddr_un addr{};
    if (p.isEmpty() || size_t(p.size()) >= sizeof addr.sun_path) return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, p.constData(), size_t(p.size()) + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

bool WaylandPluginPresent() {
    const QDir dir(QLibraryInfo::path(QLibraryInfo::PluginsPath) + u"/platforms"_qs);
    return !dir.entryList({u"libqwayland*.so"_qs}, QDir::Files).isEmpty();
}

} // namespace

TKSDisplayProbe::TKSDisplayProbe()
    : X11Reachable(ConnectX11), WaylandReachable(ConnectUnixSocket), WaylandPluginInstalled(WaylandPluginPresent) {}

QString TKSDisplayProbe::WaylandSocketPath(const QProcessEnvironment& env) {
    QString name = env.value(u"WAYLAND_DISPLAY"_qs);
    if (name.isEmpty()) name = u"wayland-0"_qs;
    if (name.startsWith(u'/')) return name;
    const QString runtime = env.value(u"XDG_RUNTIME_DIR"_qs);
    return runtime.isEmpty() ? QString() : runtime + u'/' + name;
}

TKSDisplayChoice TKSDisplayProbe::Choose(const QProcessEnvironment& env) const {
    const QString requested = env.value(u"QT_QPA_PLATFORM"_qs);
    const QString display = env.value(u"DISPLAY"_qs);
    const bool hasWayland = !env.value(u"WAYLAND_DISPLAY"_qs).isEmpty() || env.contains(u"WAYLAND_SOCKET"_qs);

    // The plugins in the order the toolkit would try them.
    QStringList candidates;
    if (!requested.isEmpty()) {
        for (const QString& entry : requested.split(u';', Qt::SkipEmptyParts))
            candidates << entry.section(u':', 0, 0).trimmed();
    } else {
        if (hasWayland && WaylandPluginInstalled()) candidates << u"wayland"_qs;
        if (!display.isEmpty()) candidates << u"xcb"_qs;
    }

    auto reachable = [&](const QString& plugin) {
        if (plugin == u"xcb"_qs) return !display.isEmpty() && X11Reachable(display);
        if (plugin.startsWith(u"wayland"_qs)) {
            // A socket handed over as a descriptor cannot be checked without taking it.
            if (env.contains(u"WAYLAND_SOCKET"_qs)) return true;
            return WaylandReachable(WaylandSocketPath(env));
        }
        return true; // offscreen, vnc, eglfs...: nothing to connect to beforehand
    };

    for (qsizetype i = 0; i < candidates.size(); ++i) {
        if (!reachable(candidates[i])) continue;
        TKSDisplayChoice choice;
        choice.Usable = true;
        // Asked for by the user, or the toolkit's own first choice: leave it be. Otherwise name the one that
        // answers, so the toolkit does not try the dead one first.
        if (requested.isEmpty() && i > 0) choice.Platform = candidates[i];
        return choice;
    }

    TKSDisplayChoice none;
    if (candidates.isEmpty()) {
        none.Message = u"Kestrum needs a graphical display (DISPLAY is not set).\n"_qs;
    } else {
        QStringList named;
        if (!display.isEmpty()) named << u"DISPLAY=%1"_qs.arg(display);
        if (hasWayland) named << u"WAYLAND_DISPLAY=%1"_qs.arg(env.value(u"WAYLAND_DISPLAY"_qs));
        if (!requested.isEmpty()) named << u"QT_QPA_PLATFORM=%1"_qs.arg(requested);
        none.Message = u"Kestrum needs a graphical display (none could be reached: %1).\n"_qs.arg(named.join(u", "_qs));
    }
    none.Message += u"Without one, use the headless companion: kestrum-cli status | kestrum-cli free\n"_qs;
    return none;
}

void TKSDisplayProbe::PrepareToolkit() {
    // A tick changes a few thousand pixels. The shared image costs a round trip to the server before every
    // paint: the window thread sleeps on it, and the server and the toolkit's reader thread wake for it.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
}

} // namespace kestrum
