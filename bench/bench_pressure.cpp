// What reading memory pressure adds to the once-a-second sample, and what watching who grows costs while
// pressure is up (real /proc of this machine).
#include <benchmark/benchmark.h>

#include "engine/KSGrowthTracker.h"
#include "engine/SystemStatus.h"
#include "platform/IClock.h"
#include "platform/IProcesses.h"
#include "platform/ISystemInfo.h"
#include "platform/fake/FakeClock.h"

using namespace kestrum;

static void BM_RefreshMemory(benchmark::State& state) {
    auto info = platform::MakeLinuxSystemInfo("/proc");
    TSystemStatus status(*info);
    for (auto _ : state) benchmark::DoNotOptimize(status.RefreshMemory());
}
BENCHMARK(BM_RefreshMemory)->Unit(benchmark::kMicrosecond);

static void BM_RefreshPressure(benchmark::State& state) {
    auto info = platform::MakeLinuxSystemInfo("/proc");
    TSystemStatus status(*info);
    for (auto _ : state) benchmark::DoNotOptimize(status.RefreshPressure());
}
BENCHMARK(BM_RefreshPressure)->Unit(benchmark::kMicrosecond);

// One sample of every program's resident memory (taken every 5 s at most, only while pressure is up).
static void BM_GrowthSample(benchmark::State& state) {
    auto processes = platform::MakeLinuxProcesses("/proc");
    platform::TFakeClock clock;
    TKSGrowthTracker growth(clock, *processes);
    for (auto _ : state) {
        clock.Advance(TKSGrowthTracker::MinSpacingMs);
        growth.Sample();
    }
}
BENCHMARK(BM_GrowthSample)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
