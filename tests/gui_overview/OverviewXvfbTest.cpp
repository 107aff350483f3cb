// The Usage page on a real X server: the chart fills with the three series as the seconds pass, and a click
// on a legend box takes one series off the screen.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QWindow>

#include "app/frmKSMain.h"
#include "app/pages/KSOverviewPage.h"
#include "app/pages/KSUsageChart.h"
#include "common/TestHome.h"
#include "common/XDisplay.h"
#include "desktop/X11Connection.h"
#include "platform/IHotKeys.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeSystemInfo.h"
#include "store/KSSettings.h"

using namespace kestrum;
using test::WaitFor;

namespace {

// A machine whose processor load wanders while memory sits at 50 % and the commit charge at 80 %, so the
// three lines never cover each other.
void Script(platform::TFakeSystemInfo& info) {
    info.Processors = 2;
    info.Samples.clear();
    for (int k = 0; k < 600; ++k) {
        const int64_t t = int64_t(k) * 10000000;
        const int busy = 20 + (k * 7) % 20; // percent
        platform::TProcessorSample s{t, t * 2 * (100 - busy) / 100, {}};
        for (int i = 0; i < 2; ++i) s.Processors.push_back({t * (100 - busy) / 100, t, 0, 0, 0});
        info.Samples.push_back(s);
    }
    platform::TPerformanceInfo m;
    m.PageSize = 4096;
    m.PhysicalTotal = 1 << 20;
    m.PhysicalAvailable = 1 << 19;
    m.CommitLimit = 1 << 20;
    m.CommitTotal = (1 << 20) * 8 / 10;
    m.CommitPeak = m.CommitTotal;
    info.Memory = m;
}

struct TOverviewOnX : ::testing::Test {
    test::TTestHome Home;
    platform::TFakeHandles Fakes;
    platform::TPlatform Plat = platform::MakeFakePlatform(&Fakes);
    TKSSettings Settings;
    std::unique_ptr<TFormKSMain> Main;

    void SetUp() override {
        if (!test::HaveXDisplay("test_gui_overview")) GTEST_SKIP() << "needs an X display and xdotool";
        Script(*dynamic_cast<platform::TFakeSystemInfo*>(Plat.SystemInfo.get()));
        // The real key grabs: the fake ones would take every X event for a key press.
        Plat.HotKeys = platform::MakeX11HotKeys(QtX11Connection());
        QDir().mkpath(Home.File("Config"));
        QFile config(Home.File("Config/Config.ini"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[KESTRUM]\nShowTrayIcon=0\nUseHotKey=0\nAntiDisturb=0\n");
    }
    void TearDown() override { Main.reset(); }

    // Which of the three series colours the chart shows on the screen now.
    std::vector<bool> ColoursOnScreen() {
        TKSUsageChart* chart = Main->OverviewPage()->Chart();
        const QRect plot = chart->PlotRect();
        const QPoint at = chart->mapTo(Main.get(), plot.topLeft());
        const QImage shot = Main->screen()
                                ->grabWindow(Main->winId(), at.x(), at.y(), plot.width(), plot.height())
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
        std::vector<bool> seen(3, false);
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                for (int i = 0; i < 3; ++i)
                    if (shot.pixelColor(x, y) == chart->SeriesColor(i)) seen[i] = true;
        return seen;
    }
};

} // namespace

TEST_F(TOverviewOnX, TheChartFillsAndALegendBoxHidesItsSeries) {
    Main = std::make_unique<TFormKSMain>(Plat, Settings, QStringList{"Kestrum"});
    Main->FormCreate();
    ASSERT_TRUE(Main->isVisible());
    WaitFor([&] { return Main->windowHandle() && Main->windowHandle()->isExposed(); }, 2000);
    // The refresh timer itself, a few seconds of it.
    WaitFor([&] { return Main->OverviewPage()->Chart()->PointsAdded() >= 4; }, 8000);
    ASSERT_GE(Main->OverviewPage()->Chart()->PointsAdded(), 4);
    EXPECT_EQ(ColoursOnScreen(), (std::vector<bool>{true, true, true}));

    // A real click on the memory series' legend box.
    TKSUsageChart* chart = Main->OverviewPage()->Chart();
    const QPoint box = chart->mapToGlobal(chart->LegendBoxRect(1).center());
    QProcess::execute("xdotool", {"mousemove", QString::number(box.x()), QString::number(box.y()), "click", "1"});
    ASSERT_TRUE(WaitFor([&] { return !chart->SeriesVisible(1); }));
    WaitFor([] { return false; }, 300); // painted
    EXPECT_EQ(ColoursOnScreen(), (std::vector<bool>{true, false, true}));
}
