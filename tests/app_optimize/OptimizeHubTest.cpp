#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSystemTrayIcon>

#include "app/KSBalloon.h"
#include "app/KSCmdLine.h"
#include "app/KSOptimizeFlow.h"
#include "app/frmKSMain.h"
#include "app/pages/KSOptimizePage.h"
#include "app/pages/KSOverviewPage.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "desktop/OrvHotKeyManager.h"
#include "engine/KSOptiMonPolicy.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeSystemInfo.h"
#include "skin/OrvImage.h"
#include "skin/OrvImageButton.h"
#include "store/KSLogMgr.h"
#include "store/KSSettings.h"

using namespace kestrum;

namespace {

constexpr uint64_t GiB = uint64_t(1) << 30;

// The main window on fakes, with its history below a temporary data folder; the flow's jobs run at once
// (their results still come back through the event loop).
struct HubTest : ::testing::Test {
    test::TTestHome Home;
    platform::TFakeHandles Fakes;
    platform::TPlatform Plat = platform::MakeFakePlatform(&Fakes);
    platform::TFakeSystemInfo* Info = static_cast<platform::TFakeSystemInfo*>(Plat.SystemInfo.get());
    TKSSettings Settings;
    std::unique_ptr<TKSLogMgr> History;
    std::unique_ptr<TFormKSMain> Main;
    int Runs = 0;

