#include "engine/KSGrowthTracker.h"

#include <algorithm>

namespace kestrum {

void TKSGrowthTracker::Sample() {
    const uint32_t now = FClock.TickCount();
    if (!FSamples.empty() && now - FSamples.back().Tick < MinSpacingMs) return;
    auto snapshot = FProcesses.Snapshot();
    if (!snapshot) return;
    TSample s;
    s.Tick = now;
    for (const auto& p : *snapshot) {
        if (p.KernelThread || p.ExeName.empty()) continue;
        const auto resident = FProcesses.ResidentBytes(p.ProcessId);
        if (!resident) continue; // gone meanwhile, or not ours to read
        const QString name = QString::fromStdString(p.ExeName);
        const QString key = name.toLower();
        s.Resident[key] += *resident;
        FNames.try_emplace(key, name);
    }
    FSamples.push_back(std::move(s));
    while (FSamples.size() > 2 && now - FSamples[1].Tick >= WindowMs) FSamples.pop_front();
}

std::vector<TProgramGrowth> TKSGrowthTracker::TopGrowers(size_t count) const {
    std::vector<TProgramGrowth> out;
    if (FSamples.size() < 2) return out;
    const auto& first = FSamples.front().Resident;
    for (const auto& [key, now] : FSamples.back().Resident) {
        // A program started within the window grew from nothing.
        const auto it = first.find(key);
        const uint64_t before = it == first.end() ? 0 : it->second;
        if (now > before) out.push_back({FNames.at(key), static_cast<int64_t>(now - before)});
    }
    std::sort(out.begin(), out.end(), [](const TProgramGrowth& a, const TProgramGrowth& b) {
        return a.Bytes != b.Bytes ? a.Bytes > b.Bytes : a.Name < b.Name;
    });
    if (out.size() > count) out.resize(count);
    return out;
}

} // namespace kestrum
