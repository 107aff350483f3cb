#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "common/TestHome.h"

// Starts the real program twice: the second start must hand its tab code to the first and end with 0.
namespace {

QString Program() { return QStringLiteral(KESTRUM_BINARY_DIR "/bin/Kestrum"); }

struct TRun {
    QTemporaryDir Home, Runtime;
    QProcessEnvironment Env() const {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("KESTRUM_HOME", Home.path());
        env.insert("XDG_RUNTIME_DIR", Runtime.path());
        env.insert("XDG_CONFIG_HOME", Home.path() + "/config"); // its auto-start entry lands here
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KESTRUM_TRACE", "1");
        return env;
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

TEST(RealProgram, SecondStartHandsOverAndExitsZero) {
    TRun run;
    QProcess first;
    first.setProcessEnvironment(run.Env());
    first.start(Program(), {});
    ASSERT_TRUE(first.waitForStarted());
    QByteArray seen;
    ASSERT_TRUE(WaitForLine(first, "kestrum: shown", seen)) << seen.toStdString();

    QProcess second;
    second.setProcessEnvironment(run.Env());
    second.start(Program(), {"-POPUP", "73826"});
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(second.readAllStandardError().contains("kestrum: shown"));  // no window of its own

    EXPECT_TRUE(WaitForLine(first, "kestrum: tab 1", seen)) << seen.toStdString();
    EXPECT_TRUE(WaitForLine(first, "kestrum: front", seen)) << seen.toStdString();
    // The second start left nothing behind in the data folder.
    EXPECT_FALSE(QDir(run.Home.path()).exists("Config/Config.ini"));

    first.kill();
    first.waitForFinished();
}

TEST(RealProgram, CrashedFirstInstanceDoesNotBlockTheNext) {
    TRun run;
    QProcess first;
    first.setProcessEnvironment(run.Env());
    first.start(Program(), {});
    QByteArray seen;
    ASSERT_TRUE(WaitForLine(first, "kestrum: shown", seen)) << seen.toStdString();
    first.kill();  // no clean shutdown: lock file and socket stay behind
    first.waitForFinished();

    QProcess next;
    next.setProcessEnvironment(run.Env());
    next.start(Program(), {"-popup", "73826"});
    QByteArray nextSeen;
    EXPECT_TRUE(WaitForLine(next, "kestrum: tab 1", nextSeen)) << nextSeen.toStdString();
    EXPECT_TRUE(WaitForLine(next, "kestrum: shown", nextSeen)) << nextSeen.toStdString();
    next.kill();
    next.waitForFinished();
}

// A display that is named but cannot be reached (a closed session, a forwarded X that went away) ends with
// the same plain word as no display at all, instead of the toolkit's abort.
TEST(RealProgram, UnreachableDisplayIsSaidPlainlyWithExitTwo) {
    TRun run;
    const QStringList settings[] = {
        {"DISPLAY=:987"},
        {"WAYLAND_DISPLAY=/nonexistent/wayland-9"},
        {"DISPLAY=:987", "WAYLAND_DISPLAY=wayland-none"},
        {"DISPLAY=:987", "QT_QPA_PLATFORM=xcb"},
    };
    for (const QStringList& vars : settings) {
        QProcessEnvironment env = run.Env();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
        for (const QString& v : vars) env.insert(v.section('=', 0, 0), v.section('=', 1));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(Program(), {});
        ASSERT_TRUE(p.waitForFinished(15000));
        const QByteArray err = p.readAllStandardError();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << vars.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 2) << vars.join(' ').toStdString() << "\n" << err.toStdString();
        EXPECT_TRUE(err.contains("Kestrum needs a graphical display")) << err.toStdString();
    }
}
