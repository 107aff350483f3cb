#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QScreen>
#include <QWindow>
#include <functional>

#include "app/pages/KSUsageChart.h"
#include "common/QtApp.h"

using namespace kestrum;

namespace {

struct TPaintRecorder : QObject {
    QRegion Painted;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) Painted += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

void Flush() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// Shown and painted: on a real display the window is mapped some time after show().
void ShowPainted(QWidget& w) {
    w.show();
    QElapsedTimer waited;
    waited.start();
    while (!(w.windowHandle() && w.windowHandle()->isExposed()) && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    Flush();
}

// What the window shows (kept by moving the plot's picture and drawing strips), inside the plot.
QImage Shown(TKSUsageChart& chart) {
    const QRect plot = chart.PlotRect();
    return chart.screen()
        ->grabWindow(chart.winId(), plot.x(), plot.y(), plot.width(), plot.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}
// A chart never shown draws its plot whole from its points when asked for a picture.
QImage Drawn(TKSUsageChart& chart) {
    return chart.grab(chart.PlotRect()).toImage().convertToFormat(QImage::Format_RGB32);
}

int DifferentPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

} // namespace

// Before its first sample a chart shows its empty plot, white under the grid, on the display and in a picture
// of it: the plot's picture, made at the first paint, was once never drawn until a point came, and read black.
TEST(UsageChart, EmptyPlotIsDrawnBeforeTheFirstPoint) {
    test::EnsureQtApp();
    TKSUsageChart shown;
    shown.resize(762, 302);
    ShowPainted(shown);
    TKSUsageChart never; // never shown: only grabbed
    never.resize(shown.size());
    for (const QImage& plot : {Shown(shown), Drawn(never)}) {
        ASSERT_FALSE(plot.isNull());
        QImage white(plot.size(), QImage::Format_RGB32);
        white.fill(Qt::white);
        // The grid's dotted rows are the only other ink.
        EXPECT_LT(DifferentPixels(plot, white), plot.width() * plot.height() / 10);
    }
}

// A tick moves what is drawn and paints only the strip with the new segment, yet the plot reads pixel for pixel
// as a full drawing of the same points: through steep jumps, level stretches, the extremes, a series hidden
// and shown, and past the left edge.
TEST(UsageChart, ScrolledPlotMatchesAFullDrawing) {
    test::EnsureQtApp();
    TKSUsageChart chart, whole;
    chart.resize(762, 302);
    whole.resize(762, 302);
    ShowPainted(chart);
    uint32_t seed = 7;
    auto next = [&seed](int range) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % uint32_t(range));
    };
    int mem = 40;
    for (int t = 1; t <= 520; ++t) {
        // Spikes, floors and noise; then, once the spikes have left the plot, a quiet stretch where only the
        // rows the lines run through are sent to the display.
        const int cpu = t > 250 ? 2 + next(12) : t % 37 < 5 ? 100 : (t % 23 < 3 ? 0 : next(30));
        if (t % 17 == 0) mem = t > 250 ? 45 + next(10) : next(101); // level stretches with jumps
        const int pressure = t < 60 ? -1 : next(4);                 // joins the chart later
        for (TKSUsageChart* c : {&chart, &whole}) {
            if (t == 120) c->SetSeriesVisible(2, false);
            if (t == 150) c->SetSeriesVisible(2, true);
            c->AddPoints(cpu, mem, 100 - mem, pressure);
        }
        Flush();
        if (t > 2 && t != 60 && t != 120 && t != 150) {
            // Only the strip: the step and the few columns where the previous end cap became a join.
            EXPECT_LE(chart.DrawnStrip().width(), chart.LastStep() + 8) << "tick " << t;
            EXPECT_GE(chart.LastStep(), 3);
            EXPECT_LE(chart.LastStep(), 4);
        }
        if (t % 13 == 0 || t == 121 || t == 151 || (t > 250 && t < 260) || t > 505)
            ASSERT_EQ(DifferentPixels(Shown(chart), Drawn(whole)), 0) << "tick " << t;
    }
}

