// The main window on a real X server (Xvfb + openbox), driven with xdotool: the Logs page lists what earlier
// runs recorded, F1 opens the help page in the user's browser (a stub browser on PATH), and kestrum-cli
// switches the running window's language.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTableView>
#include <QWindow>

#include "app/frmKSMain.h"
#include "app/pages/KSLogsPage.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "common/XDisplay.h"
#include "desktop/X11Connection.h"
#include "platform/fake/FakePlatform.h"
#include "skin/OrvImageButton.h"
#include "store/KSLogMgr.h"
#include "store/KSSettings.h"

using namespace kestrum;

namespace {

bool HaveDisplay() {
    return test::HaveXDisplay("test_gui_logs");
}

using test::WaitFor;

void Xdo(const QStringList& args) {
    QProcess::execute(QStringLiteral("xdotool"), args);
    WaitFor([] { return false; }, 100); // let the events reach the window
}

struct TLogsOnX : ::testing::Test {
    test::TTestHome Home;
    QTemporaryDir Bin;
    QByteArray OldPath = qgetenv("PATH");
    platform::TFakeHandles Fakes;
    platform::TPlatform Plat = platform::MakeFakePlatform(&Fakes);
    TKSSettings Settings;
    std::unique_ptr<TKSLogMgr> History;
    std::unique_ptr<TFormKSMain> Main;