    void SetUp() override {
        test::EnsureQtApp();
        SetMemory(24 * GiB, 3 * GiB);
    }
    void Create(QStringList args = {"Kestrum"}) {
        History = std::make_unique<TKSLogMgr>(Home.Path());
        Main = std::make_unique<TFormKSMain>(Plat, Settings, args);
        Main->SetHistory(History.get());
        Main->FormCreate();
        Flow()->SetExecutor([](std::function<void()> work) { work(); });
        Flow()->SetRunner([this](const TKSOptimizeFlow::TProgress&) {
            ++Runs;
            SetMemory(24 * GiB, 4 * GiB + GiB / 2);
            return TFreeRunReport{};
        });
        Main->TrayIcon()->setVisible(Settings.ShowTrayIcon);
        Main->Balloon()->SetBusAddress(u"unix:path=/nonexistent/bus"_qs); // no notification service here
    }
    void TearDown() override {
        Main.reset();
        History.reset();
    }
    TKSOptimizeFlow* Flow() { return Main->OptimizeFlow(); }
    void SetMemory(uint64_t total, uint64_t available) {
        platform::TPerformanceInfo m;
        m.PageSize = 4096;
        m.PhysicalTotal = total / 4096;
        m.PhysicalAvailable = available / 4096;
        Info->Memory = m;
    }
    void Settle() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
    QStringList DayFileLines() {
        QFile f(History->DayFile(QDate::currentDate()));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
};

} // namespace

TEST_F(HubTest, TrayOptimizeWhileHiddenFreesWithBalloonAndRecordButNoFigure) {
    Create();
    Main->hide();
    Main->mniTrayIconOptimizeClick();
    Settle();
    EXPECT_EQ(Runs, 1);
    const QStringList lines = DayFileLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(
        lines[0].contains(u"|\"Memory was optimized manually.\"|\"3,072.00 MB -> 4,608.00 MB, +1,536.00 MB.\""_qs))
        << lines[0].toStdString();
    EXPECT_EQ(Main->Balloon()->Count(), 1); // no notification area offscreen: sent as a notification
    EXPECT_EQ(Main->Balloon()->LastRoute(), TKSBalloon::TRoute::Notification);
    EXPECT_FALSE(Flow()->tmrOptiResult().isActive());
    EXPECT_TRUE(Main->OptimizePage()->lblOptimizeProc()->text().startsWith(u"Latest optimization report"_qs));
}

TEST_F(HubTest, HotkeyFreesOnlyWhenOnAndEqualToTheSetting) {
    Create();
    const uint32_t key = Settings.HotKeyValue;
    struct {
        bool use;
        uint32_t pressed;
        int runs;
    } cases[] = {{true, key, 1}, {true, key + 1, 0}, {false, key, 0}};
    for (auto& c : cases) {
        Runs = 0;
        Settings.UseHotKey = c.use;
        // The manager reports only registered combinations; the rule under test is the window's own.
        emit Main->HotKeyManager()->OnHotKeyPressed(c.pressed, 1);
        Settle();
        EXPECT_EQ(Runs, c.runs) << c.use << " " << c.pressed;
    }
    EXPECT_EQ(DayFileLines().size(), 1);
}

TEST_F(HubTest, UsagePageFreeNowSelectsTheOptimizePageAndWaitsForTheAnimation) {
    Create();
    ASSERT_EQ(Main->ActiveTabIndex(), 0);
    emit Main->OverviewPage()->OptimizeClicked();
    EXPECT_FALSE(Main->OverviewPage()->OptimizeButtonEnabled());
    EXPECT_EQ(Main->ActiveTabIndex(), 1);
    EXPECT_TRUE(Flow()->Animating());
    EXPECT_FALSE(Main->OptimizePage()->btnOptimize()->isVisible());
    for (int i = 0; i < 83; ++i) Flow()->tmrOptiProcTimer();
    Settle();
    EXPECT_EQ(Runs, 1);
    EXPECT_FALSE(Main->OverviewPage()->OptimizeButtonEnabled()); // until the animation has ended
    for (int i = 0; i < 17; ++i) Flow()->tmrOptiProcTimer();
    EXPECT_FALSE(Flow()->Animating());
    EXPECT_TRUE(Main->OverviewPage()->OptimizeButtonEnabled());
    EXPECT_TRUE(Main->OptimizePage()->btnOptimize()->isVisible());
    EXPECT_EQ(Main->Balloon()->Count(), 0);
    EXPECT_TRUE(Flow()->tmrOptiResult().isActive()); // window shown: the figure grows
    QLabel* figure = Main->OptimizePage()->lblOptimizeResult();
    EXPECT_EQ(figure->text(), u"+ 1,536.00 MB"_qs);
    EXPECT_EQ(figure->pos(), QPoint(512, 96)); // small: at its place
    // (the real timer may have ticked once already on a busy machine: grown until full size, at most 16 ticks)
    for (int i = 0; i < 16 && Flow()->ResultFontHeight() < 25; ++i) Flow()->tmrOptiResultTimer();
    EXPECT_EQ(Flow()->ResultFontHeight(), 25);
    EXPECT_LE(figure->geometry().right(), figure->parentWidget()->width() - 2); // grown: still inside the panel
    EXPECT_EQ(DayFileLines().size(), 1);
}

// "-optimize" from a second start (a desktop's own shortcut): the hotkey's run, without raising the window.
TEST_F(HubTest, OptimizeHandOverRunsLikeTheHotkeyWithoutComingForward) {
    Create();
    Main->hide();
    Main->HandOver(EncodeHandOver(THandOver{0, true}));
    Settle();
    EXPECT_EQ(Runs, 1);
    const QStringList lines = DayFileLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains(u"\"Memory was optimized manually.\""_qs)) << lines[0].toStdString();
    EXPECT_EQ(Main->Balloon()->Count(), 1);
    EXPECT_FALSE(Main->isVisible());
    EXPECT_EQ(Main->ActiveTabIndex(), 0);
}

TEST_F(HubTest, PolicyTickFreesAutomaticallyWithBalloon) {
    Create();
    Settings.SleepValue = -1;
    SetMemory(24 * GiB, 2 * GiB); // 8 %
    Main->tmrOptiMonTimer();
    Settle();
    EXPECT_EQ(Runs, 1);
    ASSERT_EQ(DayFileLines().size(), 1);
    EXPECT_TRUE(DayFileLines()[0].contains(u"Memory was optimized automatically in background."_qs));
    EXPECT_EQ(Main->Balloon()->Count(), 1);

    Settings.SleepValue = 30; // the first spaced tick only starts the clock
    SetMemory(24 * GiB, 2 * GiB);
    Main->tmrOptiMonTimer();
    Settle();
    EXPECT_EQ(Runs, 1);
    EXPECT_NE(Main->OptiMon()->LastCheckTick(), 0u);
}

