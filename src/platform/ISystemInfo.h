#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrum::platform {

// Times of one processor, in 100-nanosecond units. Kernel time includes the idle time, as the
// status sampler's arithmetic expects.
struct TProcessorTimes {
    int64_t IdleTime = 0;
    int64_t KernelTime = 0;
    int64_t UserTime = 0;
    int64_t DpcTime = 0;
    int64_t InterruptTime = 0;
};

// One processor sample, in 100-nanosecond units.
struct TProcessorSample {
    int64_t CurrentTime = 0;     // time of day as the sampler measures intervals with
    int64_t IdleProcessTime = 0; // idle time of the whole machine (all processors)
    std::vector<TProcessorTimes> Processors;
};

// The memory snapshot: counts of `PageSize` bytes each (64-bit so no figure wraps), plus plain counts.
struct TPerformanceInfo {
    uint64_t CommitTotal = 0;
    uint64_t CommitLimit = 0;
    uint64_t CommitPeak = 0;
    uint64_t PhysicalTotal = 0;
    uint64_t PhysicalAvailable = 0;
    uint64_t SystemCache = 0;
    uint64_t KernelTotal = 0;
    uint64_t KernelPaged = 0;
    uint64_t KernelNonpaged = 0;
    uint64_t PageSize = 0; // bytes per counted unit
    uint32_t HandleCount = 0;
    uint32_t ProcessCount = 0;
    uint32_t ThreadCount = 0;
};

// One line of the kernel's pressure-stall figures: the share of wall time (percent) in which tasks waited,
// averaged over 10, 60 and 300 seconds, and the total waited time in microseconds.
struct TPressureLine {
    double Avg10 = 0, Avg60 = 0, Avg300 = 0;
    uint64_t Total = 0;
};

// Memory pressure: `Some` = at least one task waited for memory; `Full` = every non-idle task waited at once
// (the machine was thrashing). Kernels that report no "full" line leave it empty.
struct TMemoryPressure {
    TPressureLine Some;
    std::optional<TPressureLine> Full;
};

// Raw system counters for the status sampler; the sampler does the arithmetic.
class ISystemInfo {
public:
    virtual ~ISystemInfo() = default;
    // Number of processors; empty when it cannot be read.
    virtual std::optional<uint32_t> ProcessorCount() = 0;
    // When the system started; empty when unknown.
    virtual std::optional<std::chrono::system_clock::time_point> BootTime() = 0;
    // A sample with at least `processorCount` processor entries; empty on failure.
    virtual std::optional<TProcessorSample> ProcessorSample(uint32_t processorCount) = 0;
    // The memory snapshot; empty on failure. How it is taken is the backend's business (on Windows the
    // performance-information call where the version offers it, else the backend's own fallback).
    virtual std::optional<TPerformanceInfo> PerformanceInfo() = 0;
    // Whether the snapshot carries the handle, thread and process counts. Counting walks the process table:
    // a caller that shows none of them turns it off, and the counts then stay as last read.
    virtual void SetCountsWanted(bool) {}
    // Memory pressure; empty where the system does not measure it (or the figures cannot be read).
    virtual std::optional<TMemoryPressure> MemoryPressure() { return std::nullopt; }
};

std::unique_ptr<ISystemInfo> MakeLinuxSystemInfo(const std::string& procRoot);

} // namespace kestrum::platform
