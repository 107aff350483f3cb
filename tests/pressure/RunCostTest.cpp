#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <algorithm>

#include "app/KSRunCostWatch.h"
#include "app/pages/KSGainsChart.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "engine/KSRunCost.h"
#include "engine/MemoryOptimize.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeProcesses.h"
#include "platform/fake/FakeSystemInfo.h"
#include "store/KSRunCostLog.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

constexpr uint64_t MiB = 1ull << 20;

TProgramMemoryMap Map(std::initializer_list<std::tuple<const char*, uint64_t, uint64_t>> entries) {
    TProgramMemoryMap m;
    for (const auto& [name, resident, faults] : entries) m[QString::fromLatin1(name)] = {resident * MiB, faults};
    return m;
}

} // namespace

TEST(RunCost, WhatCameBackAndWhoGotItStraightBack) {
    const auto before = Map({{"editor", 100, 5}, {"small", 50, 0}, {"gone", 30, 0}, {"idle", 40, 0}, {"grew", 10, 0}});
    const auto after = Map({{"editor", 20, 10}, {"small", 48, 0}, {"gone", 0, 0}, {"idle", 10, 0}, {"grew", 12, 0}});
    const auto later = Map({{"editor", 90, 1010}, {"small", 50, 3}, {"idle", 11, 4}, {"grew", 40, 9}});
    const TKSRunCost c = ComputeRunCost(before, after, later);
    // editor lost 80 and got 70 back; small lost 2 (too little to judge); gone lost 30 and ended; idle lost 30
    // and got 1 back; grew lost nothing.
    EXPECT_EQ(c.Taken, (80 + 2 + 30 + 30) * MiB);
    EXPECT_EQ(c.CameBack, (70 + 2 + 1) * MiB);
    EXPECT_EQ(c.MajorFaults, 1000u + 3 + 4);
    EXPECT_EQ(c.CameStraightBack, QStringList{u"editor"_qs});
    // A program that came back bigger than before counts only what it lost.
    EXPECT_EQ(ComputeRunCost(Map({{"a", 100, 0}}), Map({{"a", 10, 0}}), Map({{"a", 500, 0}})).CameBack, 90 * MiB);
    EXPECT_EQ(ComputeRunCost({}, {}, {}).Taken, 0u);
}

TEST(RunCostLog, RoundTripToleratesDamageAndSpansDays) {
    test::TTestHome home;
    TKSRunCostLog log(home.File(u"Logs/Kestrum"_qs));
    const QDateTime t1(QDate(2026, 3, 1), QTime(10, 0, 0, 123));
    const QDateTime t2(QDate(2026, 3, 2), QTime(23, 59, 59));
    ASSERT_TRUE(log.AppendRun(t1, true, 1000, 5000));
    TKSRunCostRecord cost;
    cost.WindowMs = 60000;
    cost.Taken = 7 * MiB;
    cost.CameBack = 3 * MiB;
    cost.MajorFaults = 42;
    cost.RefaultBytes = 9 * MiB;
    cost.Pressure = 12.5;
    cost.CameStraightBack = {u"we|ird,name"_qs, u"plain"_qs};
    ASSERT_TRUE(log.AppendCost(t1, cost));
    ASSERT_TRUE(log.AppendRun(t2, false, 9000, 8000)); // a run that lost memory; its cost never came
    {
        QFile f(log.DayFile(t2.date()));
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("garbage line\ncost|2026-03-02T01:00:00.000|taken=5\nrun|not a time|before=1\n");
    }
    ASSERT_TRUE(log.AppendRun(QDateTime(QDate(2026, 3, 9), QTime(1, 0)), true, 0, 1));

    const auto runs = log.Load(QDate(2026, 3, 1), QDate(2026, 3, 2));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].Time, t1);
    EXPECT_TRUE(runs[0].Manual);
    EXPECT_EQ(runs[0].Gain(), 4000);
    ASSERT_TRUE(runs[0].HasCost);
    EXPECT_EQ(runs[0].CameBack, 3 * MiB);
    EXPECT_EQ(runs[0].MajorFaults, 42u);
    EXPECT_EQ(runs[0].RefaultBytes, 9 * MiB);
    EXPECT_DOUBLE_EQ(runs[0].Pressure.value_or(-1), 12.5);
    EXPECT_EQ(runs[0].CameStraightBack, cost.CameStraightBack);
    EXPECT_FALSE(runs[1].Manual);
    EXPECT_EQ(runs[1].Gain(), -1000);
    EXPECT_FALSE(runs[1].HasCost);
    EXPECT_TRUE(log.Load(QDate(2026, 3, 2), QDate(2026, 3, 1)).empty());
    EXPECT_TRUE(TKSRunCostLog(home.File(u"missing"_qs)).Load(QDate(2026, 1, 1), QDate(2027, 1, 1)).empty());
    // Beside the history's day files, but not one of them.
    EXPECT_FALSE(log.DayFile(t1.date()).endsWith(u".log"_qs));
}

