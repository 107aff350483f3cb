#pragma once
// One QApplication per test program, created on first use (offscreen unless a display is asked for).
#include <QApplication>
#include <QDeadlineTimer>
#include <functional>

namespace kestrum::test {

inline QApplication& EnsureQtApp() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kestrum-test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing a QApplication down among the exit handlers races the other statics Qt
    // and the test helpers own (input devices, fonts) and crashes at exit.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Runs the event loop until `done` holds or `ms` pass; the result of `done` at the end.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace kestrum::test
