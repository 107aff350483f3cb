#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QSystemTrayIcon>

#include "app/frmKSMain.h"
#include "app/pages/KSGauge.h"
#include "app/pages/KSOverviewPage.h"
#include "app/pages/KSOverviewTexts.h"
#include "app/pages/KSTextCache.h"
#include "app/pages/KSUsageChart.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "desktop/OrvAntiDisturb.h"
#include "engine/SystemStatus.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeSystemInfo.h"
#include "skin/OrvImagePanel.h"
#include "store/KSSettings.h"

using namespace kestrum;
using platform::TFakeSystemInfo;
using platform::TPerformanceInfo;
using platform::TProcessorSample;

namespace {

constexpr uint64_t MiB = 1024 * 1024;

// Two samples one interval apart: processor i (1-based) busy `busy[i-1]` percent of it, the machine `total`.
void ScriptProcessors(TFakeSystemInfo& info, int total, const std::vector<int>& busy) {
    const int n = int(busy.size());
    TProcessorSample a{1000, 0, {}}, b{2000, 1000 * n * (100 - total) / 100, {}};
    for (int i = 0; i < n; ++i) {
        a.Processors.push_back({0, 0, 0, 0, 0});
        // Busy total counts the idle time too.
        b.Processors.push_back({10 * (100 - busy[i]), 1000, 0, 0, 0});
    }
    info.Processors = uint32_t(n);
    info.Samples = {a, b};
}

TPerformanceInfo Memory(uint64_t totalMiB, uint64_t availMiB, uint64_t commitMiB = 0, uint64_t limitMiB = 0) {
    TPerformanceInfo m;
    m.PageSize = 4096;
    m.PhysicalTotal = totalMiB * MiB / 4096;
    m.PhysicalAvailable = availMiB * MiB / 4096;
    m.SystemCache = 512 * MiB / 4096;
    m.CommitTotal = commitMiB * MiB / 4096;
    m.CommitLimit = limitMiB * MiB / 4096;
    m.CommitPeak = m.CommitTotal;
    return m;
}

struct TLangs {
    TOrvMultiLangs Langs;
    TLangs() {
        Langs.SetOnMakeDefault([](TOrvMultiLangs* l) { MultiLangsMakeDefault(l); });
    }
};

} // namespace

TEST(OverviewTexts, TrayPictureBands) {
    struct {
        int Percent, Current, Want;
    } cases[] = {{0, 7, 1},   {1, 7, 2},    {10, 7, 2},  {11, 7, 3}, {50, 7, 6},
                 {91, 7, 11}, {100, 7, 11}, {101, 7, 7}, {-1, 7, 7}};
    for (auto c : cases) EXPECT_EQ(TrayPictureForUsage(c.Percent, c.Current), c.Want) << c.Percent;
    // Do-not-disturb wins; a static icon is never touched by the tick; no tray icon, no dynamic picture.
    EXPECT_EQ(TrayPictureForTick(true, true, false, 50, 0), 12);
    EXPECT_EQ(TrayPictureForTick(false, true, false, 50, 0), 0);
    EXPECT_EQ(TrayPictureForTick(false, false, true, 50, 4), 4);
    EXPECT_EQ(TrayPictureForTick(false, true, true, 50, 4), 6);
    EXPECT_EQ(TrayPictureForStateChange(true, true, false), 12);
    EXPECT_EQ(TrayPictureForStateChange(false, true, false), 0);
    EXPECT_EQ(TrayPictureForStateChange(false, true, true), 1);
    EXPECT_EQ(TrayPictureForStateChange(true, false, true), -1);
}

