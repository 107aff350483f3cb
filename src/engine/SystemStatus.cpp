#include "engine/SystemStatus.h"

#include <cfenv>
#include <cmath>

namespace kestrum {

bool UsagePercent(double part, double whole, uint32_t& percent) {
    if (whole == 0.0) return false;
    const double q = part * 100.0 / whole;
    // Range check first: converting a value outside int64 is undefined.
    if (!std::isfinite(q) || q >= 9223372036854775808.0 || q < -9223372036854775808.0) return false;
    // nearbyint follows the current rounding mode, which is to-nearest-even unless someone changed it.
    const int prev = std::fegetround();
    if (prev != FE_TONEAREST) std::fesetround(FE_TONEAREST);
    const auto r = static_cast<int64_t>(std::nearbyint(q));
    if (prev != FE_TONEAREST) std::fesetround(prev);
    percent = static_cast<uint32_t>(static_cast<uint64_t>(r));
    return true;
}

TSystemStatus::TSystemStatus(platform::ISystemInfo& info, QObject* owner) : QObject(owner), FInfo(info) {
    if (auto n = FInfo.ProcessorCount(); n && *n > 0) FProcessorCount = *n;
    FPrevBusy.assign(FProcessorCount + 1, 0.0);
    FPrevIdle.assign(FProcessorCount + 1, 0.0);
    FUsage.assign(FProcessorCount + 1, 0);
    if (auto boot = FInfo.BootTime()) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(boot->time_since_epoch()).count();
        FBootTime = QDateTime::fromMSecsSinceEpoch(ms).toLocalTime();
    }
}

bool TSystemStatus::RefreshCPU() {
    try {
        auto sample = FInfo.ProcessorSample(FProcessorCount);
        if (!sample || sample->Processors.size() < FProcessorCount) return false;
        const double now = static_cast<double>(sample->CurrentTime);
        const double idleAll = static_cast<double>(sample->IdleProcessTime);
        auto busyOf = [](const platform::TProcessorTimes& t) {
            return static_cast<double>(t.KernelTime) + static_cast<double>(t.UserTime) +
                   static_cast<double>(t.DpcTime) + static_cast<double>(t.InterruptTime);
        };

        if (FPrevBusy[0] != 0.0) {
            const double total = (now - FPrevBusy[0]) * FProcessorCount;
            const double idle = idleAll - FPrevIdle[0];
            // A failed quotient ends the refresh: entries already written keep their new values, and the
            // baseline stays so the next call measures over the longer interval.
            if (!UsagePercent(total - idle, total, FUsage[0])) return false;
            if (FProcessorCount >= 2) {
                for (uint32_t i = 1; i <= FProcessorCount; ++i) {
                    const auto& t = sample->Processors[i - 1];
                    const double busy = busyOf(t) - FPrevBusy[i];
                    const double idleI = static_cast<double>(t.IdleTime) - FPrevIdle[i];
                    if (!UsagePercent(busy - idleI, busy, FUsage[i])) return false;
                }
            }
        }

        FPrevBusy[0] = now;
        FPrevIdle[0] = idleAll;
        if (FProcessorCount >= 2) {
            for (uint32_t i = 1; i <= FProcessorCount; ++i) {
                const auto& t = sample->Processors[i - 1];
                FPrevBusy[i] = busyOf(t);
                FPrevIdle[i] = static_cast<double>(t.IdleTime);
            }
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool TSystemStatus::RefreshPressure() {
    // Unlike the memory figures, stale pressure would mislead: a failed read clears it.
    FPressure = FInfo.MemoryPressure();
    return FPressure.has_value();
}

bool TSystemStatus::RefreshMemory() {
    try {
        auto p = FInfo.PerformanceInfo();
        if (!p) return false;
        const auto bytes = [&](uint64_t count) { return static_cast<int64_t>(count * p->PageSize); };
        FPhysicalTotal = bytes(p->PhysicalTotal);
        FPhysicalAvailable = bytes(p->PhysicalAvailable);
        FSystemCache = bytes(p->SystemCache);
        FCommitLimit = bytes(p->CommitLimit);
        FCommitTotal = bytes(p->CommitTotal);
        FCommitPeak = bytes(p->CommitPeak);
        FKernelTotal = bytes(p->KernelTotal);
        FKernelPaged = bytes(p->KernelPaged);
        FKernelNonpaged = bytes(p->KernelNonpaged);
        FHandleCount = p->HandleCount;
        FThreadCount = p->ThreadCount;
        FProcessCount = p->ProcessCount;
        return true;
    } catch (...) {
        return false;
    }
}

uint32_t TSystemStatus::GetCPUUsage(uint32_t index) const {
    return FUsage[index > FProcessorCount ? 0 : index];
}

} // namespace kestrum