TEST_F(HubTest, NoTrayIconNoBalloonAndAFailedHistoryWriteEndsNothing) {
    Create();
    Main->TrayIcon()->setVisible(false);
    // A folder where today's file should be: the append fails.
    QDir().mkpath(History->DayFile(QDate::currentDate()));
    Main->mniTrayIconOptimizeClick();
    Settle();
    EXPECT_EQ(Runs, 1);
    EXPECT_EQ(Main->Balloon()->Count(), 0);
    // (shown with a no-break space: a size never wraps between number and unit)
    EXPECT_TRUE(Main->OptimizePage()->lblOptimizeProc()->text().contains(u"4,608.00\u00A0MB"_qs));
    Main->mniTrayIconOptimizeClick(); // and the next one still works
    Settle();
    EXPECT_EQ(Runs, 2);
}

TEST_F(HubTest, CreationResetsTheChecklistAndShowsThePageTexts) {
    Create();
    auto* page = Main->OptimizePage();
    EXPECT_EQ(page->imgOptimizeProc1()->width(), 0);
    for (int k = 0; k < 6; ++k) EXPECT_FALSE(page->ChecklistDone(k));
    EXPECT_EQ(page->lblOptimizeProc()->text(), u"Click \"Free Now\" to optimize memory."_qs);
    EXPECT_EQ(page->ChecklistText(5), u"Optimize memory now."_qs);
    EXPECT_EQ(page->imgOptimze()->GIFAnimationSpeed(), 100);
    EXPECT_FALSE(page->imgOptimze()->isVisible());
}

// The policy decides every fifth refresh tick on that tick's sample: one processor sample a second in all.
TEST_F(HubTest, PolicyRidesOnTheRefreshTickSample) {
    Create();
    Settings.SleepValue = -1;
    SetMemory(24 * GiB, 2 * GiB); // 8 %
    Info->ProcessorQueries = 0;
    for (int i = 0; i < 4; ++i) Main->tmrRefreshOverviewTimer();
    Settle();
    EXPECT_EQ(Runs, 0);
    Main->tmrRefreshOverviewTimer();
    Settle();
    EXPECT_EQ(Runs, 1);
    EXPECT_EQ(Info->ProcessorQueries, 5);
    // Asked for on its own, the check samples for itself.
    SetMemory(24 * GiB, 2 * GiB);
    Main->tmrOptiMonTimer();
    Settle();
    EXPECT_EQ(Runs, 2);
    EXPECT_EQ(Info->ProcessorQueries, 6);
}

// A remark longer than its box shows as whole lines that fit, the last one ending in an ellipsis; the whole
// remark is the tooltip. A short one shows as it is.
TEST_F(HubTest, ALongNoteShowsWholeLinesThatFit) {
    Create();
    TKSOptimizePage* page = Main->OptimizePage();
    QLabel* note = page->lblOptimizeNote();
    const QString longNote = QString(u"Kestrum may not free other programs' memory: that needs root or the capability "
                                     u"CAP_SYS_NICE, and the freeing service cannot be reached. "_qs)
                                 .repeated(3);
    page->SetNoteText(longNote);
    EXPECT_EQ(note->toolTip(), longNote);
    const QStringList lines = note->text().split(u'\n');
    const QFontMetrics fm(note->font());
    EXPECT_LE(lines.size() * fm.height(), note->contentsRect().height());
    EXPECT_TRUE(note->text().endsWith(u"\u2026"_qs)) << note->text().toStdString();
    for (const QString& line : lines) EXPECT_LE(fm.horizontalAdvance(line), note->contentsRect().width());
    page->SetNoteText(u"Only cached file pages could leave memory."_qs);
    EXPECT_EQ(note->text(), u"Only cached file pages could leave memory."_qs);
}
