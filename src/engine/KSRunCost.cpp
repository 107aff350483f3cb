#include "engine/KSRunCost.h"

#include <algorithm>

namespace kestrum {

TProgramMemoryMap SnapshotPrograms(platform::IProcesses& processes) {
    TProgramMemoryMap out;
    const auto snapshot = processes.Snapshot();
    if (!snapshot) return out;
    for (const auto& p : *snapshot) {
        if (p.KernelThread || p.ExeName.empty()) continue;
        const auto resident = processes.ResidentBytes(p.ProcessId);
        if (!resident) continue;
        TProgramMemory& m = out[QString::fromStdString(p.ExeName)];
        m.Resident += *resident;
        m.MajorFaults += processes.MajorFaults(p.ProcessId).value_or(0);
    }
    return out;
}

TKSRunCost ComputeRunCost(const TProgramMemoryMap& before, const TProgramMemoryMap& after,
                          const TProgramMemoryMap& later) {
    TKSRunCost cost;
    for (const auto& [name, b] : before) {
        const auto a = after.find(name);
        if (a == after.end() || a->second.Resident >= b.Resident) continue; // lost nothing (or gone)
        const uint64_t taken = b.Resident - a->second.Resident;
        cost.Taken += taken;
        const auto l = later.find(name);
        if (l == later.end()) continue;
        const uint64_t back =
            std::min(taken, l->second.Resident > a->second.Resident ? l->second.Resident - a->second.Resident : 0);
        cost.CameBack += back;
        // A process that ended and started again within the window has fewer faults than before.
        if (l->second.MajorFaults > a->second.MajorFaults)
            cost.MajorFaults += l->second.MajorFaults - a->second.MajorFaults;
        if (taken >= StraightBackMinBytes && double(back) >= StraightBackShare * double(taken))
            cost.CameStraightBack << name;
    }
    return cost;
}

} // namespace kestrum