    void SetUp() override {
        if (!HaveDisplay()) GTEST_SKIP() << "needs an X display and xdotool";
        // The real shell, with a browser on PATH that notes what it was asked to open. The real key grabs:
        // the fake ones would take every X event for a key press.
        Plat.Shell = platform::MakeLinuxShell();
        Plat.HotKeys = platform::MakeX11HotKeys(QtX11Connection());
        QFile stub(Bin.filePath("xdg-open"));
        ASSERT_TRUE(stub.open(QIODevice::WriteOnly));
        stub.write(("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + Opened() + "'\n").toUtf8());
        stub.close();
        stub.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", Bin.path().toUtf8() + ':' + OldPath);

        QDir().mkpath(Home.File("Config"));
        QFile config(Home.File("Config/Config.ini"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[KESTRUM]\nShowTrayIcon=0\nUseHotKey=0\nAntiDisturb=0\n");
    }
    void TearDown() override {
        Main.reset();
        History.reset();
        qputenv("PATH", OldPath);
    }

    QString Opened() const { return Home.File("opened.txt"); }

    // One record of an earlier run, `daysBack` days ago.
    void RecordEarlierRun(int daysBack) {
        const QDateTime at(QDate::currentDate().addDays(-daysBack), QTime(9, 15));
        TKSLogMgr run(Home.Path(), [at] { return at; });
        run.AddHistoryRecord(QStringLiteral("day -%1").arg(daysBack), QStringLiteral("1.00 GB -> 1.20 GB, +200 MB."));
    }

    void Start() {
        History = TKSLogMgr::Create();
        Main = std::make_unique<TFormKSMain>(Plat, Settings, QStringList{"Kestrum"});
        Main->SetHistory(History.get());
        Main->FormCreate();
        ASSERT_TRUE(Main->isVisible());
        // A shaped window may never report itself exposed; give the server time to map and paint it.
        WaitFor([&] { return Main->windowHandle() && Main->windowHandle()->isExposed(); }, 2000);
        WaitFor([] { return false; }, 300);
    }
    QString Wid() const { return QString::number(Main->winId()); }
};

TEST_F(TLogsOnX, LogsPageListsEarlierRunsInRange) {
    for (int back : {1, 3, 6, 40}) RecordEarlierRun(back);
    Start();
    // A click on the Logs tab button.
    const QPoint tab = Main->mapToGlobal(QPoint(273 + 38, 36 + 40));
    Xdo({"mousemove", QString::number(tab.x()), QString::number(tab.y()), "click", "1"});
    ASSERT_TRUE(WaitFor([&] { return Main->ActiveTabIndex() == 2; }));
    EXPECT_EQ(Main->LogsPage()->size(), QSize(770, 435)); // the whole page area
    QTableView* list = Main->LogsPage()->List();
    ASSERT_TRUE(list->isVisible());
    ASSERT_TRUE(WaitFor([&] { return !Main->LogsPage()->Loading(); }));
    QStringList ops;
    for (int i = 0; i < list->model()->rowCount(); ++i) ops << list->model()->index(i, 1).data().toString();
    EXPECT_EQ(ops, (QStringList{"day -1", "day -3"}));                               // the last 3 days, newest first
    EXPECT_TRUE(list->model()->index(0, 0).data().toString().contains(":15")); // the record's own time
}

TEST_F(TLogsOnX, F1OpensTheHelpPageInTheBrowser) {
    QDir().mkpath(Home.File("Langs/0"));
    QFile help(Home.File("Langs/0/Help.html"));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("<html><body>Kestrum help</body></html>");
    help.close();
    Start();
    Xdo({"windowactivate", "--sync", Wid()});
    ASSERT_TRUE(WaitFor([&] { return Main->isActiveWindow(); }));
    Xdo({"key", "F1"});
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(Opened()); }));
    WaitFor([] { return false; }, 200);
    QFile opened(Opened());
    ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
    EXPECT_EQ(opened.readAll(), Home.File("Langs/0/Help.html").toUtf8() + '\n');
}

TEST_F(TLogsOnX, KestrumCliSwitchesTheRunningWindowsLanguage) {
    const QString cli = QStringLiteral(KESTRUM_BINARY_DIR "/bin/kestrum-cli");
    if (!QFile::exists(cli)) GTEST_SKIP() << "kestrum-cli is not built";
    QDir().mkpath(Home.File("Langs/1031"));
    ASSERT_TRUE(QFile::copy(KESTRUM_SOURCE_DIR "/Langs/1031/Kestrum.ini", Home.File("Langs/1031/Kestrum.ini")));
    Start();
    auto* optimize = Main->findChild<TOrvImageButton*>("btnTabOptimize");
    ASSERT_EQ(optimize->Caption(), "Optimize");
    EXPECT_EQ(QProcess::execute(cli, {"language", "1031"}), 0);
    EXPECT_TRUE(WaitFor([&] { return optimize->Caption() == "Optimieren"; }));
    EXPECT_EQ(Main->LanguageId(), 1031);
    // Nonsense is refused by the sender and changes nothing.
    EXPECT_EQ(QProcess::execute(cli, {"language", "70000"}), 1);
}

} // namespace

TEST_F(TLogsOnX, ClosingTheCalendarOnAnEarlierEndPullsItBack) {
    Start();
    const QPoint tab = Main->mapToGlobal(QPoint(273 + 38, 36 + 40));
    Xdo({"mousemove", QString::number(tab.x()), QString::number(tab.y()), "click", "1"});
    ASSERT_TRUE(WaitFor([&] { return Main->ActiveTabIndex() == 2; }));
    TKSLogsPage* page = Main->LogsPage();
    page->cbbLogsRangeChange(TKSLogsPage::CustomRange);
    const QDate begin = page->BeginDate();
    // The end picker's drop-down button, a month back in its calendar, Enter.
    const QPoint arrow = Main->mapToGlobal(QPoint(15 + 423 + 138, 126 + 33 + 10));
    Xdo({"mousemove", QString::number(arrow.x()), QString::number(arrow.y()), "click", "1"});
    ASSERT_TRUE(WaitFor([&] { return page->EndPicker()->calendarWidget()->isVisible(); }));
    Xdo({"key", "Prior"});
    Xdo({"key", "Return"});
    ASSERT_TRUE(WaitFor([&] { return !page->EndPicker()->calendarWidget()->isVisible(); }));
    EXPECT_EQ(page->EndDate(), begin);
}