TEST(RunCostWatch, MeasuresTheMinuteAfterARunAndBacksOff) {
    test::EnsureQtApp();
    test::TTestHome home;
    TFakeClock clock;
    TFakeProcesses procs;
    TFakeSystemInfo info;
    procs.Processes = {{10, "editor", false}, {20, "cache", false}, {2, "kthreadd", true}};
    procs.Resident = {{10, 200 * MiB}, {20, 300 * MiB}};
    procs.MajorFaultCounts = {{10, 5}, {20, 1}};
    procs.Refaults = 1000;
    info.Pressure = TMemoryPressure{{0, 0, 0, 5'000'000}, std::nullopt};
    TKSRunCostWatch watch(procs, info, clock, home.File(u"Logs/Kestrum"_qs));
    std::vector<TKSRunCostRecord> measured;
    QObject::connect(&watch, &TKSRunCostWatch::CostMeasured, [&](const TKSRunCostRecord& r) { measured.push_back(r); });

    watch.RunStarting();
    procs.Resident = {{10, 20 * MiB}, {20, 40 * MiB}}; // the run took 180 and 260
    watch.RunFinished(false, 1000, 441 * MiB);
    EXPECT_TRUE(watch.Watching());
    procs.Resident = {{10, 190 * MiB}, {20, 45 * MiB}}; // the editor needed its memory at once
    procs.MajorFaultCounts = {{10, 2005}, {20, 3}};
    procs.Refaults = 1000 + 256;
    clock.Advance(60000);
    info.Pressure->Some.Total += 6'000'000; // 6 s of stall in 60 s
    watch.Finish();

    ASSERT_EQ(measured.size(), 1u);
    const auto& r = measured[0];
    EXPECT_EQ(r.WindowMs, 60000u);
    EXPECT_EQ(r.Taken, 440 * MiB);
    EXPECT_EQ(r.CameBack, 175 * MiB);
    EXPECT_EQ(r.MajorFaults, 2002u);
    EXPECT_EQ(r.RefaultBytes, 256u * uint64_t(sysconf(_SC_PAGESIZE)));
    EXPECT_NEAR(r.Pressure.value_or(-1), 10.0, 1e-9);
    EXPECT_EQ(r.CameStraightBack, QStringList{u"editor"_qs});
    EXPECT_EQ(watch.BackedOff(), QStringList{u"editor"_qs});

    // Kept with the run in the log.
    const auto runs =
        TKSRunCostLog(home.File(u"Logs/Kestrum"_qs)).Load(QDate::currentDate().addDays(-1), QDate::currentDate());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].HasCost);
    EXPECT_FALSE(runs[0].Manual);
    EXPECT_EQ(runs[0].CameStraightBack, QStringList{u"editor"_qs});

    // A new run while a watch goes on ends it early, with its shorter time.
    watch.RunStarting();
    watch.RunFinished(true, 0, 0);
    clock.Advance(5000);
    watch.RunStarting();
    ASSERT_EQ(measured.size(), 2u);
    EXPECT_EQ(measured[1].WindowMs, 5000u);

    // The back-off wears off.
    clock.Advance(TKSRunCostWatch::BackOffMs);
    EXPECT_TRUE(watch.BackedOff().isEmpty());
}

