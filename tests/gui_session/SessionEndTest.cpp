// The real program at the end of a session: SIGTERM or SIGHUP while it lives hidden in the tray ends it
// cleanly with exit code 0 and leaves the day's history as it was; the session manager's quit does the same
// instead of being refused by the hide-to-tray close.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include "app/KSSessionEnd.h"
#include "app/frmKSMain.h"
#include "common/TestHome.h"
#include "gui_x11/XClient.h"
#include "platform/fake/FakePlatform.h"
#include "store/KSSettings.h"

using namespace kestrum;

namespace {

// Owns the tray selection, so the program believes a notification area is there and hides in it.
struct TTrayHost {
    test::TXClient X;
    xcb_window_t Window = 0;
    bool Start() {
        if (!X.Ok()) return false;
        Window = xcb_generate_id(X.C);
        xcb_create_window(X.C, XCB_COPY_FROM_PARENT, Window, X.Screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(X.C, Window, X.Atom("_NET_SYSTEM_TRAY_S0"), XCB_CURRENT_TIME);
        xcb_flush(X.C);
        return true;
    }
    ~TTrayHost() {
        if (Window) X.Close(Window);
    }
};

bool WaitForLine(QProcess& p, const QByteArray& line, QByteArray& seen, int ms = 15000) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        seen += p.readAllStandardError();
        if (seen.contains(line)) return true;
        p.waitForReadyRead(100);
    }
    return false;
}

} // namespace

TEST(SessionEnd, SigtermAndSighupWhileHiddenEndCleanly) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "no X server (DISPLAY)";
    TTrayHost tray;
    ASSERT_TRUE(tray.Start());
    for (int signo : {SIGTERM, SIGHUP}) {
        QTemporaryDir home, runtime;
        ASSERT_TRUE(QDir().mkpath(home.filePath("Logs/Kestrum")));
        const QString day = home.filePath("Logs/Kestrum/" + QDate::currentDate().toString("yyyyMMdd") + ".log");
        const QByteArray stamp = QDate::currentDate().toString("yyyyMMdd").toLatin1();
        const QByteArray records = stamp +
                                   "090503042|0|\"Memory was optimized manually.\"|\"1.00 GB -> 1.50 GB, "
                                   "+512.00 MB.\"\r\n" +
                                   stamp +
                                   "100503042|0|\"Memory was optimized manually.\"|\"2.00 GB -> 2.50 GB, "
                                   "+512.00 MB.\"\r\n";
        {
            QFile f(day);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(records);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KESTRUM_HOME", home.path());
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("KESTRUM_TRACE", "1");
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KESTRUM_BINARY_DIR "/bin/Kestrum"), {"-autostart"});
        ASSERT_TRUE(p.waitForStarted());
        QByteArray seen;
        ASSERT_TRUE(WaitForLine(p, "kestrum: hidden", seen)) << seen.toStdString();
        QElapsedTimer t;
        t.start();
        ::kill(pid_t(p.processId()), signo);
        ASSERT_TRUE(p.waitForFinished(10000)) << signo;
        seen += p.readAllStandardError();
        RecordProperty(signo == SIGTERM ? "sigterm_ms" : "sighup_ms", int(t.elapsed()));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << signo;
        EXPECT_EQ(p.exitCode(), 0) << signo;
        EXPECT_TRUE(seen.contains("kestrum: closing")) << seen.toStdString();
        QFile f(day);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), records) << signo;
    }
}

// The session manager's end arrives as the application's quit: the window that would hide in the tray on
// a close ends instead.
TEST(SessionEnd, QuitFromTheSessionManagerIsNoCloseToTheTray) {
    if (!test::EnsureX11App()) GTEST_SKIP() << "no X server (DISPLAY)";
    test::TTestHome home;
    platform::TFakeHandles fakes;
    platform::TPlatform plat = platform::MakeFakePlatform(&fakes);
    TKSSettings settings;
    TFormKSMain w(plat, settings, {"Kestrum"});
    w.SetTrayAvailableProbe([] { return true; });
    w.FormCreate();
    ASSERT_TRUE(settings.ShowTrayIcon);
    TKSSessionEnd end;
    QObject::connect(&end, &TKSSessionEnd::EndRequested, &w, &TFormKSMain::mniTrayIconExitClick);
    QEvent quit(QEvent::Quit); // handed to the filter only: the test's own application goes on
    end.eventFilter(QCoreApplication::instance(), &quit);
    EXPECT_TRUE(end.Ending());
    EXPECT_TRUE(w.ExitRequested());
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.TrayIcon()->isVisible());
}
