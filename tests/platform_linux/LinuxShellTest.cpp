#include <gtest/gtest.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include "common/TestHome.h"
#include "platform/IClock.h"
#include "platform/IFileVersion.h"
#include "platform/IShell.h"
#include "platform/ISingleInstance.h"
#include "platform/linux/CommandLine.h"

using namespace kestrum::platform;

TEST(CommandLine, SplitsLikeAShell) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine(R"(/opt/a/BramblinASL /add "Kestrum" "/opt/my dir/Kestrum" -autostart)"),
              (V{"/opt/a/BramblinASL", "/add", "Kestrum", "/opt/my dir/Kestrum", "-autostart"}));
    EXPECT_EQ(SplitCommandLine("  a\t b  "), (V{"a", "b"}));
    EXPECT_EQ(SplitCommandLine(R"(say "" \"q\")"), (V{"say", "", "\"q\""}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(LinuxShell, LaunchesWithoutWaitingAndReportsAMissingProgram) {
    kestrum::test::TTestHome home;
    auto shell = MakeLinuxShell();
    QString marker = home.File("started");
    ASSERT_TRUE(shell->LaunchProcess("sh -c \"sleep 0.2; touch '" + marker.toStdString() + "'\""));
    EXPECT_FALSE(QFile::exists(marker));  // did not wait for it
    QDeadlineTimer deadline(5000);
    while (!QFile::exists(marker) && !deadline.hasExpired()) QThread::msleep(20);
    EXPECT_TRUE(QFile::exists(marker));
    // Once ended, the program does not stay behind as our zombie.
    auto zombies = [] {
        int n = 0;
        for (const QString& pid : QDir(u"/proc"_qs).entryList(QDir::Dirs)) {
            QFile f(u"/proc/"_qs + pid + u"/stat"_qs);
            if (!f.open(QIODevice::ReadOnly)) continue;
            const QList<QByteArray> fields = f.readAll().split(')').value(1).split(' ');
            if (fields.value(1) == "Z" && fields.value(2).toInt() == getpid()) ++n;
        }
        return n;
    };
    while (zombies() > 0 && !deadline.hasExpired()) QThread::msleep(20);
    EXPECT_EQ(zombies(), 0);
    EXPECT_FALSE(shell->LaunchProcess("/nonexistent/program --flag"));
    EXPECT_FALSE(shell->LaunchProcess(""));
}

TEST(LinuxSingleInstance, OneHolderAndAHandOver) {
    kestrum::test::TTestHome home;
    std::string dir = home.File("run").toStdString();
    auto first = MakeLinuxSingleInstance(dir);
    auto second = MakeLinuxSingleInstance(dir);
    ASSERT_TRUE(first->Acquire("Test_@Name"));
    int64_t got = 0;
    ASSERT_TRUE(first->Listen([&](int64_t c) { got = c; }));
    EXPECT_FALSE(second->Acquire("Test_@Name"));
    ASSERT_TRUE(second->Send("Test_@Name", 73826));
    QDeadlineTimer deadline(5000);
    while (got == 0 && !deadline.hasExpired()) {
        first->Poll();
        QThread::msleep(10);
    }
    EXPECT_EQ(got, 73826);
    first->Release();
    EXPECT_TRUE(second->Acquire("Test_@Name"));  // released marker is free
    EXPECT_FALSE(first->Send("Nobody_Listens", 1));
}

TEST(LinuxFileVersion, OnlyOurOwnExecutableHasOne) {
    auto v = MakeLinuxFileVersion("2.0.1.7");
    EXPECT_EQ(v->FileVersion(""), "2.0.1.7");
    EXPECT_EQ(v->FileVersion("/proc/self/exe"), "2.0.1.7");
    EXPECT_EQ(v->FileVersion("/bin/sh"), "");
    EXPECT_EQ(v->FileVersion("/nonexistent"), "");
}

TEST(LinuxClock, TickCountMovesWithSleep) {
    auto c = MakeLinuxClock();
    uint32_t a = c->TickCount();
    c->Sleep(20);
    uint32_t b = c->TickCount();
    EXPECT_GE(uint32_t(b - a), 19u);  // unsigned difference: correct across a wrap too
}
