#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include "app/KSOptimizeFlow.h"
#include "app/frmKSMain.h"
#include "app/pages/KSOptimizePage.h"
#include "common/TestHome.h"
#include "desktop/X11Connection.h"
#include "gui_x11/XClient.h"
#include "platform/Platform.h"
#include "platform/fake/FakeProcesses.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/fake/FakeServiceManager.h"
#include "skin/OrvImageButton.h"
#include "store/KSLogMgr.h"
#include "store/KSSettings.h"

using namespace kestrum;

namespace {

// The real program on a real X server (hotkeys, window, input), except that the process table and the
// system settings are fakes: the run trims nothing of the machine.
struct FreeNowTest : ::testing::Test {
    test::TTestHome Home;
    QTemporaryDir Runtime;
    platform::TPlatform Plat;
    TKSSettings Settings;

    void SetUp() override {
        if (!test::EnsureX11App()) GTEST_SKIP() << "no X server (DISPLAY)";
        platform::TLinuxPlatformOptions o;
        o.DataDir = Home.Path().toStdString();
        o.RuntimeDir = Runtime.path().toStdString();
        o.OwnVersion = "1.0.0.0";
        o.XcbConnection = QtX11Connection();
        Plat = platform::MakeLinuxPlatform(o);
        Plat.Processes = std::make_unique<platform::TFakeProcesses>();
        Plat.Registry = std::make_unique<platform::TFakeRegistry>();
        Plat.Services = std::make_unique<platform::TFakeServiceManager>();
        QDir().mkpath(Home.File("Config"));
        QFile f(Home.File("Config/Config.ini"));
        f.open(QIODevice::WriteOnly);
        f.write("[KESTRUM]\nShowTrayIcon=0\nUseHotKey=1\nHotKeyValue=32845\n"); // Alt+M
    }

    static QStringList Lines(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
};

} // namespace

TEST_F(FreeNowTest, ClickRunsTheAnimationAndRecordsAndTheHotkeyRecordsAnother) {
    TKSLogMgr history(Home.Path());
    TFormKSMain w(Plat, Settings, {"Kestrum", "-popup", "73826"});
    w.SetHistory(&history);
    w.FormCreate();
    ASSERT_EQ(w.ActiveTabIndex(), 1);
    TOrvImageButton* button = w.OptimizePage()->btnOptimize();
    ASSERT_TRUE(
        test::WaitFor([&] { return button->isVisible() && w.windowHandle() && w.windowHandle()->isExposed(); }));
    test::WaitFor([] { return false; }, 300); // the window manager places the window

    const QPoint at = button->mapToGlobal(button->rect().center());
    ASSERT_TRUE(test::Xdotool({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())}));
    ASSERT_TRUE(test::Xdotool({"click", "1"}));
    TKSOptimizeFlow* flow = w.OptimizeFlow();
    ASSERT_TRUE(test::WaitFor([&] { return flow->Animating(); }));
    EXPECT_FALSE(button->isVisible());
    ASSERT_TRUE(test::WaitFor([&] { return !flow->Animating(); }, 10000));
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(flow->RunsStarted(), 1);
    const QString status = w.OptimizePage()->lblOptimizeProc()->text();
    EXPECT_TRUE(status.startsWith(u"Latest optimization report: "_qs)) << status.toStdString();
    // Each star tells what its stage did here: the tuning is only recorded on Linux, and the run's star is
    // golden only when it freed something.
    const bool freed = !status.contains(u"nothing could be freed"_qs);
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(w.OptimizePage()->ChecklistDone(k)) << k;
    for (int k : {3, 4}) EXPECT_EQ(w.OptimizePage()->ChecklistDone(k), Plat.SystemParameters->TakesEffect()) << k;
    EXPECT_EQ(w.OptimizePage()->ChecklistDone(5), freed);

    const QString day = history.DayFile(QDate::currentDate());
    QStringList lines = Lines(day);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains(u"\"Memory was optimized manually.\""_qs)) << lines[0].toStdString();

    ASSERT_TRUE(test::Xdotool({"key", "alt+m"}));
    ASSERT_TRUE(test::WaitFor([&] { return Lines(day).size() == 2; }, 10000));
    EXPECT_TRUE(Lines(day)[1].contains(u"\"Memory was optimized manually.\""_qs));
    EXPECT_EQ(flow->RunsStarted(), 2);
}

// A logon start with no notification area to hide in stays a minimized window: placing it must not map it
// back whole (the window manager's WM_STATE is what the user sees).
TEST_F(FreeNowTest, AutostartWithoutATrayStaysMinimized) {
    TFormKSMain w(Plat, Settings, {"Kestrum", "-autostart"});
    w.SetTrayAvailableProbe([] { return false; });
    w.FormCreate();
    ASSERT_TRUE(test::WaitFor([&] { return w.isVisible() && w.windowHandle(); }));
    auto wmState = [&] {
        QProcess xprop;
        xprop.start("xprop", {"-id", QString::number(w.winId()), "WM_STATE"});
        xprop.waitForFinished(5000);
        return QString::fromUtf8(xprop.readAllStandardOutput());
    };
    QString state;
    EXPECT_TRUE(test::WaitFor([&] { return (state = wmState()).contains("Iconic"); }, 2000)) << state.toStdString();
}
