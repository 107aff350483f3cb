#include "engine/KSRunningNames.h"

#include <algorithm>

namespace kestrum {

std::optional<QSet<QString>> TKSRunningNames::Names() {
    const auto list = FProcesses.ProcessInstances();
    // A backend that cannot tell a reused id (instance 0) could hand back a stale name: ask it for all.
    const bool cacheable = list && !list->empty() &&
                           std::none_of(list->begin(), list->end(), [](const auto& p) { return p.Instance == 0; });
    if (!cacheable) {
        FKnown.clear();
        const auto snapshot = FProcesses.Snapshot();
        if (!snapshot || snapshot->empty()) return std::nullopt;
        QSet<QString> names;
        for (const auto& e : *snapshot) names.insert(QString::fromStdString(e.ExeName).toCaseFolded());
        FNamesRead += snapshot->size();
        return names;
    }
    std::unordered_map<uint32_t, TKnown> next;
    next.reserve(list->size());
    QSet<QString> names;
    for (const auto& p : *list) {
        auto old = FKnown.find(p.ProcessId);
        TKnown k;
        // A process that replaces its program (exec) keeps its id and instance: each is read again now and then.
        if (old != FKnown.end() && old->second.Instance == p.Instance &&
            (p.ProcessId + FQuestions) % RecheckEvery != 0) {
            k = std::move(old->second);
        } else {
            const std::string path = FProcesses.ExecutablePath(p.ProcessId);
            k.Instance = p.Instance;
            k.Name = QString::fromStdString(path.substr(path.find_last_of('/') + 1)).toCaseFolded();
            ++FNamesRead;
        }
        if (!k.Name.isEmpty()) names.insert(k.Name);
        next.emplace(p.ProcessId, std::move(k));
    }
    FKnown.swap(next);
    ++FQuestions;
    return names;
}

} // namespace kestrum
