#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QSystemTrayIcon>

#include "app/KSOptimizeFlow.h"
#include "app/KSPressureMonitor.h"
#include "app/KSPressureNotice.h"
#include "app/frmKSMain.h"
#include "app/pages/KSOverviewPage.h"
#include "app/pages/KSUsageChart.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeSystemInfo.h"
#include "store/KSLogMgr.h"
#include "store/KSSettings.h"

using namespace kestrum;

namespace {

constexpr uint64_t GiB = uint64_t(1) << 30;

// The main window on fakes with pressure figures; the flow's jobs run at once.
struct PressureHubTest : ::testing::Test {
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
        platform::TPerformanceInfo m;
        m.PageSize = 4096;
        m.PhysicalTotal = 24 * GiB / 4096;
        m.PhysicalAvailable = 2 * GiB / 4096; // 8 %: low for both rules
        Info->Memory = m;
    }
    void Create(const QByteArray& pressureSection) {
        QDir().mkpath(Home.File(u"Config"_qs));
        QFile f(Home.File(u"Config/Config.ini"_qs));
        f.open(QIODevice::WriteOnly);
        f.write("[PRESSURE]\n" + pressureSection);
        f.close();
        History = std::make_unique<TKSLogMgr>(Home.Path());
        Main = std::make_unique<TFormKSMain>(Plat, Settings, QStringList{u"Kestrum"_qs});
        Main->SetHistory(History.get());
        Main->FormCreate();
        Main->OptimizeFlow()->SetExecutor([](std::function<void()> work) { work(); });
        Main->OptimizeFlow()->SetRunner([this](const TKSOptimizeFlow::TProgress&) {
            ++Runs;
            return TFreeRunReport{};
        });
        Main->PressureNotice()->SetTrayAvailable([] { return false; });
        Main->PressureNotice()->SetBusAddress(u"unix:path=/nonexistent/bus"_qs);
    }
    void TearDown() override {
        Main.reset();
        History.reset();
    }
    void Tick(uint32_t advanceMs) {
        Fakes.Clock->Advance(advanceMs);
        Main->tmrRefreshOverviewTimer();
        Main->tmrOptiMonTimer();
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
};

} // namespace

TEST_F(PressureHubTest, HighPressureFreesWhenSwitchedOnAndIsSpacedLikeThePolicy) {
    Settings.SleepValue = 30;
    Create("AutoFree=1\nFreeLevel=20\nFreeHoldSeconds=30\n");
    Info->Pressure = platform::TMemoryPressure{{45.0, 20, 5, 1000}, platform::TPressureLine{2.0, 1, 0, 10}};
    Tick(5000); // the policy's clock starts, the pressure begins to count
    EXPECT_EQ(Runs, 0);
    EXPECT_EQ(Main->PressureMonitor()->LastVerdict(), TPressureVerdict::Building);
    Tick(30000);
    EXPECT_EQ(Runs, 1);
    QFile day(History->DayFile(QDate::currentDate()));
    ASSERT_TRUE(day.open(QIODevice::ReadOnly));
    EXPECT_TRUE(day.readAll().contains("automatically"));
    // Still high half a minute later: the user's 30 minutes hold it.
    Tick(5000);
    Tick(30000);
    EXPECT_EQ(Runs, 1);
    EXPECT_EQ(Main->PressureMonitor()->LastVerdict(), TPressureVerdict::Spacing);
    // The pressure is drawn and named on the Usage chart.
    EXPECT_TRUE(Main->OverviewPage()->Chart()->SeriesPresent(TKSUsageChart::SeriesPressure));
    EXPECT_EQ(Main->OverviewPage()->Chart()->SeriesTitle(TKSUsageChart::SeriesPressure), u"Pressure: 45 %    "_qs);
}

TEST_F(PressureHubTest, OffByDefaultButTheWarningGoesOutOnce) {
    Settings.SleepValue = 30;
    Create("");
    Info->Pressure = platform::TMemoryPressure{{45.0, 20, 5, 1000}, std::nullopt};
    for (int i = 0; i < 40; ++i) Tick(1000);
    EXPECT_EQ(Runs, 0);
    EXPECT_EQ(Main->PressureMonitor()->LastVerdict(), TPressureVerdict::Off);
    EXPECT_EQ(Main->PressureNotice()->LastRoute(), TKSPressureNotice::TRoute::Notification);
    EXPECT_EQ(Main->PressureMonitor()->Warning().Warnings(), 1);
}

TEST_F(PressureHubTest, WithoutTheMeasureNothingIsShownAndNothingFails) {
    Create("AutoFree=1\n");
    for (int i = 0; i < 3; ++i) Tick(5000);
    EXPECT_EQ(Runs, 0);
    EXPECT_EQ(Main->PressureMonitor()->LastVerdict(), TPressureVerdict::NoMeasure);
    EXPECT_FALSE(Main->OverviewPage()->Chart()->SeriesPresent(TKSUsageChart::SeriesPressure));
    EXPECT_EQ(Main->PressureNotice()->LastRoute(), TKSPressureNotice::TRoute::None);
}