TEST(RunCostWatch, AutomaticRunsSpareWhatTheyAreTold) {
    test::EnsureQtApp();
    test::TTestHome home;
    TFakeDesktop desktop;
    TFakeProcesses procs;
    procs.Processes = {{1, "editor", false}, {2, "cache", false}, {3, "kworker", true}};
    TMemoryOptimize engine(desktop, procs);
    engine.SetWatchMs(0);
    for (bool smart : {false, true}) {
        engine.SetSmartMode(smart);
        procs.Trimmed.clear();
        engine.FreeMemory({}, {u"editor"_qs});
        EXPECT_EQ(procs.Trimmed, std::vector<uint32_t>{2}) << "smart " << smart;
        procs.Trimmed.clear();
        engine.FreeMemory({}, {});
        std::sort(procs.Trimmed.begin(), procs.Trimmed.end());
        EXPECT_EQ(procs.Trimmed, (std::vector<uint32_t>{1, 2})) << "smart " << smart;
    }
}

TEST(GainsChart, BarsForGainsAndWhatCameBack) {
    test::EnsureQtApp();
    test::TTestHome home;
    TKSRunCostLog log(home.File(u"Logs/Kestrum"_qs));
    const QDate today = QDate::currentDate();
    log.AppendRun(QDateTime(today, QTime(9, 0)), true, 0, 400 * MiB);
    TKSRunCostRecord cost;
    cost.CameBack = 200 * MiB;
    log.AppendCost(QDateTime(today, QTime(9, 0)), cost);
    log.AppendRun(QDateTime(today, QTime(10, 0)), false, 0, 100 * MiB);
    log.AppendRun(QDateTime(today, QTime(11, 0)), false, 500 * MiB, 400 * MiB); // a loss: no bar

    TKSGainsChart chart;
    chart.resize(726, 100);
    chart.SetFolder(home.File(u"Logs/Kestrum"_qs));
    chart.Load(today, today);
    ASSERT_EQ(chart.Runs().size(), 3u);
    const QRect g0 = chart.GainBar(0), b0 = chart.BackBar(0), g1 = chart.GainBar(1);
    EXPECT_GT(g0.height(), 0);
    EXPECT_NEAR(b0.height() * 2.0, g0.height(), 2.0); // half of it came back
    EXPECT_NEAR(g1.height() * 4.0, g0.height(), 4.0);
    EXPECT_EQ(g0.bottom(), g1.bottom());
    EXPECT_LT(g0.right(), g1.left()); // oldest on the left
    EXPECT_EQ(chart.GainBar(2).height(), 0);
    EXPECT_EQ(chart.BackBar(1).height(), 0); // no cost measured: nothing drawn for it

    QImage image(chart.size(), QImage::Format_RGB32);
    chart.render(&image);
    EXPECT_EQ(QColor(image.pixel(g0.center())), QColor(0, 0, 255));
    EXPECT_EQ(QColor(image.pixel(b0.center())), QColor(255, 128, 64));

    TOrvMultiLangs langs;
    MultiLangsMakeDefault(&langs);
    chart.ApplyLanguage(langs);
    EXPECT_TRUE(chart.ToolTipOf(0).contains(u"Came back within a minute: 200.00 MB"_qs))
        << chart.ToolTipOf(0).toStdString();
    EXPECT_TRUE(chart.ToolTipOf(0).endsWith(u"memory pressure meanwhile: -"_qs));
    EXPECT_FALSE(chart.ToolTipOf(1).contains(u"Came back"_qs));

    chart.Load(today.addDays(-3), today.addDays(-1));
    EXPECT_TRUE(chart.Runs().empty());
}
