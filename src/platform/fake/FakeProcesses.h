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
    std::set<uint32_t> NoRight;              // trimming these fails with NoRight
    std::map<uint32_t, TTrimResult> Results; // scripted results (resident figures) of a successful trim
    std::vector<uint32_t> Trimmed;
    // The follow-up reclaim's arguments, when it was asked for.
    std::vector<TPushedOut> ReclaimAsked;
    std::vector<uint32_t> ReclaimSpared;
    int ReclaimCalls = 0;
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
        auto it = Results.find(pid);
        if (it != Results.end()) return it->second;
        return {TTrimStatus::Trimmed, 0};
    }
    TReclaimResult ReclaimPushedOut(const std::vector<TPushedOut>& pushedOut,
                                    const std::vector<uint32_t>& spare) override {
        ++ReclaimCalls;
        ReclaimAsked = pushedOut;
        ReclaimSpared = spare;
        return {};
    }
    uint32_t CurrentProcessId() override { return OwnId; }
};

} // namespace kestrum::platform
