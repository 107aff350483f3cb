#include <gtest/gtest.h>

#include "Fixtures.h"
#include "engine/SystemStatus.h"
#include "platform/fake/FakeSystemInfo.h"
#include "platform/linux/ProcStat.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

// A two-processor sample: time of day, machine idle, and per processor (busy total incl. idle, idle).
TProcessorSample Sample(int64_t now, int64_t idleAll, std::vector<std::pair<int64_t, int64_t>> cpus) {
    TProcessorSample s{now, idleAll, {}};
    for (auto [busy, idle] : cpus) s.Processors.push_back({idle, busy, 0, 0, 0});
    return s;
}

} // namespace

TEST(UsagePercent, RoundsTiesToEvenAndNeverClamps) {
    struct TCase {
        double Part, Whole;
        uint32_t Expected;
    } cases[] = {
        {1, 8, 12},                          // 12.5 -> 12
        {27, 200, 14},                       // 13.5 -> 14
        {5, 200, 2},                         // 2.5 -> 2
        {7, 200, 4},                         // 3.5 -> 4
        {2, 3, 67},                          // 66.67
        {3, 2, 150},                         // above 100 stays
        {-1, 8, static_cast<uint32_t>(-12)}, // below 0 wraps like an unsigned 32-bit result
    };
    for (const auto& c : cases) {
        uint32_t p = 99999;
        ASSERT_TRUE(UsagePercent(c.Part, c.Whole, p)) << c.Part << "/" << c.Whole;
        EXPECT_EQ(p, c.Expected) << c.Part << "/" << c.Whole;
    }
    uint32_t p = 7;
    EXPECT_FALSE(UsagePercent(0, 0, p));
    EXPECT_FALSE(UsagePercent(1, 1e-300, p)); // beyond a 64-bit integer
    EXPECT_EQ(p, 7u);
}

TEST(SystemStatus, FirstRefreshStoresBaselineSecondMeasures) {
    TFakeSystemInfo info;
    info.Samples = {Sample(1000, 1000, {{500, 400}, {500, 400}}), Sample(2000, 1500, {{1500, 1300}, {1500, 1100}})};
    TSystemStatus s(info);
    ASSERT_EQ(s.ProcessorCount(), 2u);
    EXPECT_TRUE(s.RefreshCPU());
    for (uint32_t i = 0; i <= 2; ++i) EXPECT_EQ(s.GetCPUUsage(i), 0u);
    EXPECT_TRUE(s.RefreshCPU());
    EXPECT_EQ(s.GetCPUUsage(0), 75u); // (2000 - 500) / 2000
    EXPECT_EQ(s.GetCPUUsage(1), 10u); // (1000 - 900) / 1000
    EXPECT_EQ(s.GetCPUUsage(2), 30u);
    EXPECT_EQ(s.GetCPUUsage(3), 75u); // beyond the processors: the total
    EXPECT_EQ(s.GetCPUUsage(1000), 75u);
}

TEST(SystemStatus, SixtyFourProcessorFixture) {
    TFakeSystemInfo info;
    info.Processors = 64;
    auto a = proc::ParseProcStat(test::ReadFixture("stat64_a"));
    auto b = proc::ParseProcStat(test::ReadFixture("stat64_b"));
    ASSERT_TRUE(a && b);
    info.Samples = {proc::ToProcessorSample(*a, 100), proc::ToProcessorSample(*b, 100)};
    TSystemStatus s(info);
    ASSERT_TRUE(s.RefreshCPU());
    ASSERT_TRUE(s.RefreshCPU());
    EXPECT_EQ(s.GetCPUUsage(0), 20u); // 1260 busy ticks of 6400: 19.69
    for (uint32_t i = 1; i <= 64; ++i) EXPECT_EQ(s.GetCPUUsage(i), (i - 1) % 5 * 10) << "processor " << i;
}

