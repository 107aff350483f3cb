#pragma once
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/IProcesses.h"

namespace kestrum::platform {

// A scripted process table that records which processes were trimmed, with a small model of the kernel's
// memory counters for the follow-up after a run. Safe to call from several threads, like the real one.
class TFakeProcesses final : public IProcesses {
public:
    std::vector<TProcessEntry> Processes;
    std::map<uint32_t, std::string> Paths;
    std::set<uint32_t> NoRight;              // trimming these fails with NoRight
    std::map<uint32_t, TTrimResult> Results; // scripted results (resident figures) of a successful trim
    std::vector<uint32_t> Trimmed;
    std::vector<std::thread::id> TrimThreads; // the thread of each trim, in the order of Trimmed
    // The follow-up reclaim's arguments, when it was asked for.
    std::vector<TPushedOut> ReclaimAsked;
    std::vector<uint32_t> ReclaimSpared;
    int ReclaimCalls = 0;
    bool SnapshotFails = false;
    uint32_t OwnId = 4242;

    // Watching: ClearAccessedBits succeeds when CanWatch; MappingUse answers from Mappings (none listed:
    // unreadable); TrimRanges records the ranges asked for. StartTimes answer StartTime (a change between
    // two calls plays a reused process id).
    bool CanWatch = false;
    std::vector<uint32_t> Cleared;
    std::map<uint32_t, std::vector<TMappingUse>> Mappings;
    std::map<uint32_t, std::vector<TAddressRange>> RangesTrimmed;
    std::map<uint32_t, uint64_t> StartTimes;
    std::set<uint32_t> ReusedWhileWatched; // their start time changes once their bits are cleared
    std::map<uint32_t, uint64_t> Resident; // ResidentBytes
    // Names and kinship: ProcessName, ControlGroups, ParentProcessId, SwappedBytes.
    std::map<uint32_t, std::string> Comms;
    std::map<uint32_t, std::vector<std::string>> Groups;
    std::map<uint32_t, uint32_t> Parents;
    std::map<uint32_t, uint64_t> Swapped;
    std::map<uint32_t, std::vector<std::string>> CommandLines;
    std::map<uint32_t, uint64_t> MajorFaultCounts; // MajorFaults
    std::optional<uint64_t> Refaults;             // WorkingSetRefaults (pages); unset: not counted
    // ProcessorTime: handed out in order per process, the last one repeating (none: unreadable).
    std::map<uint32_t, std::vector<uint64_t>> ProcessorTimes;

    // The kernel model. Memory unset: counters unreadable. Each trim adds SwapCacheShare (0 zram, 1 swap
    // file) of its anonymous bytes to SwapCached; a cgroup reclaim (CgroupReclaim) or node reclaim
    // (NodeReclaim) removes NodeEfficiency of what it is asked from SwapCached and takes SparedLossShare
    // of it from the resident memory of the processes in Resident that were not trimmed.
    std::optional<TMemoryCounters> Memory;
    double SwapCacheShare = 0;
    bool CgroupReclaim = false, NodeReclaim = false;
    double NodeEfficiency = 1, SparedLossShare = 0;
    std::vector<uint64_t> NodeRequests; // every ReclaimFromNodes request but the probe
    // The proactive reclaim's counters (unset: not counted). A node step frees what it takes of the swap
    // cache plus NodeForeign[step] bytes of other memory (0 past the list's end), and looks at
    // NodeScanRatio[step] times what it freed (1 past the end). At step `step` the process
    // NodeSwapOut[step].first has NodeSwapOut[step].second bytes of its resident memory pushed to swap.
    std::optional<TReclaimCounters> ReclaimCounters;
    std::vector<uint64_t> NodeForeign;
    std::vector<double> NodeScanRatio;
    std::map<size_t, std::pair<uint32_t, uint64_t>> NodeSwapOut;
    uint64_t FreeListPending = 0;       // bytes on the processors' private lists; each release frees 8 MiB
    int FreeListReleases = 0;
    bool CanReleaseFreeLists = false;

