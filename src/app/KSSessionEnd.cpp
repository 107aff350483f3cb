#include "app/KSSessionEnd.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>

namespace kestrum {

namespace {

// Written by the signal handler, read on the interface thread; [1] is the reading end.
int SignalPipe[2] = {-1, -1};

void OnSignal(int signo) {
    const int saved = errno;
    const char c = char(signo);
    [[maybe_unused]] ssize_t n = ::write(SignalPipe[0], &c, 1);
    errno = saved;
}

} // namespace

TKSSessionEnd::TKSSessionEnd(QObject* parent) : QObject(parent) {
    if (SignalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, SignalPipe) != 0)
        SignalPipe[0] = SignalPipe[1] = -1;
    if (SignalPipe[0] >= 0) {
        FNotifier = new QSocketNotifier(SignalPipe[1], QSocketNotifier::Read, this);
        connect(FNotifier, &QSocketNotifier::activated, this, &TKSSessionEnd::SignalArrived);
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGHUP, &sa, nullptr);
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        app->installEventFilter(this);
        connect(app, &QGuiApplication::commitDataRequest, this, &TKSSessionEnd::CommitData, Qt::DirectConnection);
    }
}

TKSSessionEnd::~TKSSessionEnd() {
    if (FNotifier) {
        // Back to the default: a signal during the last steps of the end ends the program as usual.
        signal(SIGTERM, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
    }
}

void TKSSessionEnd::CommitData(QSessionManager& manager) {
    // Everything is on disk already: no interaction, no cancel, no delay. Auto-start (when chosen) brings
    // the program back with the next session; a restart by the session manager too would open it twice.
    manager.setRestartHint(QSessionManager::RestartNever);
}

void TKSSessionEnd::SignalArrived() {
    char buffer[16];
    while (::read(SignalPipe[1], buffer, sizeof buffer) > 0) {
    }
    End();
}

bool TKSSessionEnd::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) End();
    return QObject::eventFilter(watched, event);
}

void TKSSessionEnd::End() {
    if (FEnding) return;
    FEnding = true;
    emit EndRequested();
}

} // namespace kestrum