TEST(OverviewTexts, CpuPanelForOneTwoAndFourProcessors) {
    TLangs l;
    const QString rule(12, QChar(0x2500));
    struct {
        std::vector<int> Busy;
        int Total;
        QString Want;
    } cases[] = {
        {{40}, 40, u"CPU Usage 40 %\n\r"_qs},
        {{10, 30}, 20, u"CPU Usage 20 %\n\r"_qs + rule + u"\n\rCPU Core 1: 10 %\n\rCPU Core 2: 30 %\n\r"_qs},
        {{10, 20, 30, 40},
         25,
         u"CPU Usage 25 %\n\r"_qs + rule +
             u"\n\rCPU Core 1: 10 %\n\rCPU Core 2: 20 %\n\rCPU Core 3: 30 %\n\rCPU Core 4: 40 %\n\r"_qs},
    };
    for (auto& c : cases) {
        TFakeSystemInfo info;
        ScriptProcessors(info, c.Total, c.Busy);
        TSystemStatus s(info);
        s.RefreshCPU();
        s.RefreshCPU();
        EXPECT_EQ(CpuPanelCaption(l.Langs, s), c.Want) << c.Busy.size();
    }
}

TEST(OverviewTexts, PercentagesFromSixtyFourBitCountsAndKeptWhileTotalsAreZero) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TLangs l;
    TFakeSystemInfo info;
    info.Memory = Memory(8192, 2048, 3000, 12000); // 75 % used, 25 % committed
    TSystemStatus s(info);
    ASSERT_TRUE(s.RefreshMemory());
    TKSUsagePercents u;
    u.Update(s);
    EXPECT_EQ(u.MemUsagePercent, 75);
    EXPECT_EQ(u.PageFileUsagePercent, 25);
    const QString mem = MemPanelCaption(l.Langs, s, u.MemUsagePercent);
    EXPECT_TRUE(mem.contains(u"Total MEM: 8,192.00 MB"_qs)) << mem.toStdString();
    EXPECT_TRUE(mem.contains(u"Available MEM: 2,048.00 MB"_qs)) << mem.toStdString();
    EXPECT_TRUE(mem.startsWith(u"Usage of Memory: 75 %\n\r"_qs)) << mem.toStdString();
    EXPECT_TRUE(PfPanelCaption(l.Langs, s, u.PageFileUsagePercent).contains(u"Total PF: 12,000.00 MB"_qs));

    // Ties go to the even neighbour: 2.5 % → 2, 3.5 % → 4 (200 and 100 pages of 8000 and 4000... in bytes).
    info.Memory = Memory(1000, 975, 35, 1000);
    s.RefreshMemory();
    u.Update(s);
    EXPECT_EQ(u.MemUsagePercent, 2);
    EXPECT_EQ(u.PageFileUsagePercent, 4);

    // A snapshot with no totals keeps the last figures.
    info.Memory = TPerformanceInfo{};
    info.Memory->PageSize = 4096;
    s.RefreshMemory();
    u.Update(s);
    EXPECT_EQ(u.MemUsagePercent, 2);
    EXPECT_EQ(u.PageFileUsagePercent, 4);
}

TEST(OverviewTexts, TrayHintWithDoNotDisturbSuffix) {
    TLangs l;
    EXPECT_EQ(TrayHint(l.Langs, 55, false), u"Memory usage: 55 %"_qs);
    EXPECT_EQ(TrayHint(l.Langs, 55, true), u"Memory usage: 55 %\n\rDo-not-disturb..."_qs);
}

TEST(UsageChart, ScrollsOnePointATickAndKeepsOnlyWhatCanBeSeen) {
    test::EnsureQtApp();
    TKSUsageChart chart;
    chart.resize(762, 302);
    EXPECT_EQ(chart.AxisMin(), 0);
    EXPECT_EQ(chart.AxisMax(), 200);
    for (int t = 1; t <= 600; ++t) chart.AddPoints(t % 101, 50, 100 - t % 101);
    EXPECT_EQ(chart.AxisMin(), 600);
    EXPECT_EQ(chart.AxisMax(), 800);
    EXPECT_EQ(chart.PointsAdded(), 600);
    EXPECT_LE(chart.PointsHeld(), TKSUsageChart::Capacity);
    // Every visible position holds the point added there (the first point went to x = 201).
    int v = -1;
    for (int64_t x = 600; x <= 800; ++x) {
        ASSERT_TRUE(chart.PointAt(0, x, v)) << x;
        EXPECT_EQ(v, int((x - 200) % 101)) << x;
    }
    EXPECT_FALSE(chart.PointAt(0, 801, v));
}

