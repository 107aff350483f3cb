#pragma once
// For tests on a real X server: the application on the xcb platform, and waiting for what the server does.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QThread>

#include "common/QtApp.h"

namespace kestrum::test {

// True when DISPLAY names a server, xdotool is there, and this program's application runs on it.
inline bool HaveXDisplay(const char* programName) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return false;
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) return false;
    qputenv("QT_QPA_PLATFORM", "xcb");
    if (!QCoreApplication::instance()) {
        // Left to the process's end on purpose: tearing an X11 application down in exit handlers crashes.
        static int argc = 1;
        static char* argv[] = {const_cast<char*>(programName), nullptr};
        new QApplication(argc, argv);
    }
    EnsureQtApp();
    return QGuiApplication::platformName() == u"xcb";
}

// Runs the event loop until `done` holds or `ms` pass; the result of `done` at the end.
template <class Pred>
bool WaitFor(Pred done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return done();
}

} // namespace kestrum::test