    // Concurrency: each trim waits up to TrimHoldMs for another trim to run beside it, so a test can tell
    // parallel runs from serial ones without depending on timing.
    int TrimHoldMs = 0;
    int MaxConcurrentTrims = 0;
    int PriorityLowered = 0;
    std::vector<std::pair<uint64_t, int>> PriorityRaises; // RaiseThreadPriority: thread, step
    // HoldOwnMemory: whether it works, whether the memory is held now, how often it was.
    bool CanHoldOwnMemory = true, OwnMemoryHeld = false;
    int OwnMemoryHolds = 0;
    std::vector<bool> HeldDuringNodeReclaim; // OwnMemoryHeld at each ReclaimFromNodes request

    std::optional<std::vector<TProcessEntry>> Snapshot() override {
        if (SnapshotFails) return std::nullopt;
        return Processes;
    }
    std::string ExecutablePath(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        auto it = Paths.find(pid);
        return it == Paths.end() ? std::string() : it->second;
    }
    TTrimResult TrimWorkingSet(uint32_t pid) override { return Trim(pid, nullptr); }
    TTrimResult TrimRanges(uint32_t pid, const std::vector<TAddressRange>& ranges) override {
        return Trim(pid, &ranges);
    }
    TReclaimResult ReclaimPushedOut(const std::vector<TPushedOut>& pushedOut,
                                    const std::vector<uint32_t>& spare) override {
        std::lock_guard lock(FMutex);
        ++ReclaimCalls;
        ReclaimAsked = pushedOut;
        ReclaimSpared = spare;
        if (!CgroupReclaim) return {};
        TReclaimResult r{0, 0, true};
        for (const auto& p : pushedOut) r.BytesRequested += p.Bytes;
        r.BytesDone = r.BytesRequested;
        TakeSwapCache(r.BytesRequested);
        return r;
    }
    uint32_t CurrentProcessId() override { return OwnId; }

    std::optional<uint64_t> ResidentBytes(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        auto it = Resident.find(pid);
        return it == Resident.end() ? std::nullopt : std::optional<uint64_t>(it->second);
    }
    std::vector<std::string> CommandLine(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        auto it = CommandLines.find(pid);
        return it == CommandLines.end() ? std::vector<std::string>() : it->second;
    }
    std::string ProcessName(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        auto it = Comms.find(pid);
        return it == Comms.end() ? std::string() : it->second;
    }
    std::vector<std::string> ControlGroups(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        auto it = Groups.find(pid);
        return it == Groups.end() ? std::vector<std::string>() : it->second;
    }
    std::optional<uint32_t> ParentProcessId(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        auto it = Parents.find(pid);
        return it == Parents.end() ? std::nullopt : std::optional<uint32_t>(it->second);
    }
    std::optional<uint64_t> SwappedBytes(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        auto it = Swapped.find(pid);
        return it == Swapped.end() ? std::nullopt : std::optional<uint64_t>(it->second);
    }
    std::optional<uint64_t> MajorFaults(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        auto it = MajorFaultCounts.find(pid);
        return it == MajorFaultCounts.end() ? std::nullopt : std::optional<uint64_t>(it->second);
    }
    std::optional<uint64_t> WorkingSetRefaults() override { return Refaults; }
    std::optional<uint64_t> StartTime(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        auto it = StartTimes.find(pid);
        return it == StartTimes.end() ? std::nullopt : std::optional<uint64_t>(it->second);
    }
    std::optional<uint64_t> ProcessorTime(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        auto it = ProcessorTimes.find(pid);
        if (it == ProcessorTimes.end() || it->second.empty()) return std::nullopt;
        const uint64_t t = it->second.front();
        if (it->second.size() > 1) it->second.erase(it->second.begin());
        return t;
    }
    bool ClearAccessedBits(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        if (CanWatch) Cleared.push_back(pid);
        if (ReusedWhileWatched.count(pid)) ++StartTimes[pid];
        return CanWatch;
    }
    std::optional<std::vector<TMappingUse>> MappingUse(uint32_t pid) override {
        std::lock_guard lock(FMutex);
        auto it = Mappings.find(pid);
        return it == Mappings.end() ? std::nullopt : std::optional<std::vector<TMappingUse>>(it->second);
    }
    std::optional<TMemoryCounters> MemoryCounters() override {
        std::lock_guard lock(FMutex);
        return Memory;
    }
    TReclaimResult ReclaimFromNodes(uint64_t bytes) override {
        std::lock_guard lock(FMutex);
        if (!NodeReclaim) return {};
        if (bytes == 0) return {0, 0, true};
        const size_t index = NodeRequests.size();
        NodeRequests.push_back(bytes);
        HeldDuringNodeReclaim.push_back(OwnMemoryHeld);
        const uint64_t ours = TakeSwapCache(bytes);
        if (ReclaimCounters) {
            const uint64_t stolen = ours + (index < NodeForeign.size() ? NodeForeign[index] : 0);
            const double ratio = index < NodeScanRatio.size() ? NodeScanRatio[index] : 1.0;
            ReclaimCounters->Stolen += stolen;
            ReclaimCounters->Scanned += static_cast<uint64_t>(static_cast<double>(stolen) * ratio);
        }
        if (auto it = NodeSwapOut.find(index); it != NodeSwapOut.end()) {
            uint64_t& resident = Resident[it->second.first];
            resident -= std::min(resident, it->second.second);
            Swapped[it->second.first] += it->second.second;
        }
        return {bytes, bytes, true};
    }
    std::optional<TReclaimCounters> ProactiveReclaimCounters() override {
        std::lock_guard lock(FMutex);
        return ReclaimCounters;
    }
    bool ReleaseFreeListPages() override {
        std::lock_guard lock(FMutex);
        if (!CanReleaseFreeLists) return false;
        ++FreeListReleases;
        const uint64_t step = std::min<uint64_t>(FreeListPending, 8u << 20);
        FreeListPending -= step;
        if (Memory) Memory->Free += step;
        return true;
    }
    bool HoldOwnMemory(bool on) override {
        std::lock_guard lock(FMutex);
        OwnMemoryHeld = on && CanHoldOwnMemory;
        if (on && CanHoldOwnMemory) ++OwnMemoryHolds;
        return CanHoldOwnMemory;
    }
    void LowerThreadPriority() override {
        std::lock_guard lock(FMutex);
        ++PriorityLowered;
    }
    uint64_t CurrentThreadId() override { return std::hash<std::thread::id>()(std::this_thread::get_id()) | 1; }
    void RaiseThreadPriority(uint64_t thread, int step) override {
        std::lock_guard lock(FMutex);
        PriorityRaises.push_back({thread, step});
    }