TEST(UsageChart, LegendBoxHidesASeries) {
    test::EnsureQtApp();
    TKSUsageChart chart;
    chart.resize(762, 302);
    for (int t = 0; t < 50; ++t) chart.AddPoints(20, 50, 80);
    auto colours = [&] {
        const QImage img = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect plot = chart.PlotRect();
        bool seen[3] = {};
        for (int y = plot.top(); y <= plot.bottom(); ++y)
            for (int x = plot.left(); x <= plot.right(); ++x)
                for (int i = 0; i < 3; ++i)
                    if (img.pixelColor(x, y) == chart.SeriesColor(i)) seen[i] = true;
        return std::vector<bool>(seen, seen + 3);
    };
    EXPECT_EQ(colours(), (std::vector<bool>{true, true, true}));
    const QPoint box = chart.LegendBoxRect(1).center();
    QMouseEvent press(QEvent::MouseButtonPress, box, chart.mapToGlobal(box), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&chart, &press);
    EXPECT_FALSE(chart.SeriesVisible(1));
    EXPECT_EQ(colours(), (std::vector<bool>{true, false, true}));
}

namespace {

struct TOverviewWindow : ::testing::Test {
    test::TTestHome Home;
    platform::TFakeHandles Fakes;
    platform::TPlatform Plat = platform::MakeFakePlatform(&Fakes);
    TKSSettings Settings;
    TFakeSystemInfo* Info = nullptr;

    void SetUp() override {
        test::EnsureQtApp();
        Info = dynamic_cast<TFakeSystemInfo*>(Plat.SystemInfo.get());
        ASSERT_NE(Info, nullptr);
        ScriptProcessors(*Info, 30, {20, 40});
        Info->Memory = Memory(8192, 4096, 1000, 10000); // 50 %, 10 %
    }
    void WriteConfig(const QByteArray& text) {
        QDir().mkpath(Home.File("Config"));
        QFile f(Home.File("Config/Config.ini"));
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
};

} // namespace

TEST_F(TOverviewWindow, TickFillsThePageTrayAndTooltip) {
    WriteConfig("[KESTRUM]\nShowTrayIcon=1\nDynTrayIcon=1\n");
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    EXPECT_EQ(w.TrayToolTip(), u"Bramblin - Kestrum"_qs);
    TKSOverviewPage* page = w.OverviewPage();
    EXPECT_EQ(page->Chart()->SeriesTitle(0), u"-- %    "_qs);
    EXPECT_EQ(page->Panel(TKSOverviewPage::PanelMEM)->Caption(), u"..."_qs);
    EXPECT_TRUE(w.RefreshTimer()->isActive());
    EXPECT_EQ(w.RefreshTimer()->interval(), 1000);

    w.tmrRefreshOverviewTimer(); // baseline
    w.tmrRefreshOverviewTimer();
    EXPECT_EQ(page->Chart()->SeriesTitle(0), u"CPU: 30 %    "_qs);
    EXPECT_EQ(page->Chart()->SeriesTitle(1), u"MEM: 50 %    "_qs);
    EXPECT_EQ(page->Chart()->SeriesTitle(2), u"PF: 10 %    "_qs);
    EXPECT_EQ(page->Chart()->AxisMax(), 202);
    EXPECT_TRUE(page->Panel(TKSOverviewPage::PanelCPU)->Caption().contains(u"CPU Core 2: 40 %"_qs));
    EXPECT_EQ(page->Gauge(TKSOverviewPage::PanelCPU)->Position(), 30);
    EXPECT_EQ(page->Gauge(TKSOverviewPage::PanelMEM)->Position(), 50);
    EXPECT_EQ(page->Gauge(TKSOverviewPage::PanelPF)->Position(), 10);
    EXPECT_EQ(w.TrayPictureIndex(), 6);
    EXPECT_EQ(w.TrayToolTip(), u"Memory usage: 50 %"_qs);
}

TEST_F(TOverviewWindow, StaticIconStaysTheLogoAndDoNotDisturbShowsTheBadge) {
    WriteConfig("[KESTRUM]\nShowTrayIcon=1\nDynTrayIcon=0\nAntiDisturb=1\n");
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    w.tmrRefreshOverviewTimer();
    EXPECT_EQ(w.TrayPictureIndex(), 0);

    // A full-screen foreground window turns the state on at the next poll.
    auto* desktop = Fakes.Desktop;
    desktop->Foreground = 42;
    desktop->Rects[42] = desktop->Screen;
    w.AntiDisturb()->Poll();
    ASSERT_TRUE(w.AntiDisturb()->State());
    EXPECT_EQ(w.TrayPictureIndex(), 12);
    auto* status = w.findChild<QLabel*>(u"lblStatusInfo"_qs);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(), u"Do-not-disturb..."_qs);
    EXPECT_EQ(w.TrayToolTip(), u"Memory usage: 50 %"_qs); // the tooltip waits for the tick
    w.tmrRefreshOverviewTimer();
    EXPECT_EQ(w.TrayToolTip(), u"Memory usage: 50 %\n\rDo-not-disturb..."_qs);
    EXPECT_EQ(w.TrayPictureIndex(), 12);

