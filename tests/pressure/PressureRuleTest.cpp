#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "common/TestHome.h"
#include "engine/KSGrowthTracker.h"
#include "engine/KSPressureRule.h"
#include "engine/KSPressureWarning.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeProcesses.h"
#include "store/KSPressureSettings.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

constexpr int64_t GiB = 1024ll * 1024 * 1024;

TPressureFigures Figures(double some, std::optional<double> full, int64_t availableGiB, uint32_t cpu = 10) {
    TPressureFigures f;
    f.Pressure = TMemoryPressure{{some, 0, 0, 0}, std::nullopt};
    if (full) f.Pressure->Full = TPressureLine{*full, 0, 0, 0};
    f.PhysicalTotal = 16 * GiB;
    f.PhysicalAvailable = availableGiB * GiB;
    f.CpuUsage = cpu;
    return f;
}

} // namespace

// One table: each row is a 5-second tick with its figures and what the rule must say.
TEST(PressureRule, TableWithFakeClockAndPressure) {
    struct TRow {
        const char* What;
        uint32_t AdvanceMs;
        TPressureFigures F;
        bool Held;
        TPressureVerdict Expected;
    };
    const TPressureRuleSettings on{true, 10.0, 30000};
    const TRow rows[] = {
        {"calm", 0, Figures(2.0, 0.0, 2), false, TPressureVerdict::Calm},
        {"high: the clock starts", 5000, Figures(25.0, 1.0, 2), false, TPressureVerdict::Building},
        {"still short of 30 s", 25000, Figures(25.0, 1.0, 2), false, TPressureVerdict::Building},
        {"30 s high, but thrashing", 5000, Figures(40.0, 12.0, 2), false, TPressureVerdict::Thrashing},
        {"plenty available (a limited group)", 5000, Figures(40.0, 2.0, 8), false, TPressureVerdict::MemoryNotLow},
        {"processor busy at exactly 80", 5000, Figures(40.0, 2.0, 2, 80), false, TPressureVerdict::ProcessorBusy},
        {"do-not-disturb holds it", 5000, Figures(40.0, 2.0, 2, 79), true, TPressureVerdict::Held},
        {"everything agrees", 5000, Figures(40.0, 2.0, 2, 79), false, TPressureVerdict::Run},
    };
    TFakeClock clock;
    TKSPressureRule rule(clock);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.What);
        clock.Advance(r.AdvanceMs);
        EXPECT_EQ(rule.Tick(on, r.F, 30, true, r.Held), r.Expected);
    }
}

TEST(PressureRule, ADipRestartsTheHoldAndRunsAreSpaced) {
    TFakeClock clock;
    TKSPressureRule rule(clock);
    const TPressureRuleSettings on{true, 10.0, 30000};
    const auto high = Figures(30.0, std::nullopt, 1); // a kernel without a "full" line
    EXPECT_EQ(rule.Tick(on, high, 30, true, false), TPressureVerdict::Building);
    clock.Advance(20000);
    EXPECT_EQ(rule.Tick(on, Figures(9.99, 0.0, 1), 30, true, false), TPressureVerdict::Calm);
    clock.Advance(20000);
    EXPECT_EQ(rule.Tick(on, high, 30, true, false), TPressureVerdict::Building);
    clock.Advance(30000);
    EXPECT_EQ(rule.Tick(on, high, 30, true, false), TPressureVerdict::Run);
    rule.RunStarted();

    // After a run the pressure must build up again, and then the user's spacing still holds.
    clock.Advance(5000);
    EXPECT_EQ(rule.Tick(on, high, 30, true, false), TPressureVerdict::Building);
    clock.Advance(30000);
    EXPECT_EQ(rule.Tick(on, high, 30, true, false), TPressureVerdict::Spacing);
    EXPECT_EQ(rule.Tick(on, high, -1, true, false), TPressureVerdict::Run);  // spacing switched off
    EXPECT_EQ(rule.Tick(on, high, 30, false, false), TPressureVerdict::Run); // "do not repeat" unticked
    clock.Advance(30 * 60000);
    EXPECT_EQ(rule.Tick(on, high, 30, true, false), TPressureVerdict::Run);
}

TEST(PressureRule, OffByDefaultAndSilentWithoutTheMeasure) {
    TFakeClock clock;
    TKSPressureRule rule(clock);
    const auto high = Figures(90.0, 0.0, 1);
    EXPECT_EQ(rule.Tick(TPressureRuleSettings{}, high, 30, true, false), TPressureVerdict::Off);
    TPressureFigures none = high;
    none.Pressure.reset();
    EXPECT_EQ(rule.Tick({true, 10.0, 0}, none, 30, true, false), TPressureVerdict::NoMeasure);
    TPressureFigures noMemory = high;
    noMemory.PhysicalTotal = 0;
    EXPECT_EQ(rule.Tick({true, 10.0, 0}, noMemory, 30, true, false), TPressureVerdict::NoMeasure);
}

