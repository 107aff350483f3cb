#pragma once
#include <map>
#include <set>
#include <vector>

#include "platform/IProcesses.h"

namespace kestrum::platform {

// A scripted process table that records which processes were trimmed.
class TFakeProcesses final : public IProcesses {
public:
    std::vector<TProcessEntry> Processes;
    std::map<uint32_t, std::string> Paths;
    std::set<uint32_t> NoRight;  // trimming these fails with NoRight
    std::vector<uint32_t> Trimmed;
    bool SnapshotFails = false;
    uint32_t OwnId = 4242;

    std::optional<std::vector<TProcessEntry>> Snapshot() override {
        if (SnapshotFails) return std::nullopt;
        return Processes;
    }
    std::string ExecutablePath(uint32_t pid) override {
        auto it = Paths.find(pid);
        return it == Paths.end() ? std::string() : it->second;
    }
    TTrimResult TrimWorkingSet(uint32_t pid) override {
        if (NoRight.count(pid)) return {TTrimStatus::NoRight, 0};
        Trimmed.push_back(pid);
        return {TTrimStatus::Trimmed, 0};
    }
    uint32_t CurrentProcessId() override { return OwnId; }
};

} // namespace kestrum::platform