    desktop->Foreground = 0;
    w.AntiDisturb()->Poll();
    EXPECT_EQ(w.TrayPictureIndex(), 0);
    EXPECT_EQ(status->text(), QString());
    w.tmrRefreshOverviewTimer();
    EXPECT_EQ(w.TrayPictureIndex(), 0);
}

TEST_F(TOverviewWindow, WithoutANotificationAreaTheWindowIsMinimizedNeverLost) {
    WriteConfig("[KESTRUM]\nShowTrayIcon=1\n");
    bool tray = false;
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.SetTrayAvailableProbe([&] { return tray; });
    w.FormCreate();
    QCloseEvent close;
    QCoreApplication::sendEvent(&w, &close);
    EXPECT_FALSE(close.isAccepted()); // not the end of the program
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isMinimized());

    // A panel with a notification area starts: the window goes where it would have gone.
    tray = true;
    w.tmrRefreshOverviewTimer();
    EXPECT_FALSE(w.isVisible());
    // The panel ends while the window waits behind its icon: it comes back to the taskbar, minimized.
    tray = false;
    w.tmrRefreshOverviewTimer();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isMinimized());

    TFormKSMain a(Plat, Settings, {"Kestrum", "-autostart"});
    a.SetTrayAvailableProbe([] { return false; });
    a.FormCreate();
    EXPECT_TRUE(a.isVisible());
    EXPECT_TRUE(a.isMinimized());
}

// Shown as usual, the window does not ask each second whether a notification area exists (where none does,
// that is a round trip to the X server); waiting behind the tray icon it does, and follows the tray's end.
TEST_F(TOverviewWindow, TrayAskedOnlyWhileTheWindowWaitsBehindIt) {
    WriteConfig("[KESTRUM]\nShowTrayIcon=1\n");
    bool tray = true;
    int asked = 0;
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.SetTrayAvailableProbe([&] { return ++asked, tray; });
    w.FormCreate();
    asked = 0;
    for (int i = 0; i < 3; ++i) w.tmrRefreshOverviewTimer();
    EXPECT_EQ(asked, 0);
    QCloseEvent close;
    QCoreApplication::sendEvent(&w, &close);
    ASSERT_FALSE(w.isVisible());
    asked = 0;
    w.tmrRefreshOverviewTimer();
    EXPECT_EQ(asked, 1);
    tray = false;
    w.tmrRefreshOverviewTimer();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isMinimized());
}

TEST_F(TOverviewWindow, LanguageChangeRelabelsThePage) {
    QDir().mkpath(Home.File("Langs/1031"));
    QFile pack(Home.File("Langs/1031/Kestrum.ini"));
    ASSERT_TRUE(pack.open(QIODevice::WriteOnly));
    pack.write(
        "[HEAD]\nLCID=1031\nName=Deutsch\n[LANG_ITEMS]\n"
        "FormKSMain.chtOverview.Title.Text.Text=Auslastung\n"
        "FormKSMain.btnOverviewOptimize.Caption=Jetzt\n");
    pack.close();
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    EXPECT_EQ(w.OverviewPage()->Chart()->Title(),
              u"Display current system usage, such as: usage of CPU, Memory and Page File."_qs);
    w.MultiLangs()->LoadFromFile(Home.File("Langs/1031/Kestrum.ini"));
    EXPECT_EQ(w.OverviewPage()->Chart()->Title(), u"Auslastung"_qs);
}

