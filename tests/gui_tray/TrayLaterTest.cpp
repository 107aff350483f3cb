// The real program started before the panel: without a tray its window stays on the taskbar; when a
// StatusNotifierItem host appears it gets its icon (the item registers with the panel's watcher) and goes
// into the tray; when the host goes again the window comes back minimized.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

#include "common/FakeTrayWatcher.h"
#include "common/PrivateSessionBus.h"
#include "common/QtApp.h"

using namespace kestrum;

namespace {

QString Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The X11 state of each window the process owns that carries the program's title ("Iconic", "Normal"),
// or nothing for a window that is not managed (hidden).
QStringList WindowStates(qint64 pid) {
    QStringList states;
    const QStringList ids =
        Run(u"xdotool"_qs, {u"search"_qs, u"--pid"_qs, QString::number(pid), u"--name"_qs, u"^Kestrum$"_qs})
            .split(u'\n', Qt::SkipEmptyParts);
    for (const QString& id : ids) {
        const QString state = Run(u"xprop"_qs, {u"-id"_qs, id, u"WM_STATE"_qs});
        if (state.contains(u"Iconic"_qs)) states << u"Iconic"_qs;
        if (state.contains(u"Normal"_qs)) states << u"Normal"_qs;
    }
    return states;
}

using test::WaitUntil;

} // namespace

TEST(TrayLater, AHostThatAppearsLaterGetsTheIconAndOneThatGoesGivesTheWindowBack) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "no X server (DISPLAY)";
    test::EnsureQtApp();
    test::TPrivateSessionBus bus;
    if (!bus.Running()) GTEST_SKIP() << "dbus-daemon could not start";
    test::TFakeTrayWatcher watcher(bus.Connect());

    QTemporaryDir home, runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KESTRUM_HOME", home.path());
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("KESTRUM_TRACE", "1");
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KESTRUM_BINARY_DIR "/bin/Kestrum"), {"-autostart"});
    ASSERT_TRUE(p.waitForStarted());
    const qint64 pid = p.processId();
    QByteArray seen;
    auto traced = [&](const QByteArray& line, int times) {
        seen += p.readAllStandardError();
        return seen.count(line) >= times;
    };

    // No tray of any kind: minimized on the taskbar, not lost.
    ASSERT_TRUE(WaitUntil([&] { return traced("kestrum: hidden", 1); }, 15000)) << seen.toStdString();
    ASSERT_TRUE(WaitUntil([&] { return WindowStates(pid) == QStringList{u"Iconic"_qs}; }, 5000))
        << WindowStates(pid).join(u',').toStdString();

    // The panel comes: the program's item registers with it and the window leaves the taskbar.
    ASSERT_TRUE(watcher.Start(true));
    ASSERT_TRUE(WaitUntil([&] { return !watcher.Items.isEmpty(); }, 20000)) << seen.toStdString();
    EXPECT_EQ(watcher.Items.size(), 1);
    ASSERT_TRUE(WaitUntil([&] { return traced("kestrum: hidden", 2); }, 5000)) << seen.toStdString();
    EXPECT_EQ(p.state(), QProcess::Running);
    EXPECT_EQ(p.processId(), pid);
    EXPECT_TRUE(WaitUntil([&] { return WindowStates(pid).isEmpty(); }, 3000))
        << WindowStates(pid).join(u',').toStdString();

    // The panel ends while the window waits behind its icon: back on the taskbar, minimized.
    watcher.SetHost(false);
    EXPECT_TRUE(WaitUntil([&] { return WindowStates(pid) == QStringList{u"Iconic"_qs}; }, 5000))
        << WindowStates(pid).join(u',').toStdString() << (seen + p.readAllStandardError()).toStdString();

    // Waited for with the event loop running: the program tells the stand-in watcher goodbye as it ends.
    ::kill(pid_t(pid), SIGTERM);
    ASSERT_TRUE(WaitUntil([&] { return p.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(p.exitCode(), 0) << (seen + p.readAllStandardError()).toStdString();
}
