// Cost of the status sampler's refreshes on the real /proc, the parsers on fixtures, and the parts of a
// freeing run that are ours (process walk, maps parsing) rather than the kernel's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "engine/SystemStatus.h"
#include "platform/IProcesses.h"
#include "platform/ISystemInfo.h"
#include "platform/linux/ProcFile.h"
#include "platform/linux/ProcMaps.h"
#include "platform/linux/ProcMeminfo.h"
#include "platform/linux/ProcStat.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

std::string Fixture(const char* name) {
    std::ifstream in(std::string(KESTRUM_SOURCE_DIR) + "/tests/fixtures/engine/" + name);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void BM_RefreshCpuAndMemory(benchmark::State& state) {
    auto info = MakeLinuxSystemInfo("/proc");
    TSystemStatus status(*info);
    for (auto _ : state) {
        benchmark::DoNotOptimize(status.RefreshCPU());
        benchmark::DoNotOptimize(status.RefreshMemory());
    }
}
BENCHMARK(BM_RefreshCpuAndMemory);

void BM_RefreshCpu(benchmark::State& state) {
    auto info = MakeLinuxSystemInfo("/proc");
    TSystemStatus status(*info);
    for (auto _ : state) benchmark::DoNotOptimize(status.RefreshCPU());
}
BENCHMARK(BM_RefreshCpu);

void BM_RefreshMemory(benchmark::State& state) {
    auto info = MakeLinuxSystemInfo("/proc");
    TSystemStatus status(*info);
    for (auto _ : state) benchmark::DoNotOptimize(status.RefreshMemory());
}
BENCHMARK(BM_RefreshMemory);

// The two kernel reads alone, for comparison with the parsing on top of them.
void BM_PreadStatAndMeminfo(benchmark::State& state) {
    proc::TProcFile stat("/proc/stat"), meminfo("/proc/meminfo");
    for (auto _ : state) {
        benchmark::DoNotOptimize(stat.Read().size());
        benchmark::DoNotOptimize(meminfo.Read().size());
    }
}
BENCHMARK(BM_PreadStatAndMeminfo);

void BM_ParseProcStat64(benchmark::State& state) {
    const std::string text = Fixture("stat64_a");
    for (auto _ : state) benchmark::DoNotOptimize(proc::ToProcessorSample(*proc::ParseProcStat(text), 100));
}
BENCHMARK(BM_ParseProcStat64);

void BM_ParseMeminfo(benchmark::State& state) {
    const std::string text = Fixture("meminfo_64g");
    for (auto _ : state) benchmark::DoNotOptimize(proc::ToPerformanceInfo(*proc::ParseMeminfo(text)));
}
BENCHMARK(BM_ParseMeminfo);

// Overhead of a freeing run that is not the kernel's page-out: the process walk ...
void BM_ProcessSnapshot(benchmark::State& state) {
    auto processes = MakeLinuxProcesses("/proc");
    size_t n = 0;
    for (auto _ : state) n = processes->Snapshot()->size();
    state.counters["processes"] = static_cast<double>(n);
}
BENCHMARK(BM_ProcessSnapshot)->Unit(benchmark::kMicrosecond);

// ... and reading plus parsing one process's maps (our own: a typical mid-size process).
void BM_ReadAndParseMaps(benchmark::State& state) {
    const std::string path = "/proc/" + std::to_string(getpid()) + "/maps";
    size_t n = 0;
    for (auto _ : state) {
        auto entries = proc::SplitLargeRanges(proc::ParseMapsForPageout(proc::ReadSmallFile(path)));
        n = entries.size();
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["mappings"] = static_cast<double>(n);
}
BENCHMARK(BM_ReadAndParseMaps)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