// A chart nobody sees paints nothing at a tick, and shows every point once it is seen again.
TEST(UsageChart, HiddenChartPaintsNothingAndCatchesUp) {
    test::EnsureQtApp();
    TKSUsageChart chart;
    chart.resize(762, 302);
    ShowPainted(chart);
    for (int t = 0; t < 30; ++t) chart.AddPoints(t, 50, 20);
    Flush();
    chart.hide();
    TPaintRecorder recorder;
    chart.installEventFilter(&recorder);
    for (int t = 0; t < 30; ++t) chart.AddPoints(90 - t, 60, 20);
    Flush();
    EXPECT_TRUE(recorder.Painted.isEmpty());
    ShowPainted(chart);
    QElapsedTimer waited; // on a real display the repaint follows the window manager's map
    waited.start();
    while (!recorder.Painted.contains(chart.PlotRect()) && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    TKSUsageChart whole;
    whole.resize(762, 302);
    for (int t = 0; t < 30; ++t) whole.AddPoints(t, 50, 20);
    for (int t = 0; t < 30; ++t) whole.AddPoints(90 - t, 60, 20);
    EXPECT_EQ(DifferentPixels(Shown(chart), Drawn(whole)), 0);
}

namespace {
int64_t Area(const QRegion& region) {
    int64_t a = 0;
    for (const QRect& r : region) a += int64_t(r.width()) * r.height();
    return a;
}
} // namespace

// The moved picture is the old one shifted, and every pixel that reads differently lies in what is sent to
// the display; rows that repeat every step (white, level lines, a grid of that period) are not sent at all.
TEST(UsageChart, ScrollSendsOnlyWhatReadsDifferently) {
    struct TCase {
        const char* Name;
        int Step;
        std::function<void(QImage&)> Paint;
        int64_t MaxArea;
    };
    const TCase cases[] = {
        {"plain white", 3, [](QImage&) {}, 0},
        {"level line", 4,
         [](QImage& im) {
             for (int y = 40; y < 43; ++y)
                 for (int x = 0; x < im.width(); ++x) im.setPixel(x, y, 0xff0000ffu);
         },
         0},
        {"dots of the step's period", 3,
         [](QImage& im) {
             for (int x = 0; x < im.width(); x += 3) im.setPixel(x, 10, 0xffa0a0a0u);
         },
         0},
        {"one old spike", 4,
         [](QImage& im) {
             for (int y = 5; y < 90; ++y) im.setPixel(100, y, 0xff00ff00u);
         },
         85 * 5 + 1024},
        {"noise", 3,
         [](QImage& im) {
             uint32_t seed = 1;
             for (int i = 0; i < 2000; ++i) {
                 seed = seed * 1103515245u + 12345u;
                 im.setPixel(int(seed >> 8) % im.width(), int(seed >> 20) % im.height(), 0xff000000u | seed);
             }
         },
         int64_t(300) * 100},
    };
    for (const TCase& c : cases) {
        QImage im(300, 100, QImage::Format_RGB32);
        im.fill(Qt::white);
        c.Paint(im);
        const QImage before = im.copy();
        std::vector<TPlotInk> ink;
        AddPlotInk(im, 0, im.width() - 1, ink);
        const QRegion changed = ScrollPlotImage(im, c.Step, ink);
        EXPECT_LE(Area(changed), c.MaxArea) << c.Name;
        // The moved ink is still covered by its spans.
        for (int y = 0; y < im.height(); ++y)
            for (int x = 1; x + c.Step < im.width(); ++x)
                if (im.pixel(x, y) != 0xffffffffu)
                    ASSERT_TRUE(x >= ink[size_t(y)].Left && x <= ink[size_t(y)].Right)
                        << c.Name << " at " << x << "," << y;
        for (int y = 0; y < im.height(); ++y) {
            ASSERT_EQ(im.pixel(0, y), before.pixel(0, y)) << c.Name; // the axis column stays
            for (int x = 1; x + c.Step < im.width(); ++x) {
                ASSERT_EQ(im.pixel(x, y), before.pixel(x + c.Step, y)) << c.Name << " at " << x << "," << y;
                if (im.pixel(x, y) != before.pixel(x, y))
                    ASSERT_TRUE(changed.contains(QPoint(x, y))) << c.Name << " at " << x << "," << y;
            }
        }
    }
}

// A spike long past does not make every tick send the whole height of the plot: only the columns around it,
// the lines' own rows and the new strip.
TEST(UsageChart, OldSpikeSendsOnlyItsColumns) {
    test::EnsureQtApp();
    TKSUsageChart chart;
    chart.resize(762, 302);
    ShowPainted(chart);
    for (int t = 0; t < 120; ++t) {
        chart.AddPoints(t == 60 ? 100 : 5, 40, 10);
        Flush();
    }
    const QRect plot = chart.PlotRect();
    EXPECT_LT(Area(chart.LastDamage()), int64_t(plot.width()) * plot.height() / 5);
    // Of the new strip, only the rows the three lines run through, not its whole height.
    const int64_t strip = Area(chart.LastDamage() & chart.DrawnStrip());
    EXPECT_GT(strip, 0);
    EXPECT_LT(strip, int64_t(chart.DrawnStrip().width()) * chart.DrawnStrip().height() / 4);
}