// The percentage over a filled bar is drawn in the colour that reads on it: white on the blue memory bar,
// black on the green and orange ones and on the grey track.
TEST(Gauge, PercentageReadsOnEveryBarColour) {
    test::EnsureQtApp();
    EXPECT_EQ(TKSGauge::OnColor(QColor(0, 0, 255)), QColor(Qt::white));
    EXPECT_EQ(TKSGauge::OnColor(QColor(0, 255, 0)), QColor(Qt::black));
    EXPECT_EQ(TKSGauge::OnColor(QColor(255, 128, 64)), QColor(Qt::black));
    EXPECT_EQ(TKSGauge::OnColor(QColor(236, 236, 236)), QColor(Qt::black));

    // A full blue bar: the figure's pixels are white, not black.
    TKSGauge g;
    g.resize(135, 12);
    g.SetColor(QColor(0, 0, 255));
    g.SetPosition(100);
    QImage img(g.size(), QImage::Format_RGB32);
    g.render(&img);
    int white = 0, black = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 50; x < 85; ++x) {
            const QColor c = img.pixelColor(x, y);
            white += c.lightness() > 200;
            black += c.lightness() < 40;
        }
    EXPECT_GT(white, 5);
    EXPECT_EQ(black, 0);
}

namespace {
// Counts the paint events a widget receives.
struct TPaintCounter : QObject {
    int Paints = 0;
    QRegion Painted;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++Paints;
            Painted += static_cast<QPaintEvent*>(e)->region();
        }
        return false;
    }
};
void Flush() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}
} // namespace