TEST(SystemStatus, FailedQuotientKeepsPartialEntriesAndOldBaseline) {
    TFakeSystemInfo info;
    info.Samples = {
        Sample(1000, 1000, {{500, 400}, {500, 400}}),
        Sample(2000, 1500, {{1500, 1300}, {500, 400}}),   // processor 2 shows no time: fails at entry 2
        Sample(3000, 2000, {{2500, 2200}, {2500, 2000}}), // measured against the first sample
    };
    TSystemStatus s(info);
    ASSERT_TRUE(s.RefreshCPU());
    EXPECT_FALSE(s.RefreshCPU());
    EXPECT_EQ(s.GetCPUUsage(0), 75u); // written before the failure
    EXPECT_EQ(s.GetCPUUsage(1), 10u);
    EXPECT_EQ(s.GetCPUUsage(2), 0u); // kept
    EXPECT_TRUE(s.RefreshCPU());
    EXPECT_EQ(s.GetCPUUsage(0), 75u); // (4000 - 1000) / 4000
    EXPECT_EQ(s.GetCPUUsage(1), 10u); // (2000 - 1800) / 2000
    EXPECT_EQ(s.GetCPUUsage(2), 20u); // (2000 - 1600) / 2000
}

TEST(SystemStatus, SameTickTwiceFailsAndKeepsFigures) {
    TFakeSystemInfo info;
    info.Samples = {Sample(1000, 1000, {{500, 400}, {500, 400}}), Sample(2000, 1500, {{1500, 1300}, {1500, 1100}}),
                    Sample(2000, 1500, {{1500, 1300}, {1500, 1100}})};
    TSystemStatus s(info);
    s.RefreshCPU();
    s.RefreshCPU();
    EXPECT_FALSE(s.RefreshCPU());
    EXPECT_EQ(s.GetCPUUsage(0), 75u);
    EXPECT_EQ(s.GetCPUUsage(2), 30u);
}

TEST(SystemStatus, SingleProcessorComputesOnlyTheTotal) {
    TFakeSystemInfo info;
    info.Processors = 1;
    info.Samples = {Sample(1000, 1000, {{500, 400}}), Sample(2000, 1250, {{1500, 1000}})};
    TSystemStatus s(info);
    s.RefreshCPU();
    ASSERT_TRUE(s.RefreshCPU());
    EXPECT_EQ(s.GetCPUUsage(0), 75u);
    EXPECT_EQ(s.GetCPUUsage(1), 0u); // entry 1 exists but is never computed
    EXPECT_EQ(s.GetCPUUsage(2), 75u);
}

TEST(SystemStatus, UnreadableCountsAndSamples) {
    TFakeSystemInfo info;
    info.Processors = std::nullopt;
    TSystemStatus s(info);
    EXPECT_EQ(s.ProcessorCount(), 1u);
    EXPECT_FALSE(s.RefreshCPU());            // no sample at all
    info.Samples = {Sample(1000, 1000, {})}; // fewer processors than counted
    EXPECT_FALSE(s.RefreshCPU());
}

TEST(SystemStatus, MemoryRefreshUses64BitBytesAndKeepsFiguresOnFailure) {
    TFakeSystemInfo info;
    TSystemStatus s(info);
    EXPECT_FALSE(s.RefreshMemory());
    EXPECT_EQ(s.PhysicalTotal(), 0);

    TPerformanceInfo p;
    p.PageSize = 4096;
    p.PhysicalTotal = 16u * 1024 * 1024; // 64 GiB in pages
    p.PhysicalAvailable = 3u * 1024 * 1024 + 5;
    p.SystemCache = 2u * 1024 * 1024;
    p.CommitLimit = 20u * 1024 * 1024;
    p.CommitTotal = 1234567;
    p.CommitPeak = 2345678;
    p.KernelTotal = 30, p.KernelPaged = 10, p.KernelNonpaged = 20;
    p.HandleCount = 9, p.ThreadCount = 8, p.ProcessCount = 7;
    info.Memory = p;
    ASSERT_TRUE(s.RefreshMemory());
    EXPECT_EQ(s.PhysicalTotal(), 64ll << 30);
    EXPECT_EQ(s.PhysicalAvailable(), (12ll << 30) + 5 * 4096);
    EXPECT_EQ(s.SystemCache(), 8ll << 30);
    EXPECT_EQ(s.CommitLimit(), 80ll << 30);
    EXPECT_EQ(s.CommitTotal(), 1234567ll * 4096);
    EXPECT_EQ(s.CommitPeak(), 2345678ll * 4096);
    EXPECT_EQ(s.KernelNonpaged(), 20 * 4096);
    EXPECT_EQ(s.ProcessCount(), 7u);

    info.Memory = std::nullopt;
    EXPECT_FALSE(s.RefreshMemory());
    EXPECT_EQ(s.PhysicalTotal(), 64ll << 30);
}
