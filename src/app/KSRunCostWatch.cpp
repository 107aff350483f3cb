#include "app/KSRunCostWatch.h"

#include <unistd.h>

namespace kestrum {

TKSRunCostWatch::TKSRunCostWatch(platform::IProcesses& processes, platform::ISystemInfo& info, platform::IClock& clock,
                                 const QString& logFolder, QObject* owner)
    : QObject(owner), FProcesses(processes), FInfo(info), FClock(clock) {
    if (!logFolder.isEmpty()) FLog.emplace(logFolder);
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &TKSRunCostWatch::Finish);
    if (const long page = ::sysconf(_SC_PAGESIZE); page > 0) FPageSize = uint64_t(page);
}

void TKSRunCostWatch::RunStarting() {
    if (FTimer.isActive()) Finish();
    FBefore = SnapshotPrograms(FProcesses);
}

void TKSRunCostWatch::RunFinished(bool manual, int64_t before, int64_t after) {
    FRecord = {};
    FRecord.Time = QDateTime::currentDateTime();
    FRecord.Manual = manual;
    FRecord.Before = before;
    FRecord.After = after;
    if (FLog) FLog->AppendRun(FRecord.Time, manual, before, after);
    FAfter = SnapshotPrograms(FProcesses);
    FRefaults = FProcesses.WorkingSetRefaults();
    const auto psi = FInfo.MemoryPressure();
    FPressureTotal = psi ? std::optional<uint64_t>(psi->Some.Total) : std::nullopt;
    FStartTick = FClock.TickCount();
    FTimer.start(FWindowMs);
}

void TKSRunCostWatch::Finish() {
    FTimer.stop();
    if (!FRecord.Time.isValid()) return;
    const TProgramMemoryMap later = SnapshotPrograms(FProcesses);
    const TKSRunCost cost = ComputeRunCost(FBefore, FAfter, later);
    TKSRunCostRecord& r = FRecord;
    r.HasCost = true;
    r.WindowMs = FClock.TickCount() - FStartTick;
    r.Taken = cost.Taken;
    r.CameBack = cost.CameBack;
    r.MajorFaults = cost.MajorFaults;
    r.CameStraightBack = cost.CameStraightBack;
    if (const auto refaults = FProcesses.WorkingSetRefaults(); refaults && FRefaults && *refaults >= *FRefaults)
        r.RefaultBytes = (*refaults - *FRefaults) * FPageSize;
    // The kernel's running total of stalled time gives the exact share over the window.
    if (const auto psi = FInfo.MemoryPressure();
        psi && FPressureTotal && r.WindowMs > 0 && psi->Some.Total >= *FPressureTotal)
        r.Pressure = double(psi->Some.Total - *FPressureTotal) / (double(r.WindowMs) * 1000.0) * 100.0;
    if (FLog) FLog->AppendCost(r.Time, r);
    {
        std::lock_guard lock(FBackOffMutex);
        const uint32_t now = FClock.TickCount();
        for (const QString& name : r.CameStraightBack) FBackOff[name] = now;
    }
    const TKSRunCostRecord done = r;
    FRecord = {};
    FBefore.clear();
    FAfter.clear();
    emit CostMeasured(done);
}

QStringList TKSRunCostWatch::BackedOff() const {
    std::lock_guard lock(FBackOffMutex);
    const uint32_t now = FClock.TickCount();
    QStringList out;
    for (const auto& [name, since] : FBackOff)
        if (now - since < BackOffMs) out << name;
    return out;
}

} // namespace kestrum