// A tick whose figures read as before paints nothing of the panels; a window nobody sees formats no texts at
// all, yet its chart keeps every point, and the texts are right again as soon as it shows.
TEST_F(TOverviewWindow, PanelsRepaintOnlyForNewTextAndNotWhileHidden) {
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    TKSOverviewPage* page = w.OverviewPage();
    TOrvImagePanel* mem = page->Panel(TKSOverviewPage::PanelMEM);
    TPaintCounter counter;
    mem->installEventFilter(&counter);
    w.tmrRefreshOverviewTimer();
    w.tmrRefreshOverviewTimer();
    Flush();
    ASSERT_GT(counter.Paints, 0); // the first figures were painted
    counter.Paints = 0;
    w.tmrRefreshOverviewTimer(); // the same figures again
    Flush();
    EXPECT_EQ(counter.Paints, 0);
    counter.Painted = QRegion();
    Info->Memory = Memory(8192, 2048, 1000, 10000); // 75 %
    w.tmrRefreshOverviewTimer();
    Flush();
    EXPECT_GT(counter.Paints, 0);
    EXPECT_TRUE(mem->Caption().contains(u"75 %"_qs));
    // Only the lines that read differently: the usage and the available memory, not the total between them;
    // and within a line only from where it reads differently, not its unchanged words, to where the text ends,
    // not the panel.
    const int lineHeight = QFontMetrics(mem->font()).height();
    const int top = mem->contentsRect().top() + 4;
    const auto paintedIn = [&](int line) {
        return counter.Painted.intersects(QRect(0, top + line * lineHeight, mem->width(), lineHeight));
    };
    EXPECT_TRUE(paintedIn(0));
    EXPECT_FALSE(counter.Painted.contains(QPoint(8, top + lineHeight / 2)));
    EXPECT_FALSE(counter.Painted.contains(QPoint(mem->width() - 8, top + lineHeight / 2)));
    EXPECT_FALSE(paintedIn(2));
    EXPECT_TRUE(paintedIn(3));
    // What the partial repaints left on screen reads exactly as the panel painted whole, figures growing and
    // shrinking by digits.
    for (int t = 0; t <= 12; ++t) {
        Info->Memory = Memory(8192, t % 2 ? 2048 + 37 * t * t : 900 + t, 1000 + 13 * t, 10000);
        w.tmrRefreshOverviewTimer();
        Flush();
    }
    const QRect at(mem->mapTo(&w, QPoint(0, 0)), mem->size());
    const QImage shownNow = w.screen()
                                ->grabWindow(w.winId(), at.x(), at.y(), at.width(), at.height())
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
    const QImage whole = mem->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shownNow.size(), whole.size());
    EXPECT_EQ(shownNow, whole);
    // The chart's legend, whose titles were repainted from their changed figures only, likewise.
    TKSUsageChart* chart = page->Chart();
    const QRect legend(0, chart->PlotRect().bottom() + 2, chart->width(),
                       chart->height() - chart->PlotRect().bottom() - 2);
    const QPoint legendAt = chart->mapTo(&w, legend.topLeft());
    EXPECT_EQ(w.screen()
                  ->grabWindow(w.winId(), legendAt.x(), legendAt.y(), legend.width(), legend.height())
                  .toImage()
                  .convertToFormat(QImage::Format_RGB32),
              chart->grab(legend).toImage().convertToFormat(QImage::Format_RGB32));
    Info->Memory = Memory(8192, 2048, 1000, 10000); // 75 % again
    w.tmrRefreshOverviewTimer();

    w.hide();
    const QString shown = mem->Caption();
    const int64_t axis = page->Chart()->AxisMax();
    Info->Memory = Memory(8192, 6144, 1000, 10000); // 25 %
    w.tmrRefreshOverviewTimer();
    w.tmrRefreshOverviewTimer();
    EXPECT_EQ(mem->Caption(), shown);
    EXPECT_EQ(page->Chart()->SeriesTitle(1), u"MEM: 75 %    "_qs);
    EXPECT_TRUE(page->Stale());
    EXPECT_EQ(page->Chart()->AxisMax(), axis + 2);
    int v = -1;
    ASSERT_TRUE(page->Chart()->PointAt(1, axis + 2, v));
    EXPECT_EQ(v, 25);
    EXPECT_EQ(w.TrayToolTip(), u"Memory usage: 25 %"_qs); // the tray still follows

    w.show();
    EXPECT_FALSE(page->Stale());
    EXPECT_TRUE(mem->Caption().contains(u"25 %"_qs));
    EXPECT_EQ(page->Chart()->SeriesTitle(1), u"MEM: 25 %    "_qs);
    EXPECT_EQ(page->Gauge(TKSOverviewPage::PanelMEM)->Position(), 25);
}

// A line whose figures change every second is laid out once: a new figure is drawn from digits already laid
// out, and the line is as wide as the same text laid out whole. Right-to-left text stays one piece.
TEST(KSTextCache, NewFiguresNeedNoNewLayout) {
    test::EnsureQtApp();
    QFont font(u"Tahoma"_qs);
    font.setPointSize(8);
    TKSTextCache cache;
    QImage image(300, 20, QImage::Format_RGB32);
    QPainter p(&image);
    cache.Draw(p, QPointF(4, 4), u"Available: 1234567890 MB"_qs, font);
    const int pieces = cache.Pieces();
    for (const QString line : {u"Available: 9876 MB"_qs, u"Available: 55 MB"_qs, u"Available: 0 MB"_qs}) {
        cache.Draw(p, QPointF(4, 4), line, font);
        EXPECT_NEAR(cache.Width(line, font), QFontMetricsF(font).horizontalAdvance(line), 1.0) << line.toStdString();
    }
    EXPECT_EQ(cache.Pieces(), pieces);
    const QString hebrew = QString::fromUtf8("\xd7\x96\xd7\x99\xd7\x9b\xd7\xa8\xd7\x95\xd7\x9f 42");
    cache.Draw(p, QPointF(4, 4), hebrew, font);
    EXPECT_EQ(cache.Pieces(), pieces + 1);
}
