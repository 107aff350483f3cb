#include <gtest/gtest.h>

#include "engine/KSOptiMonPolicy.h"
#include "platform/fake/FakeClock.h"

using namespace kestrum;

namespace {

struct TFakeSampler final : IOptiMonSampler {
    int64_t Total = 1000, Available = 190;
    uint32_t Cpu = 50;
    int MemoryRefreshes = 0, CpuRefreshes = 0;
    bool RefreshMemory() override { return ++MemoryRefreshes, true; }
    int64_t PhysicalTotal() const override { return Total; }
    int64_t PhysicalAvailable() const override { return Available; }
    bool RefreshCPU() override { return ++CpuRefreshes, true; }
    uint32_t GetCPUUsage(uint32_t) const override { return Cpu; }
};

struct PolicyTest : ::testing::Test {
    platform::TFakeClock Clock;
    TFakeSampler Sampler;
    TKSOptiMonPolicy Policy{Clock, Sampler};
    static constexpr uint32_t Minute = 60 * 1000;
};

} // namespace

TEST_F(PolicyTest, MemoryAndProcessorRules) {
    struct {
        int64_t total, available;
        uint32_t cpu;
        TOptiMonResult want;
    } cases[] = {
        {1000, 190, 50, TOptiMonResult::Run},
        {1000, 200, 50, TOptiMonResult::MemoryNotLow}, // exactly a fifth: no run
        {1000, 199, 80, TOptiMonResult::ProcessorBusy},
        {1000, 199, 79, TOptiMonResult::Run},
        {0, 0, 0, TOptiMonResult::NoMemoryFigure},                      // no memory refresh has succeeded yet
        {int64_t(24) << 30, int64_t(4) << 30, 10, TOptiMonResult::Run}, // 16.7 % of 24 GiB
        {int64_t(24) << 30, int64_t(5) << 30, 10, TOptiMonResult::MemoryNotLow},
    };
    for (auto& c : cases) {
        Sampler.Total = c.total;
        Sampler.Available = c.available;
        Sampler.Cpu = c.cpu;
        EXPECT_EQ(Policy.Tick(-1, true, false), c.want) << c.available << "/" << c.total << " cpu " << c.cpu;
    }
}

TEST_F(PolicyTest, SpacingOfThirtyMinutesStartsAtTheFirstTickAndRestartsAtEachCheck) {
    EXPECT_EQ(Policy.Tick(30, true, false), TOptiMonResult::Spacing); // the first tick only starts the clock
    EXPECT_EQ(Policy.LastCheckTick(), 1000u);
    EXPECT_EQ(Sampler.MemoryRefreshes, 0);
    Clock.Advance(30 * Minute - 1);
    EXPECT_EQ(Policy.Tick(30, true, false), TOptiMonResult::Spacing);
    Clock.Advance(1);
    Sampler.Available = 500; // memory fine: the check still restarts the spacing
    EXPECT_EQ(Policy.Tick(30, true, false), TOptiMonResult::MemoryNotLow);
    Sampler.Available = 100; // low right after: waits for the next check
    Clock.Advance(5000);
    EXPECT_EQ(Policy.Tick(30, true, false), TOptiMonResult::Spacing);
    Clock.Advance(30 * Minute);
    EXPECT_EQ(Policy.Tick(30, true, false), TOptiMonResult::Run);
}

TEST_F(PolicyTest, SpacingHoldsAcrossTheTickCountWrap) {
    Clock.Tick = 0xFFFFFFFFu - 10 * Minute;
    EXPECT_EQ(Policy.Tick(30, true, false), TOptiMonResult::Spacing);
    Clock.Advance(20 * Minute); // wrapped: the raw value is small
    EXPECT_LT(Clock.Tick, 10 * Minute);
    EXPECT_EQ(Policy.Tick(30, true, false), TOptiMonResult::Spacing);
    Clock.Advance(10 * Minute);
    EXPECT_EQ(Policy.Tick(30, true, false), TOptiMonResult::Run);
}

TEST_F(PolicyTest, SpacingOffWithMinusOneOrSleepDisabled) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Policy.Tick(-1, true, false), TOptiMonResult::Run);
        EXPECT_EQ(Policy.Tick(30, false, false), TOptiMonResult::Run);
        Clock.Advance(5000);
    }
    EXPECT_EQ(Policy.LastCheckTick(), 0u);
}

TEST_F(PolicyTest, HeldCheckWaitsWithoutRestartingTheSpacing) {
    Policy.Tick(30, true, false);
    Clock.Advance(30 * Minute);
    EXPECT_EQ(Policy.Tick(30, true, true), TOptiMonResult::Held); // do-not-disturb: the due check waits
    EXPECT_EQ(Sampler.MemoryRefreshes, 0);
    Clock.Advance(40 * Minute);
    EXPECT_EQ(Policy.Tick(30, true, true), TOptiMonResult::Held);
    Clock.Advance(5000);
    EXPECT_EQ(Policy.Tick(30, true, false), TOptiMonResult::Run); // the first tick after the hold
    EXPECT_EQ(Policy.Tick(-1, true, true), TOptiMonResult::Held); // also without spacing
}
