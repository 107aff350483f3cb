#pragma once
#include <QDateTime>
#include <QObject>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/ISystemInfo.h"

namespace kestrum {

// Percent of `part` in `whole`, to the nearest integer with ties to even, not clamped; a value outside the
// 32-bit range wraps as an unsigned 32-bit number. False when the quotient is undefined (whole is 0) or
// not a finite 64-bit integer.
bool UsagePercent(double part, double whole, uint32_t& percent);

// Measures how busy the machine is: processor usage (whole machine and per processor) against the
// previous processor sample, and the memory and commit figures of the latest memory refresh.
class TSystemStatus : public QObject {
    Q_OBJECT
public:
    explicit TSystemStatus(platform::ISystemInfo& info, QObject* owner = nullptr);

    // Takes a processor sample and updates the usage figures; never throws.
    bool RefreshCPU();
    // Takes a memory snapshot and replaces the memory figures; on failure they stay as they were.
    bool RefreshMemory();
    // Reads the memory pressure figures; false (and no figures) where the system does not measure it.
    bool RefreshPressure();
    // Usage in percent: 0 = whole machine, 1..ProcessorCount = that processor; a larger index gives entry 0.
    uint32_t GetCPUUsage(uint32_t index) const;

    uint32_t ProcessorCount() const { return FProcessorCount; }
    QDateTime BootTime() const { return FBootTime; }

    // Byte counts of the latest successful memory refresh (0 before the first).
    int64_t PhysicalTotal() const { return FPhysicalTotal; }
    int64_t PhysicalAvailable() const { return FPhysicalAvailable; }
    int64_t SystemCache() const { return FSystemCache; }
    int64_t CommitLimit() const { return FCommitLimit; }
    int64_t CommitTotal() const { return FCommitTotal; }
    int64_t CommitPeak() const { return FCommitPeak; }
    int64_t KernelTotal() const { return FKernelTotal; }
    int64_t KernelPaged() const { return FKernelPaged; }
    int64_t KernelNonpaged() const { return FKernelNonpaged; }
    uint32_t HandleCount() const { return FHandleCount; }
    uint32_t ThreadCount() const { return FThreadCount; }
    uint32_t ProcessCount() const { return FProcessCount; }
    // Memory pressure of the latest RefreshPressure; empty when there was none or the system has no measure.
    const std::optional<platform::TMemoryPressure>& Pressure() const { return FPressure; }

private:
    platform::ISystemInfo& FInfo;
    uint32_t FProcessorCount = 1;
    QDateTime FBootTime;
    // Entry 0 is the whole machine (time of day / idle time), entry i processor i; 0.0 in FPrevBusy[0]
    // means no baseline yet.
    std::vector<double> FPrevBusy, FPrevIdle;
    std::vector<uint32_t> FUsage;

    int64_t FPhysicalTotal = 0, FPhysicalAvailable = 0, FSystemCache = 0;
    int64_t FCommitLimit = 0, FCommitTotal = 0, FCommitPeak = 0;
    int64_t FKernelTotal = 0, FKernelPaged = 0, FKernelNonpaged = 0;
    uint32_t FHandleCount = 0, FThreadCount = 0, FProcessCount = 0;
    std::optional<platform::TMemoryPressure> FPressure;
};

} // namespace kestrum
