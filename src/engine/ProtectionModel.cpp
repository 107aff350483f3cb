#include "engine/ProtectionModel.h"

#include <algorithm>
#include <map>

#include "engine/ProgramNames.h"

namespace kestrum {

std::vector<TProgramProtection> TProtectionModel::Programs(TMemoryOptimize& engine, platform::IProcesses& processes) {
    return Programs(engine, processes, engine.SelectionMode(), engine.AutoProtection().Switches());
}

std::vector<TProgramProtection> TProtectionModel::Programs(TMemoryOptimize& engine, platform::IProcesses& processes,
                                                           uint8_t mode, const TAutoProtection::TSwitches& switches) {
    TFreeRunRequest request = engine.Request(mode);
    const auto automatic = engine.AutoProtection().Collect(switches);
    const auto snapshot = processes.Snapshot();
    if (!snapshot) return {};
    std::map<QString, TProgramProtection> byName;
    for (const auto& e : *snapshot) {
        if (e.KernelThread || e.ProcessId == 0) continue;
        const QString name = QString::fromStdString(e.ExeName);
        TProgramProtection& p = byName[name];
        p.Name = name;
        ++p.Processes;
        p.Resident += processes.ResidentBytes(e.ProcessId).value_or(0);
        p.Swapped += processes.SwappedBytes(e.ProcessId).value_or(0);
        if (p.AppId.isEmpty()) p.AppId = TProgramNames::AppIdFromControlGroups(processes.ControlGroups(e.ProcessId));
        const auto it = automatic.find(e.ProcessId);
        TProtectionReason reason = TMemoryOptimize::SpareReason(request, e, processes);
        // The list comes first, as in the run; what it does not spare the automatic protection may.
        if (reason == TProtectionReason::None || reason == TProtectionReason::NotListed ||
            reason == TProtectionReason::MostUsed)
            if (it != automatic.end()) reason = it->second;
        if (reason == TProtectionReason::None) continue;
        ++p.ProtectedProcesses;
        if (p.Reason == TProtectionReason::None || reason < p.Reason) p.Reason = reason;
    }
    std::vector<TProgramProtection> out;
    out.reserve(byName.size());
    for (auto& [name, p] : byName) out.push_back(std::move(p));
    std::stable_sort(out.begin(), out.end(),
                     [](const TProgramProtection& a, const TProgramProtection& b) { return a.Resident > b.Resident; });
    return out;
}

const char* TProtectionModel::ReasonWord(TProtectionReason reason) {
    switch (reason) {
        case TProtectionReason::NeverTrim:
            return "never-trim";
        case TProtectionReason::Game:
            return "game";
        case TProtectionReason::FullScreen:
            return "full-screen";
        case TProtectionReason::Foreground:
            return "foreground";
        case TProtectionReason::MostUsed:
            return "most-used";
        case TProtectionReason::NotListed:
            return "not-on-trim-only-list";
        default:
            return "-";
    }
}

} // namespace kestrum
