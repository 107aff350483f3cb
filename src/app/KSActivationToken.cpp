#include "app/KSActivationToken.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QFile>
#include <QGuiApplication>
#include <QWidget>

#include "app/KSSingleInst.h"
#include "desktop/X11Connection.h"

namespace kestrum {

namespace {

// Tokens are short printable strings; anything longer or stranger is not one.
constexpr qsizetype kMaxToken = 512;

bool Plausible(const QByteArray& token) {
    if (token.isEmpty() || token.size() > kMaxToken) return false;
    for (char c : token)
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F) return false;
    return true;
}

// The folder, opened without following a link, when only this user may enter it; -1 otherwise.
int OpenPrivateDir(const QString& dir) {
    int fd = open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

QByteArray FileName() {
    return QByteArray(SingleInstanceName) + ".activation";
}

} // namespace

QString TKSActivationToken::FromEnvironment() {
    QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (token.isEmpty()) token = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    return token;
}

bool TKSActivationToken::Store(const QString& runtimeDir, const QString& token) {
    const QByteArray bytes = token.toUtf8();
    if (!Plausible(bytes)) return false;
    int dir = OpenPrivateDir(runtimeDir);
    if (dir < 0) return false;
    int fd = openat(dir, FileName().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    close(dir);
    if (fd < 0) return false;
    const bool ok = write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    close(fd);
    return ok;
}

QString TKSActivationToken::Take(const QString& runtimeDir) {
    int dir = OpenPrivateDir(runtimeDir);
    if (dir < 0) return {};
    int fd = openat(dir, FileName().constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    QByteArray bytes;
    if (fd >= 0) {
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid()) {
            char buffer[kMaxToken + 1];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) bytes = QByteArray(buffer, n);
        }
        close(fd);
        unlinkat(dir, FileName().constData(), 0); // a token is good for one activation only
    }
    close(dir);
    return Plausible(bytes) ? QString::fromUtf8(bytes) : QString();
}

uint32_t TKSActivationToken::StartupIdTime(const QString& startupId) {
    const qsizetype at = startupId.lastIndexOf(u"_TIME"_qs);
    if (at < 0) return 0;
    bool ok = false;
    const uint32_t time = startupId.mid(at + 5).toUInt(&ok);
    return ok ? time : 0;
}

void TKSActivationToken::Use(QWidget* window, const QString& token) {
    if (token.isEmpty() || !window) return;
    if (QGuiApplication::platformName().startsWith(u"wayland"_qs)) {
        // The toolkit's next activation request presents this token and then forgets it.
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
        return;
    }
    // X11: the launch's time tells the window manager the user asked for this window just now, which
    // lifts its focus-stealing prevention (the startup-notification rule).
    auto* c = static_cast<xcb_connection_t*>(QtX11Connection());
    const uint32_t time = StartupIdTime(token);
    if (!c || !time || !window->winId()) return;
    const char name[] = "_NET_WM_USER_TIME";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    if (!atom) return;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()), atom->atom,
                        XCB_ATOM_CARDINAL, 32, 1, &time);
    free(atom);
    xcb_flush(c);
}

} // namespace kestrum