TEST(PressureWarning, OncePerEpisodeWithHysteresis) {
    TFakeClock clock;
    TKSPressureWarning warning(clock);
    const TPressureWarningSettings on;
    auto tick = [&](double some, int64_t availGiB) {
        clock.Advance(1000);
        return warning.Sample(on, Figures(some, 0.0, availGiB));
    };
    EXPECT_FALSE(tick(0.0, 1));
    EXPECT_FALSE(warning.Watching()); // an idle machine costs no process walk
    EXPECT_FALSE(tick(30.0, 8));      // high pressure, plenty available
    EXPECT_TRUE(warning.Watching());
    EXPECT_TRUE(tick(30.0, 2)); // 2 of 16 GiB: about to run out
    EXPECT_FALSE(tick(50.0, 1));
    // Down below half the level, but not for a minute: still the same episode.
    for (int i = 0; i < 50; ++i) EXPECT_FALSE(tick(3.0, 2));
    EXPECT_FALSE(tick(30.0, 1));
    for (int i = 0; i <= 60; ++i) EXPECT_FALSE(tick(1.0, 2)); // 60 s from the first quiet sample
    EXPECT_FALSE(warning.InEpisode());
    EXPECT_TRUE(tick(30.0, 1)); // a new episode
    EXPECT_EQ(warning.Warnings(), 2);

    TKSPressureWarning off(clock);
    EXPECT_FALSE(off.Sample({false, 10.0, 0.15}, Figures(90.0, 50.0, 0)));
    TPressureFigures none = Figures(90.0, 50.0, 0);
    none.Pressure.reset();
    EXPECT_FALSE(off.Sample(on, none));
}

TEST(GrowthTracker, NamesTheProgramsThatGrewMostInTheWindow) {
    TFakeClock clock;
    TFakeProcesses procs;
    procs.Processes = {{10, "firefox", false},
                       {11, "firefox", false},
                       {20, "code", false},
                       {30, "bash", false},
                       {2, "kthreadd", true}};
    procs.Resident = {{10, 100}, {11, 100}, {20, 500}, {30, 50}, {2, 0}};
    TKSGrowthTracker growth(clock, procs);
    growth.Sample();
    EXPECT_TRUE(growth.TopGrowers(3).empty()); // one sample tells nothing yet
    clock.Advance(1000);
    procs.Resident[10] = 900;
    growth.Sample(); // too soon after the last: skipped
    EXPECT_EQ(growth.Samples(), 1u);

    clock.Advance(5000);
    procs.Resident[10] = 700; // both firefox processes count together: +700
    procs.Resident[11] = 200;
    procs.Resident[20] = 400;                      // shrank: not named
    procs.Processes.push_back({40, "hog", false}); // new within the window: grew from nothing
    procs.Resident[40] = 300;
    growth.Sample();
    auto top = growth.TopGrowers(3);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].Name, u"firefox"_qs);
    EXPECT_EQ(top[0].Bytes, 700);
    EXPECT_EQ(top[1].Name, u"hog"_qs);
    EXPECT_EQ(top[1].Bytes, 300);

    // Samples older than the window fall away: growth is measured over the last minute only.
    for (int i = 0; i < 13; ++i) {
        clock.Advance(5000);
        growth.Sample();
    }
    EXPECT_TRUE(growth.TopGrowers(3).empty());
}

TEST(PressureSettings, DefaultsAndHandEditedValues) {
    test::TTestHome home;
    const QString path = home.File(u"Config/Config.ini"_qs);
    TKSPressureSettings d = LoadPressureSettings(path); // no file
    EXPECT_FALSE(d.AutoFree);
    EXPECT_TRUE(d.Warn);
    EXPECT_EQ(d.FreeLevel, 10);
    QDir().mkpath(home.File(u"Config"_qs));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "[KESTRUM]\nSleepValue=30\n[PRESSURE]\nAutoFree=1\nFreeLevel=250\nFreeHoldSeconds=x\nWarn=0\nWarnLevel=0\n");
    f.close();
    const TKSPressureSettings s = LoadPressureSettings(path);
    EXPECT_TRUE(s.AutoFree);
    EXPECT_EQ(s.FreeLevel, 100);      // brought into range
    EXPECT_EQ(s.FreeHoldSeconds, 30); // unreadable: the default
    EXPECT_FALSE(s.Warn);
    EXPECT_EQ(s.WarnLevel, 1);
}