    // Trimmed, read under the lock: for a test whose trims come from another thread.
    std::vector<uint32_t> TrimmedSoFar() {
        std::lock_guard lock(FMutex);
        return Trimmed;
    }

private:
    TTrimResult Trim(uint32_t pid, const std::vector<TAddressRange>* ranges) {
        std::unique_lock lock(FMutex);
        if (NoRight.count(pid)) return {TTrimStatus::NoRight, 0};
        ++FActive;
        MaxConcurrentTrims = std::max(MaxConcurrentTrims, FActive);
        FChanged.notify_all();
        if (TrimHoldMs > 0) FChanged.wait_for(lock, std::chrono::milliseconds(TrimHoldMs), [&] { return FActive > 1; });
        --FActive;
        Trimmed.push_back(pid);
        TrimThreads.push_back(std::this_thread::get_id());
        FTrimmedSet.insert(pid);
        if (ranges) RangesTrimmed[pid] = *ranges;
        auto it = Results.find(pid);
        TTrimResult r = it != Results.end() ? it->second : TTrimResult{TTrimStatus::Trimmed, 0};
        if (Memory && r.AnonBefore > r.AnonAfter && r.ResidentAfter)
            Memory->SwapCached +=
                static_cast<uint64_t>(static_cast<double>(r.AnonBefore - r.AnonAfter) * SwapCacheShare);
        return r;
    }
    uint64_t TakeSwapCache(uint64_t asked) {
        if (!Memory) return 0;
        const uint64_t taken = std::min<uint64_t>(Memory->SwapCached, static_cast<uint64_t>(asked * NodeEfficiency));
        Memory->SwapCached -= taken;
        Memory->Free += taken;
        const auto loss = static_cast<uint64_t>(static_cast<double>(asked) * SparedLossShare);
        for (auto& [pid, bytes] : Resident)
            if (!FTrimmedSet.count(pid)) bytes -= std::min(bytes, loss);
        return taken;
    }

    std::mutex FMutex;
    std::condition_variable FChanged;
    int FActive = 0;
    std::set<uint32_t> FTrimmedSet;
};

} // namespace kestrum::platform
